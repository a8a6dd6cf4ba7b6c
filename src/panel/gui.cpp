#include "gui.h"

#include "array1d.h"
#include "controls.h"
#include "helptexts.h"
#include "marks.h"
#include "paranames.h"
#include "pause.h"
#include "state.h"

#include "userint.h"
#include "utility.h"

#include <cstdio>

namespace kivrel
{

// ---- Pages and views -------------------------------------------------------------------------

static const int page1[] = {PANEL_THRESHOLD, PANEL_TRSHMOD, PANEL_DELTATRSH, PANEL_HYSTERESIS,
                            PANEL_TRIGGER,   PANEL_PMOD,    PANEL_POWER,     PANEL_HOLD};
static const int page2[] = {PANEL_BACKLIM, PANEL_REGCNT,       PANEL_AVERAGE,
                            PANEL_OUTMODE, PANEL_DEADTIMEMODE, PANEL_DEADTIME};

static void SetVisible(const int *controls, int count, int visible)
{
    for (int i = 0; i < count; i++)
        SetCtrlAttribute(panel, controls[i], ATTR_VISIBLE, visible);
}

void ParaVis(void)
{
    SetVisible(page2, 6, 0);
    SetVisible(page1, 8, 1);
}

void ParaInVis(void)
{
    SetVisible(page1, 8, 0);
    SetVisible(page2, 6, 1);
}

void DispVis(void)
{
    static const int hideCharts[] = {PANEL_GRAPHDATA1, PANEL_GRAPHDATA2, PANEL_DISPEDGE,
                                     PANEL_DISPWIN};
    static const int showCharts[] = {PANEL_DISPDAT0, PANEL_DISPDAT1, PANEL_DISPNORM,
                                     PANEL_GRAPHRAW1};
    static const int hideAdjust[] = {PANEL_GRAPHDATA1, PANEL_GRAPHRAW1, PANEL_DISPDAT0,
                                     PANEL_DISPDAT1, PANEL_DISPNORM};
    static const int showAdjust[] = {PANEL_DISPEDGE, PANEL_DISPWIN, PANEL_GRAPHDATA2};

    GetCtrlVal(panel, PANEL_SOURCE, &source);
    if (source == 0 || source == 1) {
        SetVisible(hideCharts, 4, 0);
        SetVisible(showCharts, 4, 1);
        SetCtrlAttribute(panel, PANEL_VERDICT, ATTR_VISIBLE, 0);
        // Source 0 shows the raw signals DAT0 and DAT1, source 1 NORM with the working
        // threshold and hysteresis.
        for (int trace = 1; trace <= 5; trace++) {
            const int raw = trace <= 2;
            SetTraceAttribute(panel, PANEL_GRAPHRAW1, trace, ATTR_TRACE_VISIBLE,
                              source == 0 ? raw : !raw);
        }
    } else if (source == 2) {
        SetVisible(hideAdjust, 5, 0);
        SetVisible(showAdjust, 3, 1);
        SetCtrlAttribute(panel, PANEL_VERDICT, ATTR_VISIBLE, 1);
    }
}

// ---- Parameter editing -----------------------------------------------------------------------

// A power byte above 46 has no percent to show. The field says so instead of showing a
// percent the sensor does not have, and the byte goes out again as it came in, until the
// operator changes POWER (the platform then drops the text).
static unsigned char powerByte;

void GetPanelValues(void)
{
    for (int i = 0; i < ParaControlCount; i++) {
        GetCtrlVal(panel, paraPairs[i].control, paraPairs[i].variable);
        if (paraPairs[i].control != PANEL_POWER) continue;
        int keptByte = 0;
        GetCtrlAttribute(panel, PANEL_POWER, ATTR_VALUE_TEXT_SHOWN, &keptByte);
        power = keptByte ? powerByte : PowerToSensor(power); // percent to the sensor scale
    }
}

void SetPanelValues(void)
{
    for (int i = 0; i < ParaControlCount; i++) {
        if (paraPairs[i].control == PANEL_POWER && !PowerInRange(power)) {
            char text[48];
            powerByte = power;
            std::snprintf(text, sizeof text, "byte %u, not 0-%d", power, POWER_NONE);
            SetCtrlAttribute(panel, PANEL_POWER, ATTR_VALUE_TEXT, text);
            continue;
        }
        if (paraPairs[i].control == PANEL_POWER) // sensor scale to percent, in place
            power = PowerToPercent(power);
        SetCtrlVal(panel, paraPairs[i].control, *paraPairs[i].variable);
    }
}

// The four mode rules each work on the panel they are given: a callback passes its own.
static void ApplyTrshMod(int pnl)
{
    GetCtrlVal(pnl, PANEL_TRSHMOD, &trshmod);
    if (trshmod > 2) return; // no mode of the panel's: everything stays as it was
    SetCtrlAttribute(pnl, PANEL_DELTATRSH, ATTR_DIMMED, trshmod == 0 ? 1 : 0);
    SetCtrlAttribute(pnl, PANEL_HYSTERESIS, ATTR_LABEL_TEXT, HysteresisLabel(trshmod));
    SetCtrlAttribute(pnl, PANEL_THRESHOLD, ATTR_LABEL_TEXT, ThresholdLabel(trshmod));
}

static void ApplyPmod(int pnl)
{
    GetCtrlVal(pnl, PANEL_PMOD, &pmod);
    SetCtrlAttribute(pnl, PANEL_POWER, ATTR_DIMMED, pmod == 0 ? 0 : 1);
    SetCtrlAttribute(pnl, PANEL_REGCNT, ATTR_DIMMED, pmod == 0 ? 1 : 0);
}

static void ApplyDeadTimeMode(int pnl)
{
    GetCtrlVal(pnl, PANEL_DEADTIMEMODE, &deadtimemode);
    const char *const *texts = deadtimemode == 0 ? deadTimePercent : deadTimeMillis;
    SetCtrlAttribute(pnl, PANEL_DEADTIME, ATTR_LABEL_TEXT, DeadTimeLabel(deadtimemode));
    for (int i = 0; i < 16; i++)
        ReplaceListItem(pnl, PANEL_DEADTIME, i, texts[i], i);
}

static void ApplyTrigger(int pnl)
{
    GetCtrlVal(pnl, PANEL_TRIGGER, &trigger);
    const int dimmed = trigger == 0 ? 0 : 1; // dead time applies to continuous measurement only
    SetCtrlAttribute(pnl, PANEL_DEADTIMEMODE, ATTR_DIMMED, dimmed);
    SetCtrlAttribute(pnl, PANEL_DEADTIME, ATTR_DIMMED, dimmed);
}

void InitPanelValues(void)
{
    ApplyTrshMod(panel);
    ApplyPmod(panel);
    ApplyDeadTimeMode(panel);
    ApplyTrigger(panel);
}

int CBF_EditTrshMod(int pnl, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        ApplyTrshMod(pnl);
        MarkUnsentEdits();
    } else if (event == EVENT_RIGHT_CLICK)
        ShowHelp(InfoEditThrsMod);
    return 0;
}

int CBF_EditTrigger(int pnl, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        ApplyTrigger(pnl);
        MarkUnsentEdits();
    } else if (event == EVENT_RIGHT_CLICK)
        ShowHelp(InfoEditTrigger);
    return 0;
}

int CBF_EditPmod(int pnl, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        ApplyPmod(pnl);
        MarkUnsentEdits();
    } else if (event == EVENT_RIGHT_CLICK)
        ShowHelp(InfoEditPmod);
    return 0;
}

int CBF_EditDeadTimeMode(int pnl, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        ApplyDeadTimeMode(pnl);
        MarkUnsentEdits();
    } else if (event == EVENT_RIGHT_CLICK)
        ShowHelp(InfoEditDeadTimeMode);
    return 0;
}

int CBF_ParaVisible(int pnl, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        GetCtrlVal(pnl, PANEL_PARAVISIBLE, &para);
        if (para == 0)
            ParaInVis();
        else
            ParaVis();
    } else if (event == EVENT_RIGHT_CLICK) {
        ShowHelp(InfoSwitchPara);
    }
    return 0;
}

// ---- Live displays and charts ----------------------------------------------------------------

void SetPanelData(void)
{
    const unsigned adjedge = Word(dataAdjedgeL, dataAdjedgeH);
    const unsigned adjin0 = Word(dataAdjin0L, dataAdjin0H);
    const unsigned adjin1 = Word(dataAdjin1L, dataAdjin1H);

    // Without an IN0 period (adjin0 0) there is nothing to take a percentage of: the two
    // displays show 0 greyed out, and the adjustment graph draws no marker.
    const int havePeriod = adjin0 != 0;
    SetCtrlAttribute(panel, PANEL_DISPWIN, ATTR_DIMMED, !havePeriod);
    SetCtrlAttribute(panel, PANEL_DISPEDGE, ATTR_DIMMED, !havePeriod);
    SetCtrlVal(panel, PANEL_DISPWIN,
               havePeriod ? static_cast<int>(PercentOfIn0(adjin1, adjin0)) : 0);
    SetCtrlVal(panel, PANEL_DISPEDGE,
               havePeriod ? static_cast<int>(PercentOfIn0(adjedge, adjin0)) : 0);

    SetCtrlVal(panel, PANEL_DISPDAT0, dataDat0);
    SetCtrlVal(panel, PANEL_DISPDAT1, dataDat1);
    SetCtrlVal(panel, PANEL_DISPNORM, dataNorm);
    SetCtrlVal(panel, PANEL_DISPTRSH, dataTrshWork);
    SetCtrlVal(panel, PANEL_DISPHYST, dataHystWork);

    Shift(alldata, 500, -5, alldata);
    alldata[495] = dataDat0;
    alldata[496] = dataDat1;
    alldata[497] = dataNorm;
    alldata[498] = dataTrshWork;
    alldata[499] = dataHystWork;
}

void ShowGraph(void)
{
    if (source != 2) {
        SetCtrlAttribute(panel, PANEL_GRAPHRAW1, ATTR_POINTS_PER_SCREEN, 101);
        PlotStripChart(panel, PANEL_GRAPHRAW1, alldata, 500, 0, 0, VAL_DOUBLE);
        return;
    }

    // The adjustment graph is redrawn once a second; the panel stays live meanwhile.
    tstart = Timer();
    tdiff = 0.0;
    SetSpinDeadline(tstart + 1.0);
    while (1.0 > tdiff) {
        ProcessSystemEvents();
        tdiff = Timer() - tstart;
    }
    SetSpinDeadline(-1.0);

    int edge = 0, window = 0;
    GetCtrlVal(panel, PANEL_DISPEDGE, &edge);
    GetCtrlVal(panel, PANEL_DISPWIN, &window);
    const unsigned char e = static_cast<unsigned char>(edge);
    const unsigned char w = static_cast<unsigned char>(window);

    unsigned char edgeMarks[101] = {0};
    unsigned char windowMarks[101] = {0};
    if (Word(dataAdjin0L, dataAdjin0H) != 0) {
        if (e < 101) edgeMarks[e] = 150;
        if (w < 101) windowMarks[w] = 150;
    }
    DeleteGraphPlot(panel, PANEL_GRAPHDATA2, -1, 1);
    PlotY(panel, PANEL_GRAPHDATA2, edgeMarks, 101, VAL_UNSIGNED_CHAR, 5, 0, 0, 1, 0x0000FF);
    PlotY(panel, PANEL_GRAPHDATA2, windowMarks, 101, VAL_UNSIGNED_CHAR, 5, 0, 0, 1, 0xFF0000);
}

} // namespace kivrel
