// src/app, the top floor: start-up, callbacks and parameter-file commands; uses every folder.
// Start-up, shutdown and the control callbacks of the main module.
#ifndef KIVREL_APP_KIVRELV40_H
#define KIVREL_APP_KIVRELV40_H

#include "cvirte.h"

namespace kivrel
{

// The program: brings up the run-time and the panel, connects on COM 1, runs the event loop.
// 0 after a normal run, -1 when the run-time or the panel file cannot be brought up.
int WinMain(void *hInstance, void *hPrevInstance, char *lpszCmdLine, int nCmdShow);
void InitVars(void);

// The program's functions by name, sorted, through which the panel file binds its callbacks.
extern const CviNameTable NameTable;

#define KIVREL_CALLBACK(name)                                                                      \
    int name(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)

int CBF_P(int panel, int event, void *callbackData, int eventData1, int eventData2);
KIVREL_CALLBACK(CBF_EditConnect);
KIVREL_CALLBACK(CBF_ButtonSend);
KIVREL_CALLBACK(CBF_ButtonGet);
KIVREL_CALLBACK(CBF_ButtonGo);
KIVREL_CALLBACK(CBF_ButtonStop);
KIVREL_CALLBACK(CBF_ButtonGetBuff);
KIVREL_CALLBACK(CBF_SelectRAM);
KIVREL_CALLBACK(CBF_SelectEEPROM);
KIVREL_CALLBACK(CBF_SelectFILE);
KIVREL_CALLBACK(CBF_SelectSource);
KIVREL_CALLBACK(CBF_EditThreshold);
KIVREL_CALLBACK(CBF_EditDeltaTrsh);
KIVREL_CALLBACK(CBF_EditHysteresis);
KIVREL_CALLBACK(CBF_EditPower);
KIVREL_CALLBACK(CBF_EditHold);
KIVREL_CALLBACK(CBF_EditBacklim);
KIVREL_CALLBACK(CBF_EditRegcnt);
KIVREL_CALLBACK(CBF_EditAverage);
KIVREL_CALLBACK(CBF_EditOutmode);
KIVREL_CALLBACK(CBF_EditDeadTime);
KIVREL_CALLBACK(CBF_DECO1);
KIVREL_CALLBACK(CBF_DECO2);
KIVREL_CALLBACK(CBF_DECO3);
KIVREL_CALLBACK(CBF_DECO4);
KIVREL_CALLBACK(CBF_DECO5);
KIVREL_CALLBACK(CBF_DECO6);
KIVREL_CALLBACK(CBF_DispDat0);
KIVREL_CALLBACK(CBF_DispDat1);
KIVREL_CALLBACK(CBF_DispNORM);
KIVREL_CALLBACK(CBF_DispTRSH);
KIVREL_CALLBACK(CBF_DispHYST);
KIVREL_CALLBACK(CBF_DispEdge);
KIVREL_CALLBACK(CBF_DispWin);
KIVREL_CALLBACK(CBF_DispStatus);
KIVREL_CALLBACK(CBF_GraphRaw1);
KIVREL_CALLBACK(CBF_GraphData1);
KIVREL_CALLBACK(CBF_GraphData2);
KIVREL_CALLBACK(CBF_ButtonRec);
KIVREL_CALLBACK(CBF_ButtonHistory);
KIVREL_CALLBACK(CBF_ButtonSuggest);
KIVREL_CALLBACK(CBF_DispSuggestion);
KIVREL_CALLBACK(CBF_DispVerdict);

} // namespace kivrel

#endif
