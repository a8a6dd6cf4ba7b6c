// src/core, the ground floor: program state, constants and help texts; includes nothing of src/.
// Help texts shown on a right click, and the time-out message of the serial link.
// Every blank and every spelling belongs to the text as operators have always seen it.
#ifndef KIVREL_CORE_HELPTEXTS_H
#define KIVREL_CORE_HELPTEXTS_H

namespace kivrel
{

extern const char InfoEditConnect[];
extern const char InfoButtonSend[];
extern const char InfoButtonGet[];
extern const char InfoButtonGo[];
extern const char InfoButtonStop[];
extern const char InfoButtonGetBuff[];
extern const char InfoSelectMEM[];
extern const char InfoSwitchPara[];
extern const char InfoSelectSource[];
extern const char InfoEditThreshold[];
extern const char InfoEditThrsMod[];
extern const char InfoEditDeltaTrsh[];
extern const char InfoEditHysteresis[];
extern const char InfoEditTrigger[];
extern const char InfoEditPmod[];
extern const char InfoEditPower[];
extern const char InfoEditHold[];
extern const char InfoEditBacklim[];
extern const char InfoEditRegcnt[];
extern const char InfoEditAverage[];
extern const char InfoEditOutmode[];
extern const char InfoEditDeadTimeMode[];
extern const char InfoEditDeadTime[];
extern const char InfoDispDat0[];
extern const char InfoDispDat1[];
extern const char InfoDispNORM[];
extern const char InfoDispTrsh[];
extern const char InfoDispHyst[];
extern const char InfoDispEDGE[];
extern const char InfoDispWIN[];
extern const char InfoStatus[];
extern const char InfoGraph[];
extern const char InfoGraphData1[];
extern const char InfoGraphData2[];
extern const char InfoTimeout[];

// Controls the classic panel did not have.
extern const char InfoButtonRec[];
extern const char InfoButtonHistory[];
extern const char InfoButtonSuggest[];
extern const char InfoDispSuggestion[];
extern const char InfoDispVerdict[];

} // namespace kivrel

#endif
