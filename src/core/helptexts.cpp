#include "helptexts.h"

namespace kivrel
{

// clang-format off

const char InfoEditConnect[] = " Select a serial COM-PORT.";

const char InfoButtonSend[] =
    " All the parameters of the PC-User-Interface are transferred to the sensor or to a selectable file.                           \n"
    " The target of the parameter transfer is determined by the select button (RAM, EE, FILE).                           \n"
    " Shortcut Key: F9. ";

const char InfoButtonGet[] =
    " Sensor or file parameters are transferred to the PC-User-Interface.                          \n"
    " The source of the parameter transfer is determined by the select button (RAM, EE, FILE).                          \n"
    " Shortcut Key: F10. ";

const char InfoButtonGo[] =
    " Starts data transfer sensor to PC.                         \n"
    " The data are shown in the displays and in the graph.                        \n"
    " Shortcut Key: F11. ";

const char InfoButtonStop[] =
    " Stops data transfer from sensor to PC.                        \n"
    " Shortcut Key: F12. ";

const char InfoButtonGetBuff[] =
    " When the sensor detects an edge, a search for the minimum NORM value is performed until                              \n"
    " the end of the DEAD TIME(TRIGGER=CONT) or the ACTIVE TIME(TRIGGER=EXT) and during HOLD.                              \n"
    " This minimum value is stored in a 16-value JUMP BUFFER that can be read out with                              \n"
    " the GETBUFF button. Based on these VALUES, the optimum THRESHOLD can be set.                              \n"
    " Shortcut Key: F8. ";

const char InfoSelectMEM[] =
    " Select the source respectively the target for the parameter transfer.";

const char InfoSwitchPara[] = " Hide or show additional parameters.";

const char InfoSelectSource[] = " Select a signal to be displayed in the graph.";

const char InfoEditThreshold[] =
    " Input field for the THRESHOLD respectively MIN TRSH or MAX TRSH.                             \n"
    " The NORM value of the two RAW signals must drop below a                             \n"
    " certain THRESHOLD during measurement to initiate a counting event.                             \n"
    " The sensor sensitivity increases with a higher TRESHOLD.                             \n"
    " See edit box TRSH MODE ";

const char InfoEditThrsMod[] =
    "Input field for the threshold mode. \n"
    "\n"
    "FIX: Sensor works with treshold, selected in the EDIT-BOX TRESHOLD \n"
    "and with the hysteresis selected in the EDIT-BOX HYSTERESIS. \n"
    "\n"
    "DYN1: Sensor works with a dynamic treshold. On every edge, a new treshold is calculated \n"
    "with the minimum NORM value plus the value selected in the EDIT-BOX DELTA TRSH. \n"
    "HYSTERESIS=TRESHOLD+DELTA HYST. TRESHOLD can not be higher than MAX TRSH. \n"
    "\n"
    "DYN2: Sensor works with a dynamic tracked treshold. \n"
    "TRESHOLD = NORM-DELTA TRSH. TRESHOLD can not be lower than MIN TRSH. \n"
    "HYSTERESIS=TRESHOLD+DELTA HYST. TRESHOLD tracking takes approximately 1 second";

const char InfoEditDeltaTrsh[] =
    " Input field for DELTA TRSH.                             \n"
    " See edit box TRSH MODE ";

const char InfoEditHysteresis[] =
    " Input field for the desired HYSTERESIS or DELTA HYSTERESIS.                               \n"
    " The NORM value of the two RAW signals must drop below a                               \n"
    " certain THRESHOLD during measurement to initiate a counting event.                               \n"
    " After that, the NORM value must again lie above the value HYST                               \n"
    " to allow renewed edge detection.                               \n"
    " This is a safety feature to suppress multiple counting arround the THRESHOLD.                              \n"
    " See edit box TRSH MODE ";

const char InfoEditTrigger[] =
    " Select the trigger mode for the sensor.                            \n"
    " EXT : An ACTIVE window is set for the sensor by IN0 and IN1.                            \n"
    " The sensor measures during its ACTIVE time and if it detects an edge, an output pulse                           \n"
    " (length is set by HOLD) is provided after the ACTIVE window is closed. (see manual)                            \n"
    " EXTSTAT: If an edge was detected during the ACTIVE time, the output pulse is set                            \n"
    " until the beginning of the next ACTIVE window, but at least the HOLD time.                            \n"
    " CONT: Measurement is performed continuously.";

const char InfoEditPmod[] =
    " Select the operating mode of automatic power correction at the transmitter unit.                         \n"
    " STAT: Transmitter power is constantly kept at the POWER value.                         \n"
    " DYN : Transmitter power is dynamically tuned in accordance with the amount of radiation that                         \n"
    "       is diffusely reflected from the target. Sensor should not exceed the dynamic range.                         \n"
    "       (recommended mode).";

const char InfoEditPower[] =
    " Select the intensity of the transmitter LED, if PMOD=FIX.                          \n"
    " 0% = no intensity,  100% = full intensity.";

const char InfoEditHold[] = " Pulse length of output OUT0.";

const char InfoEditBacklim[] =
    " Select an intensity limit.                            \n"
    " If the intensity that arrives at the receiver unit DAT0 falls below this limit,                            \n"
    " no evaluation will be performed. ";

const char InfoEditRegcnt[] =
    "This EDIT-BOX serves for setting after how many main-loop runs a dynamic                          \n"
    " laser diode correction should be performed, if PMOD=DYN. (see manual) ";

const char InfoEditAverage[] =
    " Select the number of scanning values (measurement values) over which the NORM signal is averaged.";

const char InfoEditOutmode[] =
    " Select how to output the output pulse at OUT0.                            \n"
    " DIRECT  : When a counting event occurs, output OUT0 changes from LOW (0V)                            \n"
    " to HIGH (+24V), until HOLD is over.                            \n"
    " INVERSE : When a counting event occurs, output OUT0 changes from HIGH (+24V)                            \n"
    " to LOW (0V), until HOLD is over. ";

const char InfoEditDeadTimeMode[] =
    " DEAD TIME MODE. Set the sensor dead (blind) for a certain time. (see manual)";

const char InfoEditDeadTime[] = " Dead time of the sensor. (see manual)";

const char InfoDispDat0[] = " Displays the RAW value of the the receiver DAT0. ";

const char InfoDispDat1[] = " Displays the RAW value of the the receiver DAT1. ";

const char InfoDispNORM[] =
    " Displays the NORM value calculated from DAT0 and DAT1.                         \n"
    " Formula for calculation: NORM = (DAT0*255)/(DAT0+DAT1) ";

const char InfoDispTrsh[] = " Display used to show the actual sensor treshold.";

const char InfoDispHyst[] = " Display used to show the actual sensor hysteresis.";

const char InfoDispEDGE[] =
    " Display used for adjustment of external sensors to generate an                         \n"
    " ACTIVE window when TRIGGER=EXT is selected. (see manual) ";

const char InfoDispWIN[] =
    " Display used for adjustment of external sensors to generate an                        \n"
    " ACTIVE window when TRIGGER=EXT is selected. (see manual) ";

const char InfoStatus[] = " Displays serial interface status messages.";

const char InfoGraph[] = " Displays a signal selected with SOURCE.";

const char InfoGraphData1[] =
    " When the sensor detects an edge, a search for the minimum NORM value is performed until                           \n"
    " the end of the DEAD TIME(TRIGGER=CONT) or the ACTIVE TIME(TRIGGER=EXT) and during HOLD.                           \n"
    " This minimum value is stored in a 16-value JUMP BUFFER that can be read out with                           \n"
    " the GETBUFF button. Based on these VALUES, the optimum THRESHOLD can be set.                           \n"
    " The 16-value JUMP BUFFER is shown in this graph. ";

const char InfoGraphData2[] =
    " If TRIGGER=ADJ EXT is selected, the sensor records the time from one positiv edge                           \n"
    " at IN0 to the next positive edge at IN0 and valuates this time to 100%.                           \n"
    " The value of 100 on the x-axis corresponds wiht 100% (time from IN0 to IN0).                           \n"
    " The red graph visualises the length of the ACTIVE window in percent of the time between IN0 and IN0.                           \n"
    " The blue graph visualises the appearance of an edge in percent of the time between IN0 and IN0.                           \n"
    " In practice, the ACTIVE window should be open approx. 60% of IN0 to IN0. The edge should lie in the                           \n"
    " middle of the active window (30%).";

const char InfoTimeout[] =
    " ATTENTION! \n"
    " \n"
    " TIMEOUT \n"
    " NO SERIAL CONNECTION TO SENSOR";

// clang-format on

// Controls the classic panel did not have, written in the same manner.
const char InfoButtonRec[] = " Records the live data in a CSV file: every record shown while GO "
                             "runs becomes one row.      \n"
                             " Switching REC on asks for the file; switching it off, STOP, a "
                             "TIMEOUT or closing the        \n"
                             " program ends the file.                                              "
                             "                         \n"
                             " Shortcut Key: F7. ";

const char InfoButtonHistory[] =
    " Opens the HISTORY window beside the panel: the live data of the last ten minutes      \n"
    " and every parameter transfer as a line (point at a line for what changed).      \n"
    " The wheel zooms, a drag looks back, END follows the newest data again.      \n"
    " The window also opens recordings and exports a picture of what it shows.      \n"
    " Shortcut Key: F5. ";

const char InfoButtonSuggest[] = " For TRSH MODE FIX: suggests THRESHOLD and HYSTERESIS from the "
                                 "last JUMP BUFFER (GETBUFF)    \n"
                                 " and the NORM values polled since the last parameter transfer "
                                 "(GO).                          \n"
                                 " The values are entered in the edit boxes; SEND transfers them, "
                                 "GET takes them back.         \n"
                                 " Shortcut Key: F6. ";

const char InfoDispSuggestion[] =
    " How SUGGEST arrived at its values, or why it cannot suggest any.";

const char InfoDispVerdict[] = " With TRIGGER=ADJ EXT: the ACTIVE window should be open approx. "
                               "60% of IN0 to IN0 (within 5%) \n"
                               " and the edge should lie in the middle of the window (within 5%).";

} // namespace kivrel
