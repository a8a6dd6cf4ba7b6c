#include "pause.h"

#include "controls.h"
#include "state.h"

#include "userint.h"

#include <cstring>

namespace kivrel
{

static const char PausedText[] = "Polling paused";
static int popupsOpen;     // popups that hold the program, one inside the other
static int noted;          // the status line says PausedText
static char szBefore[256]; // what it said before

void PausePolling(void)
{
    if (popupsOpen++ > 0 || poll != 1) return;
    GetCtrlVal(panel, PANEL_STATUS, szBefore);
    SetCtrlVal(panel, PANEL_STATUS, PausedText);
    noted = 1;
}

void ResumePolling(void)
{
    if (popupsOpen == 0 || --popupsOpen > 0 || !noted) return;
    noted = 0;
    char now[256] = "";
    GetCtrlVal(panel, PANEL_STATUS, now);
    if (std::strcmp(now, PausedText) == 0) SetCtrlVal(panel, PANEL_STATUS, szBefore);
}

void ShowHelp(const char *text)
{
    PausePolling();
    MessagePopup("Info", text);
    ResumePolling();
}

} // namespace kivrel
