#include "marks.h"

#include "gui.h"
#include "portname.h"
#include "state.h"

#include "rs232.h"
#include "userint.h"

#include <cstdio>

namespace kivrel
{

static unsigned char sensorSet[ParaControlCount]; // control values of the sensor's set
static int haveSensorSet; // 0 until a set was read or written: nothing to compare with

void RememberSensorSet(void)
{
    for (int i = 0; i < ParaControlCount; i++)
        GetCtrlVal(panel, paraPairs[i].control, &sensorSet[i]);
    haveSensorSet = 1;
    MarkUnsentEdits();
}

void ForgetSensorSet(void)
{
    haveSensorSet = 0;
    MarkUnsentEdits();
}

void MarkUnsentEdits(void)
{
    int anyMarked = 0;
    for (int i = 0; i < ParaControlCount; i++) {
        unsigned char now = 0;
        GetCtrlVal(panel, paraPairs[i].control, &now);
        const int marked = haveSensorSet && now != sensorSet[i];
        int was = 0;
        GetCtrlAttribute(panel, paraPairs[i].control, ATTR_MARKED, &was);
        if (marked != was) {
            SetCtrlAttribute(panel, paraPairs[i].control, ATTR_MARKED, marked);
            SetCtrlAttribute(panel, paraPairs[i].control, ATTR_DESCRIPTION,
                             marked ? "Changed, not sent" : "");
        }
        anyMarked |= marked;
    }
    SetPanelAttribute(panel, ATTR_WINDOW_MODIFIED, anyMarked);
}

void ShowTitle(void)
{
    char port[300];
    char title[sizeof port + 32];
    ComLabel(com, port, sizeof port);
    std::snprintf(title, sizeof title, "KIVREL-Vired V4.0 \u2014 %s", port);
    SetPanelAttribute(panel, ATTR_TITLE, title);
}

} // namespace kivrel
