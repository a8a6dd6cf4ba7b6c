#include "setreview.h"

#include "controls.h"
#include "gui.h"
#include "journal.h"
#include "journalset.h"
#include "livering.h"
#include "marks.h"
#include "paranames.h"
#include "text.h"

#include "rs232.h"
#include "userint.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

void LoadSetForReview(const unsigned char set[AnzPara], const char *what)
{
    std::memcpy(pp, set, AnzPara);
    CopyPPtoVars();
    SetPanelValues();
    InitPanelValues();
    MarkUnsentEdits();
    char text[160];
    std::snprintf(text, sizeof text, "Loaded the set of %s", what);
    SetCtrlVal(panel, PANEL_STATUS, text);
}

// What the status line says while RAM is known to differ from EEPROM, and the set RAM was
// sent; empty while nothing is said.
static char saidText[320];
static unsigned char ramSet[AnzPara];

// "threshold, hysteresis": the parameters in which a and b differ; 0 when none does.
static int DifferingNames(const unsigned char *a, const unsigned char *b, char *names, int size)
{
    int n = 0;
    names[0] = '\0';
    for (int i = 0; i < AnzPara; i++)
        if (a[i] != b[i]) Append(names, size, "%s%s", n++ ? ", " : "", paraNames[i].name);
    return n;
}

// The status line still shows what was said, not a later text.
static int StillSaid(void)
{
    char now[sizeof saidText] = "";
    if (!saidText[0]) return 0;
    GetCtrlVal(panel, PANEL_STATUS, now);
    return std::strcmp(now, saidText) == 0;
}

static void Say(const char *names)
{
    std::snprintf(saidText, sizeof saidText,
                  "RAM differs from EEPROM in %s: Send to EE keeps them over a power cut", names);
    SetCtrlVal(panel, PANEL_STATUS, saidText);
}

static void Unsay(void)
{
    if (StillSaid()) SetCtrlVal(panel, PANEL_STATUS, "");
    saidText[0] = '\0';
}

void CompareRamWithEeprom(int direction, int where)
{
    char names[200];
    if (where == RAM && direction == TRANSFER_WRITE) {
        // The journal names this sensor by its device, as it wrote its rows.
        ComName name{};
        JournalRow eeprom{};
        GetComName(com, &name);
        if (!JournalSetAt(name.device, EEPROM, ClockNow(), JournalLookBackDays, &eeprom)) {
            Unsay(); // nothing known to compare with
            return;
        }
        std::memcpy(ramSet, pp, AnzPara);
        if (DifferingNames(ramSet, eeprom.values, names, sizeof names))
            Say(names);
        else
            Unsay();
    } else if (where == EEPROM && saidText[0]) {
        // EEPROM read or written: still different from what RAM was sent, or equal now.
        if (!DifferingNames(ramSet, pp, names, sizeof names))
            Unsay();
        else if (StillSaid())
            Say(names);
    }
}

void ForgetRamAgainstEeprom(void)
{
    saidText[0] = '\0';
}

} // namespace kivrel
