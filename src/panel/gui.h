// src/panel: the operator panel; uses core, util, wire, history, assist.
// The operator panel: page and view switching, parameter editing, live displays and charts.
#ifndef KIVREL_PANEL_GUI_H
#define KIVREL_PANEL_GUI_H

#include "controls.h"
#include "measure.h" // Word, PercentOfIn0
#include "state.h"

namespace kivrel
{

// Parameter pages share one area: the first holds threshold, hysteresis, trigger, hold, power
// mode, power and the threshold-mode pair; the second backlim, regcnt, average, output mode and
// the two dead-time controls.
void ParaVis(void);
void ParaInVis(void);
// Arranges displays, graphs and strip-chart traces for the display source on the panel.
void DispVis(void);

// The parameter controls and their variables, in the order both transfers visit them; power
// is converted on the way.
struct ParaPair {
    int control;
    unsigned char *variable;
};
inline constexpr ParaPair paraPairs[] = {{PANEL_THRESHOLD, &threshold},
                                         {PANEL_HYSTERESIS, &hysteresis},
                                         {PANEL_TRIGGER, &trigger},
                                         {PANEL_PMOD, &pmod},
                                         {PANEL_POWER, &power},
                                         {PANEL_HOLD, &hold},
                                         {PANEL_BACKLIM, &backlim},
                                         {PANEL_REGCNT, &regcnt},
                                         {PANEL_AVERAGE, &average},
                                         {PANEL_OUTMODE, &outmode},
                                         {PANEL_DEADTIMEMODE, &deadtimemode},
                                         {PANEL_DEADTIME, &deadtime},
                                         {PANEL_TRSHMOD, &trshmod},
                                         {PANEL_DELTATRSH, &deltatrsh}};
inline constexpr int ParaControlCount = sizeof paraPairs / sizeof paraPairs[0];

void GetPanelValues(void);  // panel to parameter variables, power to the sensor scale
void SetPanelValues(void);  // parameter variables to panel, power to percent in place
void InitPanelValues(void); // labels, dimming and the dead-time list from the four modes

// One record to the seven displays and the strip-chart history, then to the graph.
void SetPanelData(void);
void ShowGraph(void);

int CBF_EditTrshMod(int panel, int control, int event, void *callbackData, int eventData1,
                    int eventData2);
int CBF_EditTrigger(int panel, int control, int event, void *callbackData, int eventData1,
                    int eventData2);
int CBF_EditPmod(int panel, int control, int event, void *callbackData, int eventData1,
                 int eventData2);
int CBF_EditDeadTimeMode(int panel, int control, int event, void *callbackData, int eventData1,
                         int eventData2);
int CBF_ParaVisible(int panel, int control, int event, void *callbackData, int eventData1,
                    int eventData2);

} // namespace kivrel

#endif
