// src/panel: the operator panel; uses core, util, wire, history, assist.
// The main panel and the identifiers of the controls the program addresses. The panel file
// carries the same numbers; changing one here means changing it there.
#ifndef KIVREL_PANEL_CONTROLS_H
#define KIVREL_PANEL_CONTROLS_H

namespace kivrel
{

enum {
    PANEL = 1, // panel resource id in the panel file

    PANEL_COMPORT = 2,
    PANEL_TRSHMOD = 7,
    PANEL_DELTATRSH = 8,
    PANEL_THRESHOLD = 9,
    PANEL_HYSTERESIS = 10,
    PANEL_TRIGGER = 11,
    PANEL_HOLD = 12,
    PANEL_PMOD = 13,
    PANEL_POWER = 14,
    PANEL_RAM = 16,
    PANEL_EEPROM = 17,
    PANEL_FILE = 18,
    PANEL_PARAVISIBLE = 21,
    PANEL_BACKLIM = 23,
    PANEL_REGCNT = 24,
    PANEL_AVERAGE = 25,
    PANEL_OUTMODE = 26,
    PANEL_DEADTIMEMODE = 27,
    PANEL_DEADTIME = 28,
    PANEL_SOURCE = 29,
    PANEL_DISPEDGE = 30,
    PANEL_DISPDAT0 = 31,
    PANEL_DISPWIN = 32,
    PANEL_DISPDAT1 = 33,
    PANEL_DISPNORM = 34,
    PANEL_DISPHYST = 35,
    PANEL_DISPTRSH = 36,
    PANEL_LOGO = 38,
    PANEL_STATUS = 39,
    PANEL_GRAPHDATA2 = 40,
    PANEL_GRAPHDATA1 = 41,
    PANEL_LOGOFRAME = 42,
    PANEL_GRAPHRAW1 = 43,

    // Beyond the classic panel: live recording and the set-up assistant.
    PANEL_REC = 44,        // toggle, int 0/1: a recording runs
    PANEL_SUGGESTION = 45, // text: what SUGGEST worked out, or why not
    PANEL_VERDICT = 46     // text: the adjustment view's verdict on window and edge
};

// The trigger mode whose records carry the ACTIVE window and the edge time.
enum { TRIGGER_ADJ_EXT = 3 };

} // namespace kivrel

#endif
