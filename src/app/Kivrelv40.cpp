#include "Kivrelv40.h"

#include "assistant.h"
#include "com232.h"
#include "controls.h"
#include "gui.h"
#include "helptexts.h"
#include "logo.h"
#include "marks.h"
#include "norms.h"
#include "parafile.h"
#include "pause.h"
#include "recording.h"
#include "setreview.h"
#include "runhistory.h"
#include "sensor.h"
#include "state.h"
#include "transfer.h"

#include "rs232.h"
#include "userint.h"
#include "utility.h"

#include <cstring>

namespace kivrel
{

// ---- Start-up and shutdown -------------------------------------------------------------------

int WinMain(void *hInstance, void *, char *, int)
{
    if (InitCVIRTE(hInstance, &NameTable, nullptr) == 0) return -1;
    panel = LoadPanel(0, "Kivrelv40.uir", PANEL);
    if (panel < 0) return -1;
    GetProjectDir(proj_dir);
    InitVars();
    // Connect before the panel is shown, so a failed line check's popup comes first.
    InitRS232(com);
    DisplayPanel(panel);
    RunUserInterface();
    CloseCom(com);
    DiscardPanel(panel);
    return 0;
}

void InitVars(void)
{
    com = 1;
    sync = 0x55;
    order = 1;
    target = RAM;
    poll = 0;
    std::strcpy(szStatus, "InitVars");
    SetCtrlVal(panel, PANEL_STATUS, szStatus);
    SetCtrlVal(panel, PANEL_PARAVISIBLE, 1);
    GetCtrlVal(panel, PANEL_PARAVISIBLE, &para);
    ParaVis();
    DispVis();
    ShowLogo(5);
    GetPanelValues();
}

int CBF_P(int, int event, void *, int, int)
{
    if (event == EVENT_CLOSE) {
        poll = 0; // a running polling loop ends, so its callback can return
        StopRecording();
        QuitUserInterface(0);
    }
    return 0;
}

// ---- Commands --------------------------------------------------------------------------------

static int Help(int event, const char *text)
{
    if (event == EVENT_RIGHT_CLICK) ShowHelp(text);
    return 0;
}

int CBF_EditConnect(int pnl, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        const int interruptsPolling = poll;
        poll = 0;
        CloseCom(com);
        // A connect that ends polling has a measurement reply on its way; let it land before
        // the port set-up flushes, or it is read with the line-check answer as a false TIMEOUT.
        if (interruptsPolling) SettleWait();
        GetCtrlVal(pnl, PANEL_COMPORT, &com);
        // One recording holds one sensor; what the assistant and the marks knew came from the
        // sensor on the old port, or from before this connection.
        EndRecordingBecause("Recording ended: port changed");
        ForgetJumpBuffer();
        ForgetNorms();
        ForgetSensorSet();
        ForgetRamAgainstEeprom();
        SetCtrlVal(pnl, PANEL_STATUS, "Init COM-Port ...");
        InitRS232(com);
        return 0;
    }
    return Help(event, InfoEditConnect);
}

int CBF_ButtonSend(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        if (target == DATFILE)
            SendParaToFile();
        else
            SendPara();
        return 0;
    }
    return Help(event, InfoButtonSend);
}

int CBF_ButtonGet(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        SettleWait();
        if (target == DATFILE)
            ReadParaFromFile();
        else
            GetPara();
        return 0;
    }
    return Help(event, InfoButtonGet);
}

int CBF_ButtonGo(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        SettleWait();
        GetData();
        return 0;
    }
    return Help(event, InfoButtonGo);
}

int CBF_ButtonStop(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        poll = 0;
        StopRecording();
        return 0;
    }
    return Help(event, InfoButtonStop);
}

// REC: switched on it asks for a file and records into it; switched off it ends the file.
int CBF_ButtonRec(int pnl, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        int on = 0;
        GetCtrlVal(pnl, PANEL_REC, &on);
        if (on)
            StartRecording();
        else
            SwitchRecordingOff();
        return 0;
    }
    return Help(event, InfoButtonRec);
}

// HISTORY: the window of this run's records and transfers, beside the panel.
int CBF_ButtonHistory(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        ShowHistory();
        return 0;
    }
    return Help(event, InfoButtonHistory);
}

int CBF_ButtonSuggest(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        ShowSuggestion();
        return 0;
    }
    return Help(event, InfoButtonSuggest);
}

int CBF_ButtonGetBuff(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        SettleWait();
        GetJmpBuf();
        return 0;
    }
    return Help(event, InfoButtonGetBuff);
}

// The three target toggles form a radio group with RAM as the fallback: switching one on
// switches the others off, switching EE or FILE off (or RAM itself) returns to RAM.
static void SelectTarget(int pnl, int toggle, int newTarget, int other1, int other2)
{
    int on = 0;
    GetCtrlVal(pnl, toggle, &on);
    if (on == 1) {
        SetCtrlVal(pnl, toggle, 1);
        target = newTarget;
        SetCtrlVal(pnl, other1, 0);
        SetCtrlVal(pnl, other2, 0);
    } else {
        target = RAM;
        SetCtrlVal(pnl, PANEL_RAM, 1);
    }
}

int CBF_SelectRAM(int pnl, int, int event, void *, int, int)
{
    if (event == EVENT_VAL_CHANGED) {
        SelectTarget(pnl, PANEL_RAM, RAM, PANEL_EEPROM, PANEL_FILE);
        return 0;
    }
    return Help(event, InfoSelectMEM);
}

int CBF_SelectEEPROM(int pnl, int, int event, void *, int, int)
{
    if (event == EVENT_VAL_CHANGED) {
        SelectTarget(pnl, PANEL_EEPROM, EEPROM, PANEL_RAM, PANEL_FILE);
        return 0;
    }
    return Help(event, InfoSelectMEM);
}

int CBF_SelectFILE(int pnl, int, int event, void *, int, int)
{
    if (event == EVENT_VAL_CHANGED) {
        SelectTarget(pnl, PANEL_FILE, DATFILE, PANEL_EEPROM, PANEL_RAM);
        return 0;
    }
    return Help(event, InfoSelectMEM);
}

int CBF_SelectSource(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        DispVis();
        return 0;
    }
    return Help(event, InfoSelectSource);
}

// ---- Help-only controls ----------------------------------------------------------------------

#define KIVREL_HELP_ONLY(name, text)                                                               \
    int name(int, int, int event, void *, int, int)                                                \
    {                                                                                              \
        return Help(event, text);                                                                  \
    }

// A parameter field does nothing with its value until Send; an edit only changes its mark.
#define KIVREL_PARAMETER(name, text)                                                               \
    int name(int, int, int event, void *, int, int)                                                \
    {                                                                                              \
        if (event == EVENT_COMMIT) {                                                               \
            MarkUnsentEdits();                                                                     \
            return 0;                                                                              \
        }                                                                                          \
        return Help(event, text);                                                                  \
    }

KIVREL_PARAMETER(CBF_EditThreshold, InfoEditThreshold)
KIVREL_PARAMETER(CBF_EditDeltaTrsh, InfoEditDeltaTrsh)
KIVREL_PARAMETER(CBF_EditHysteresis, InfoEditHysteresis)
KIVREL_PARAMETER(CBF_EditPower, InfoEditPower)
KIVREL_PARAMETER(CBF_EditHold, InfoEditHold)
KIVREL_PARAMETER(CBF_EditBacklim, InfoEditBacklim)
KIVREL_PARAMETER(CBF_EditRegcnt, InfoEditRegcnt)
KIVREL_PARAMETER(CBF_EditAverage, InfoEditAverage)
KIVREL_PARAMETER(CBF_EditOutmode, InfoEditOutmode)
KIVREL_PARAMETER(CBF_EditDeadTime, InfoEditDeadTime)
KIVREL_HELP_ONLY(CBF_DispDat0, InfoDispDat0)
KIVREL_HELP_ONLY(CBF_DispDat1, InfoDispDat1)
KIVREL_HELP_ONLY(CBF_DispNORM, InfoDispNORM)
KIVREL_HELP_ONLY(CBF_DispTRSH, InfoDispTrsh)
KIVREL_HELP_ONLY(CBF_DispHYST, InfoDispHyst)
KIVREL_HELP_ONLY(CBF_DispEdge, InfoDispEDGE)
KIVREL_HELP_ONLY(CBF_DispWin, InfoDispWIN)
KIVREL_HELP_ONLY(CBF_DispStatus, InfoStatus)
KIVREL_HELP_ONLY(CBF_GraphRaw1, InfoGraph)
KIVREL_HELP_ONLY(CBF_GraphData1, InfoGraphData1)
KIVREL_HELP_ONLY(CBF_GraphData2, InfoGraphData2)
KIVREL_HELP_ONLY(CBF_DispSuggestion, InfoDispSuggestion)
KIVREL_HELP_ONLY(CBF_DispVerdict, InfoDispVerdict)

// The decorations sit behind the spots that a first-page and a second-page control share, and
// explain whichever of the two the visible page puts in front of them.
#define KIVREL_DECORATION(name, page1Text, page2Text)                                              \
    int name(int, int, int event, void *, int, int)                                                \
    {                                                                                              \
        return Help(event, para == 1 ? page1Text : page2Text);                                     \
    }

KIVREL_DECORATION(CBF_DECO1, InfoEditThreshold, InfoEditBacklim)
KIVREL_DECORATION(CBF_DECO2, InfoEditHysteresis, InfoEditRegcnt)
KIVREL_DECORATION(CBF_DECO3, InfoEditTrigger, InfoEditAverage)
KIVREL_DECORATION(CBF_DECO4, InfoEditHold, InfoEditOutmode)
KIVREL_DECORATION(CBF_DECO5, InfoEditPmod, InfoEditDeadTimeMode)
KIVREL_DECORATION(CBF_DECO6, InfoEditPower, InfoEditDeadTime)

// ---- Name table ------------------------------------------------------------------------------

// Sorted by name in byte order; the panel loader bisects it.
static const CviNameEntry nameEntries[] = {
    {"_CBF_ButtonGet", reinterpret_cast<const void *>(&CBF_ButtonGet), CVI_NAME_FUNCTION},
    {"_CBF_ButtonGetBuff", reinterpret_cast<const void *>(&CBF_ButtonGetBuff), CVI_NAME_FUNCTION},
    {"_CBF_ButtonGo", reinterpret_cast<const void *>(&CBF_ButtonGo), CVI_NAME_FUNCTION},
    {"_CBF_ButtonHistory", reinterpret_cast<const void *>(&CBF_ButtonHistory), CVI_NAME_FUNCTION},
    {"_CBF_ButtonRec", reinterpret_cast<const void *>(&CBF_ButtonRec), CVI_NAME_FUNCTION},
    {"_CBF_ButtonSend", reinterpret_cast<const void *>(&CBF_ButtonSend), CVI_NAME_FUNCTION},
    {"_CBF_ButtonStop", reinterpret_cast<const void *>(&CBF_ButtonStop), CVI_NAME_FUNCTION},
    {"_CBF_ButtonSuggest", reinterpret_cast<const void *>(&CBF_ButtonSuggest), CVI_NAME_FUNCTION},
    {"_CBF_DECO1", reinterpret_cast<const void *>(&CBF_DECO1), CVI_NAME_FUNCTION},
    {"_CBF_DECO2", reinterpret_cast<const void *>(&CBF_DECO2), CVI_NAME_FUNCTION},
    {"_CBF_DECO3", reinterpret_cast<const void *>(&CBF_DECO3), CVI_NAME_FUNCTION},
    {"_CBF_DECO4", reinterpret_cast<const void *>(&CBF_DECO4), CVI_NAME_FUNCTION},
    {"_CBF_DECO5", reinterpret_cast<const void *>(&CBF_DECO5), CVI_NAME_FUNCTION},
    {"_CBF_DECO6", reinterpret_cast<const void *>(&CBF_DECO6), CVI_NAME_FUNCTION},
    {"_CBF_DispDat0", reinterpret_cast<const void *>(&CBF_DispDat0), CVI_NAME_FUNCTION},
    {"_CBF_DispDat1", reinterpret_cast<const void *>(&CBF_DispDat1), CVI_NAME_FUNCTION},
    {"_CBF_DispEdge", reinterpret_cast<const void *>(&CBF_DispEdge), CVI_NAME_FUNCTION},
    {"_CBF_DispHYST", reinterpret_cast<const void *>(&CBF_DispHYST), CVI_NAME_FUNCTION},
    {"_CBF_DispNORM", reinterpret_cast<const void *>(&CBF_DispNORM), CVI_NAME_FUNCTION},
    {"_CBF_DispStatus", reinterpret_cast<const void *>(&CBF_DispStatus), CVI_NAME_FUNCTION},
    {"_CBF_DispSuggestion", reinterpret_cast<const void *>(&CBF_DispSuggestion), CVI_NAME_FUNCTION},
    {"_CBF_DispTRSH", reinterpret_cast<const void *>(&CBF_DispTRSH), CVI_NAME_FUNCTION},
    {"_CBF_DispVerdict", reinterpret_cast<const void *>(&CBF_DispVerdict), CVI_NAME_FUNCTION},
    {"_CBF_DispWin", reinterpret_cast<const void *>(&CBF_DispWin), CVI_NAME_FUNCTION},
    {"_CBF_EditAverage", reinterpret_cast<const void *>(&CBF_EditAverage), CVI_NAME_FUNCTION},
    {"_CBF_EditBacklim", reinterpret_cast<const void *>(&CBF_EditBacklim), CVI_NAME_FUNCTION},
    {"_CBF_EditConnect", reinterpret_cast<const void *>(&CBF_EditConnect), CVI_NAME_FUNCTION},
    {"_CBF_EditDeadTime", reinterpret_cast<const void *>(&CBF_EditDeadTime), CVI_NAME_FUNCTION},
    {"_CBF_EditDeadTimeMode", reinterpret_cast<const void *>(&CBF_EditDeadTimeMode),
     CVI_NAME_FUNCTION},
    {"_CBF_EditDeltaTrsh", reinterpret_cast<const void *>(&CBF_EditDeltaTrsh), CVI_NAME_FUNCTION},
    {"_CBF_EditHold", reinterpret_cast<const void *>(&CBF_EditHold), CVI_NAME_FUNCTION},
    {"_CBF_EditHysteresis", reinterpret_cast<const void *>(&CBF_EditHysteresis), CVI_NAME_FUNCTION},
    {"_CBF_EditOutmode", reinterpret_cast<const void *>(&CBF_EditOutmode), CVI_NAME_FUNCTION},
    {"_CBF_EditPmod", reinterpret_cast<const void *>(&CBF_EditPmod), CVI_NAME_FUNCTION},
    {"_CBF_EditPower", reinterpret_cast<const void *>(&CBF_EditPower), CVI_NAME_FUNCTION},
    {"_CBF_EditRegcnt", reinterpret_cast<const void *>(&CBF_EditRegcnt), CVI_NAME_FUNCTION},
    {"_CBF_EditThreshold", reinterpret_cast<const void *>(&CBF_EditThreshold), CVI_NAME_FUNCTION},
    {"_CBF_EditTrigger", reinterpret_cast<const void *>(&CBF_EditTrigger), CVI_NAME_FUNCTION},
    {"_CBF_EditTrshMod", reinterpret_cast<const void *>(&CBF_EditTrshMod), CVI_NAME_FUNCTION},
    {"_CBF_GraphData1", reinterpret_cast<const void *>(&CBF_GraphData1), CVI_NAME_FUNCTION},
    {"_CBF_GraphData2", reinterpret_cast<const void *>(&CBF_GraphData2), CVI_NAME_FUNCTION},
    {"_CBF_GraphRaw1", reinterpret_cast<const void *>(&CBF_GraphRaw1), CVI_NAME_FUNCTION},
    {"_CBF_P", reinterpret_cast<const void *>(&CBF_P), CVI_NAME_FUNCTION},
    {"_CBF_ParaVisible", reinterpret_cast<const void *>(&CBF_ParaVisible), CVI_NAME_FUNCTION},
    {"_CBF_SelectEEPROM", reinterpret_cast<const void *>(&CBF_SelectEEPROM), CVI_NAME_FUNCTION},
    {"_CBF_SelectFILE", reinterpret_cast<const void *>(&CBF_SelectFILE), CVI_NAME_FUNCTION},
    {"_CBF_SelectRAM", reinterpret_cast<const void *>(&CBF_SelectRAM), CVI_NAME_FUNCTION},
    {"_CBF_SelectSource", reinterpret_cast<const void *>(&CBF_SelectSource), CVI_NAME_FUNCTION},
};

const CviNameTable NameTable = {nameEntries, sizeof nameEntries / sizeof nameEntries[0]};

} // namespace kivrel
