#include "com232.h"

#include "controls.h"
#include "helptexts.h"
#include "marks.h"
#include "sensor.h"
#include "state.h"
#include "transfer.h"

#include "rs232.h"
#include "userint.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

// A network sensor whose server could not be reached again: once the report is acknowledged,
// the status line says why, as after a failed open, with the system's words for it.
static void ShowReconnectError(void)
{
    char reason[160];
    const int code = GetComReconnectError(com, reason, sizeof reason);
    if (code >= 0) return;
    char text[200];
    std::snprintf(text, sizeof text, "%s (%s)", OpenErrorText(code), reason);
    SetCtrlVal(panel, PANEL_STATUS, text);
}

void TimeoutReport(void)
{
    SetCtrlVal(panel, PANEL_STATUS, "TIMEOUT");
    MessagePopup("INFO", InfoTimeout);
    ShowReconnectError();
}

void InitRS232(int port)
{
    poll = 0;
    OpenLine(port);
    ShowTitle(); // the port and the device the open found
    if (ret < 0) {
        std::strcpy(szStatus, OpenErrorText(ret));
        SetCtrlVal(panel, PANEL_STATUS, szStatus);
        return;
    }
    CheckComLine();
}

void CheckComLine(void)
{
    if (CheckLine() != RX_OK) {
        TimeoutReport();
        return;
    }
    std::strcpy(szStatus, "LINE OK                              V4.0");
    SetCtrlVal(panel, PANEL_STATUS, szStatus);
    GetPara();
}

} // namespace kivrel
