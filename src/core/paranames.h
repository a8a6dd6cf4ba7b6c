// src/core, the ground floor: program state, constants and help texts; includes nothing of src/.
// The fifteen parameters as the panel names them: the label over each field, the names of the
// modes, the dead-time steps, and the highest value each field takes. The command line reads and
// sets them by the same names and ranges.
#ifndef KIVREL_CORE_PARANAMES_H
#define KIVREL_CORE_PARANAMES_H

namespace kivrel
{

enum {
    PARA_NUMBER = 0, // a number field, 0 to `high`
    PARA_POWER = 1,  // percent on the panel (0 to 100), the sensor's scale in pp
    PARA_CHOICE = 2, // a selector of named values
    PARA_SPARE = 3   // on no field of the panel
};

struct ParaChoice {
    const char *name;
    unsigned char value;
};

struct ParaName {
    const char *name;  // as the journal's columns and the command line name it: "threshold"
    const char *label; // over its field, with the modes at their start-up values
    int kind;
    int high;                  // the highest value the field takes
    const ParaChoice *choices; // PARA_CHOICE, `high` + 1 of them
};

// In wire order: paraNames[i] is pp[i].
extern const ParaName paraNames[15];

// The labels that follow the modes: threshold and hysteresis with TRSH MODE (0 FIX, 1 DYN1,
// 2 DYN2), the dead time with its mode (0 percent, else milliseconds).
const char *ThresholdLabel(int mode);
const char *HysteresisLabel(int mode);
const char *DeadTimeLabel(int mode);
// The dead time's sixteen steps as the list shows them, in the unit of its mode.
extern const char *const deadTimePercent[16];
extern const char *const deadTimeMillis[16];

// The name of `value` among a choice field's values, null when it has none.
const char *ChoiceName(const ParaName &para, int value);

} // namespace kivrel

#endif
