#include "parafile.h"

#include "controls.h"
#include "gui.h"
#include "paths.h"
#include "pause.h"
#include "transfers.h"
#include "state.h"

#include "formatio.h"
#include "userint.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

// Names the file just loaded or saved in the status line, without its folder.
static void ShowFileStatus(const char *what)
{
    char text[sizeof file_name + 16];
    std::snprintf(text, sizeof text, "%s%s", what, FileNameOf(file_name));
    SetCtrlVal(panel, PANEL_STATUS, text);
}

static int SelectParaFile(void)
{
    PausePolling();
    const int chosen =
        FileSelectPopup(proj_dir, "init.dat", "*.dat", "init", 0, 0, 1, 1, 1, file_name);
    ResumePolling();
    return chosen;
}

void SendParaToFile(void)
{
    if (SelectParaFile() <= 0) return;
    GetPanelValues();
    CopyVarsToPP();
    // The file is replaced only once the new one is completely written; a failed save leaves
    // the previous file as it was.
    if (ArrayToFile(file_name, pp, VAL_UNSIGNED_CHAR, AnzPara, 1, 0, 0, 0, 4, 1, 0) < 0) {
        SetCtrlVal(panel, PANEL_STATUS, "File not saved: cannot write it");
        return;
    }
    ShowFileStatus("File saved: ");
    NoteTransfer(TRANSFER_WRITE, DATFILE);
}

static const char *LoadErrorText(int code)
{
    switch (code) {
    case FIO_OPEN_ERROR: return "File not loaded: cannot open it";
    case FIO_TOO_FEW_VALUES: return "File not loaded: fewer than 15 values";
    case FIO_TOO_MANY_VALUES: return "File not loaded: more than 15 values";
    case FIO_BAD_VALUE: return "File not loaded: values must be 0 to 255";
    case FIO_TOO_LARGE: return "File not loaded: too large";
    default: return "File not loaded: read error";
    }
}

void ReadParaFromFile(void)
{
    unsigned char loaded[AnzPara];

    if (SelectParaFile() <= 0) return;
    // Only a complete, valid file reaches pp: anything else leaves pp, the parameter
    // variables and the operator's unsent edits on the panel as they are.
    const int rc = FileToArray(file_name, loaded, VAL_UNSIGNED_CHAR, AnzPara, 1, 0, 0, 1);
    if (rc < 0) {
        SetCtrlVal(panel, PANEL_STATUS, LoadErrorText(rc));
        return;
    }
    std::memcpy(pp, loaded, sizeof pp);
    CopyPPtoVars();
    SetPanelValues();
    InitPanelValues();
    ShowFileStatus("File loaded: ");
    NoteTransfer(TRANSFER_READ, DATFILE);
}

} // namespace kivrel
