#include "com232.h"

#include "controls.h"
#include "helptexts.h"
#include "marks.h"
#include "sensor.h"
#include "state.h"
#include "transfer.h"

#include "userint.h"

#include <cstring>

namespace kivrel
{

static const char TimeoutText[] = "TIMEOUT";

void TimeoutReport(void)
{
    SetCtrlVal(panel, PANEL_STATUS, TimeoutText);
    MessagePopup("INFO", InfoTimeout);
}

void SensorAnswered(void)
{
    char now[256] = "";
    GetCtrlVal(panel, PANEL_STATUS, now);
    if (std::strcmp(now, TimeoutText) == 0) SetCtrlVal(panel, PANEL_STATUS, "Sensor answers again");
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
