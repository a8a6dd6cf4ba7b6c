// The help texts and the time-out report, byte for byte: written out here independently of
// the program, so a typo in either shows. Each source line is one line of the text; the
// blanks before a line break belong to it.
#pragma once

namespace kivrel::test
{

// clang-format off
inline constexpr char kInfoEditConnect[] = " Select a serial COM-PORT.";
inline constexpr char kInfoButtonSend[] =
    " All the parameters of the PC-User-Interface are transferred to the sensor or to a selectable file.                           \n"
    " The target of the parameter transfer is determined by the select button (RAM, EE, FILE).                           \n"
    " Shortcut Key: F9. ";
inline constexpr char kInfoButtonGet[] =
    " Sensor or file parameters are transferred to the PC-User-Interface.                          \n"
    " The source of the parameter transfer is determined by the select button (RAM, EE, FILE).                          \n"
    " Shortcut Key: F10. ";
inline constexpr char kInfoButtonGo[] =
    " Starts data transfer sensor to PC.                         \n"
    " The data are shown in the displays and in the graph.                        \n"
    " Shortcut Key: F11. ";
inline constexpr char kInfoButtonStop[] =
    " Stops data transfer from sensor to PC.                        \n"
    " Shortcut Key: F12. ";
inline constexpr char kInfoButtonGetBuff[] =
    " When the sensor detects an edge, a search for the minimum NORM value is performed until                              \n"
    " the end of the DEAD TIME(TRIGGER=CONT) or the ACTIVE TIME(TRIGGER=EXT) and during HOLD.                              \n"
    " This minimum value is stored in a 16-value JUMP BUFFER that can be read out with                              \n"
    " the GETBUFF button. Based on these VALUES, the optimum THRESHOLD can be set.                              \n"
    " Shortcut Key: F8. ";
inline constexpr char kInfoSelectMEM[] =
    " Select the source respectively the target for the parameter transfer.";
inline constexpr char kInfoSwitchPara[] = " Hide or show additional parameters.";
inline constexpr char kInfoSelectSource[] = " Select a signal to be displayed in the graph.";
inline constexpr char kInfoEditThreshold[] =
    " Input field for the THRESHOLD respectively MIN TRSH or MAX TRSH.                             \n"
    " The NORM value of the two RAW signals must drop below a                             \n"
    " certain THRESHOLD during measurement to initiate a counting event.                             \n"
    " The sensor sensitivity increases with a higher TRESHOLD.                             \n"
    " See edit box TRSH MODE ";
inline constexpr char kInfoEditThrsMod[] =
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
inline constexpr char kInfoEditDeltaTrsh[] =
    " Input field for DELTA TRSH.                             \n"
    " See edit box TRSH MODE ";
inline constexpr char kInfoEditHysteresis[] =
    " Input field for the desired HYSTERESIS or DELTA HYSTERESIS.                               \n"
    " The NORM value of the two RAW signals must drop below a                               \n"
    " certain THRESHOLD during measurement to initiate a counting event.                               \n"
    " After that, the NORM value must again lie above the value HYST                               \n"
    " to allow renewed edge detection.                               \n"
    " This is a safety feature to suppress multiple counting arround the THRESHOLD.                              \n"
    " See edit box TRSH MODE ";
inline constexpr char kInfoEditTrigger[] =
    " Select the trigger mode for the sensor.                            \n"
    " EXT : An ACTIVE window is set for the sensor by IN0 and IN1.                            \n"
    " The sensor measures during its ACTIVE time and if it detects an edge, an output pulse                           \n"
    " (length is set by HOLD) is provided after the ACTIVE window is closed. (see manual)                            \n"
    " EXTSTAT: If an edge was detected during the ACTIVE time, the output pulse is set                            \n"
    " until the beginning of the next ACTIVE window, but at least the HOLD time.                            \n"
    " CONT: Measurement is performed continuously.";
inline constexpr char kInfoEditPmod[] =
    " Select the operating mode of automatic power correction at the transmitter unit.                         \n"
    " STAT: Transmitter power is constantly kept at the POWER value.                         \n"
    " DYN : Transmitter power is dynamically tuned in accordance with the amount of radiation that                         \n"
    "       is diffusely reflected from the target. Sensor should not exceed the dynamic range.                         \n"
    "       (recommended mode).";
inline constexpr char kInfoEditPower[] =
    " Select the intensity of the transmitter LED, if PMOD=FIX.                          \n"
    " 0% = no intensity,  100% = full intensity.";
inline constexpr char kInfoEditHold[] = " Pulse length of output OUT0.";
inline constexpr char kInfoEditBacklim[] =
    " Select an intensity limit.                            \n"
    " If the intensity that arrives at the receiver unit DAT0 falls below this limit,                            \n"
    " no evaluation will be performed. ";
inline constexpr char kInfoEditRegcnt[] =
    "This EDIT-BOX serves for setting after how many main-loop runs a dynamic                          \n"
    " laser diode correction should be performed, if PMOD=DYN. (see manual) ";
inline constexpr char kInfoEditAverage[] =
    " Select the number of scanning values (measurement values) over which the NORM signal is averaged.";
inline constexpr char kInfoEditOutmode[] =
    " Select how to output the output pulse at OUT0.                            \n"
    " DIRECT  : When a counting event occurs, output OUT0 changes from LOW (0V)                            \n"
    " to HIGH (+24V), until HOLD is over.                            \n"
    " INVERSE : When a counting event occurs, output OUT0 changes from HIGH (+24V)                            \n"
    " to LOW (0V), until HOLD is over. ";
inline constexpr char kInfoEditDeadTimeMode[] =
    " DEAD TIME MODE. Set the sensor dead (blind) for a certain time. (see manual)";
inline constexpr char kInfoEditDeadTime[] = " Dead time of the sensor. (see manual)";
inline constexpr char kInfoDispDat0[] = " Displays the RAW value of the the receiver DAT0. ";
inline constexpr char kInfoDispDat1[] = " Displays the RAW value of the the receiver DAT1. ";
inline constexpr char kInfoDispNORM[] =
    " Displays the NORM value calculated from DAT0 and DAT1.                         \n"
    " Formula for calculation: NORM = (DAT0*255)/(DAT0+DAT1) ";
inline constexpr char kInfoDispTrsh[] = " Display used to show the actual sensor treshold.";
inline constexpr char kInfoDispHyst[] = " Display used to show the actual sensor hysteresis.";
inline constexpr char kInfoDispEDGE[] =
    " Display used for adjustment of external sensors to generate an                         \n"
    " ACTIVE window when TRIGGER=EXT is selected. (see manual) ";
inline constexpr char kInfoDispWIN[] =
    " Display used for adjustment of external sensors to generate an                        \n"
    " ACTIVE window when TRIGGER=EXT is selected. (see manual) ";
inline constexpr char kInfoStatus[] = " Displays serial interface status messages.";
inline constexpr char kInfoGraph[] = " Displays a signal selected with SOURCE.";
inline constexpr char kInfoGraphData1[] =
    " When the sensor detects an edge, a search for the minimum NORM value is performed until                           \n"
    " the end of the DEAD TIME(TRIGGER=CONT) or the ACTIVE TIME(TRIGGER=EXT) and during HOLD.                           \n"
    " This minimum value is stored in a 16-value JUMP BUFFER that can be read out with                           \n"
    " the GETBUFF button. Based on these VALUES, the optimum THRESHOLD can be set.                           \n"
    " The 16-value JUMP BUFFER is shown in this graph. ";
inline constexpr char kInfoGraphData2[] =
    " If TRIGGER=ADJ EXT is selected, the sensor records the time from one positiv edge                           \n"
    " at IN0 to the next positive edge at IN0 and valuates this time to 100%.                           \n"
    " The value of 100 on the x-axis corresponds wiht 100% (time from IN0 to IN0).                           \n"
    " The red graph visualises the length of the ACTIVE window in percent of the time between IN0 and IN0.                           \n"
    " The blue graph visualises the appearance of an edge in percent of the time between IN0 and IN0.                           \n"
    " In practice, the ACTIVE window should be open approx. 60% of IN0 to IN0. The edge should lie in the                           \n"
    " middle of the active window (30%).";
inline constexpr char kInfoTimeout[] =
    " ATTENTION! \n"
    " \n"
    " TIMEOUT \n"
    " NO SERIAL CONNECTION TO SENSOR";
inline constexpr char kInfoButtonHistory[] =
    " Opens the HISTORY window beside the panel: the live data of the last ten minutes      \n"
    " and every parameter transfer as a line (point at a line for what changed).      \n"
    " The wheel zooms, a drag looks back, END follows the newest data again.      \n"
    " The window also opens recordings and exports a picture of what it shows.      \n"
    " Shortcut Key: F5. ";
// clang-format on

} // namespace kivrel::test
