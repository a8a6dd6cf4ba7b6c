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

static const char TimeoutText[] = "TIMEOUT";
// Why a network sensor's server could not be reached again, as the status line said it after
// the timeout report; a good reply replaces it as it replaces TIMEOUT.
static char reconnectStatus[200];

// A network sensor whose server could not be reached again: once the report is acknowledged,
// the status line says why, as after a failed open, with the system's words for it.
static void ShowReconnectError(void)
{
    char reason[160];
    const int code = GetComReconnectError(com, reason, sizeof reason);
    if (code >= 0) return;
    std::snprintf(reconnectStatus, sizeof reconnectStatus, "%s (%s)", OpenErrorText(code), reason);
    SetCtrlVal(panel, PANEL_STATUS, reconnectStatus);
}

void TimeoutReport(void)
{
    SetCtrlVal(panel, PANEL_STATUS, TimeoutText);
    MessagePopup("INFO", InfoTimeout);
    ShowReconnectError();
}

void SensorAnswered(void)
{
    char now[256] = "";
    GetCtrlVal(panel, PANEL_STATUS, now);
    if (std::strcmp(now, TimeoutText) == 0 ||
        (reconnectStatus[0] && std::strcmp(now, reconnectStatus) == 0))
        SetCtrlVal(panel, PANEL_STATUS, "Sensor answers again");
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
