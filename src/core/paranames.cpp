#include "paranames.h"

namespace kivrel
{

static const ParaChoice trshModes[] = {{"FIX", 0}, {"DYN1", 1}, {"DYN2", 2}};
static const ParaChoice triggers[] = {{"CONT", 0}, {"EXT", 1}, {"EXTSTAT", 2}, {"ADJ EXT", 3}};
static const ParaChoice powerModes[] = {{"STAT", 0}, {"DYN", 1}};
static const ParaChoice outModes[] = {{"DIRECT", 0}, {"INVERSE", 1}};
static const ParaChoice deadTimeModes[] = {{"PERCENT", 0}, {"MILLISECONDS", 1}};

const ParaName paraNames[15] = {
    {"threshold", "TRESHOLD", PARA_NUMBER, 255, nullptr},
    {"hysteresis", "HYSTERESIS", PARA_NUMBER, 255, nullptr},
    {"power", "POWER [%]", PARA_POWER, 100, nullptr},
    {"pmod", "PMOD", PARA_CHOICE, 1, powerModes},
    {"hold", "HOLD", PARA_NUMBER, 255, nullptr},
    {"trigger", "TRIGGER", PARA_CHOICE, 3, triggers},
    {"backlim", "BACKLIM", PARA_NUMBER, 255, nullptr},
    {"regcnt", "REGCNT", PARA_NUMBER, 255, nullptr},
    {"average", "AVERAGE", PARA_NUMBER, 255, nullptr},
    {"deadtimemode", "DEAD TIME MODE", PARA_CHOICE, 1, deadTimeModes},
    {"deadtime", "DEAD TIME[%]", PARA_NUMBER, 15, nullptr},
    {"outmode", "OUTMODE", PARA_CHOICE, 1, outModes},
    {"trshmod", "TRSH MODE", PARA_CHOICE, 2, trshModes},
    {"deltatrsh", "DELTA TRSH", PARA_NUMBER, 255, nullptr},
    {"frei15", "", PARA_SPARE, 255, nullptr},
};

const char *const deadTimePercent[16] = {"0",  "6",  "12", "18", "24", "30", "36", "42",
                                         "48", "54", "60", "66", "72", "78", "84", "90"};
const char *const deadTimeMillis[16] = {"0",  "2",  "4",  "6",  "8",  "10", "12", "14",
                                        "16", "18", "20", "22", "24", "26", "28", "30"};

const char *ThresholdLabel(int mode)
{
    return mode == 1 ? "MAX TRSH" : mode == 2 ? "MIN TRSH" : "TRESHOLD";
}

const char *HysteresisLabel(int mode)
{
    return mode == 1 || mode == 2 ? "DELTA HYST" : "HYSTERESIS";
}

const char *DeadTimeLabel(int mode)
{
    return mode == 0 ? "DEAD TIME[%]" : "DEAD TIME[ms]";
}

const char *ChoiceName(const ParaName &para, int value)
{
    if (para.kind != PARA_CHOICE) return nullptr;
    for (int i = 0; i <= para.high; i++)
        if (para.choices[i].value == value) return para.choices[i].name;
    return nullptr;
}

} // namespace kivrel
