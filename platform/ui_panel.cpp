// Panels, controls, graphs and popups on Qt widgets (being written).
#include "userint.h"

int LoadPanel(int, const char *, int) { return UIE_PANEL_FILE_NOT_FOUND; }
int DisplayPanel(int) { return UIE_INVALID_PANEL; }
int DiscardPanel(int) { return UIE_INVALID_PANEL; }
int GetCtrlVal(int, int, unsigned char *) { return UIE_INVALID_PANEL; }
int GetCtrlVal(int, int, int *) { return UIE_INVALID_PANEL; }
int GetCtrlVal(int, int, char *) { return UIE_INVALID_PANEL; }
int SetCtrlVal(int, int, int) { return UIE_INVALID_PANEL; }
int SetCtrlVal(int, int, const char *) { return UIE_INVALID_PANEL; }
int SetCtrlAttribute(int, int, int, int) { return UIE_INVALID_PANEL; }
int SetCtrlAttribute(int, int, int, const char *) { return UIE_INVALID_PANEL; }
int GetCtrlAttribute(int, int, int, int *) { return UIE_INVALID_PANEL; }
int SetTraceAttribute(int, int, int, int, int) { return UIE_INVALID_PANEL; }
int NewCtrl(int, int, const char *, int, int) { return UIE_INVALID_PANEL; }
int ReplaceListItem(int, int, int, const char *, int) { return UIE_INVALID_PANEL; }
int DisplayImageFile(int, int, const char *) { return UIE_INVALID_PANEL; }
int PlotY(int, int, const void *, int, int, int, int, int, int, int) { return UIE_INVALID_PANEL; }
int PlotStripChart(int, int, const void *, int, int, int, int) { return UIE_INVALID_PANEL; }
int DeleteGraphPlot(int, int, int, int) { return UIE_INVALID_PANEL; }
int MessagePopup(const char *, const char *) { return UIE_NOT_INITIALISED; }
int FileSelectPopup(const char *, const char *, const char *, const char *, int, int, int, int,
                    int, char[])
{
    return UIE_NOT_INITIALISED;
}
