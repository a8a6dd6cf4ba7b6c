#include "assistant.h"

#include "controls.h"
#include "gui.h"
#include "marks.h"
#include "recording.h"
#include "rules.h"
#include "state.h"

#include "userint.h"

#include <cmath>
#include <cstdio>

namespace kivrel
{

static int jumpBufferRead; // 1 once a jump buffer was read on this connection

void NoteJumpBuffer(void)
{
    jumpBufferRead = 1;
}

void ForgetJumpBuffer(void)
{
    jumpBufferRead = 0;
}

// How many of a cluster's spreads `value` lies away from its level.
static double Spreads(const Cluster &c, int value)
{
    return std::fabs(value - c.level) / c.spread;
}

void ShowSuggestion(void)
{
    unsigned char mode = 0;
    char text[192];

    // The mode as the panel shows it, as every mode rule takes it.
    GetCtrlVal(panel, PANEL_TRSHMOD, &mode);
    const Suggestion s = SuggestSetting(mode, jumpBufferRead, jumpbuf, normHistory, normCount);
    if (!s.ok) {
        SetCtrlVal(panel, PANEL_SUGGESTION, s.refusal);
        return;
    }
    SetCtrlVal(panel, PANEL_THRESHOLD, s.threshold);
    SetCtrlVal(panel, PANEL_HYSTERESIS, s.hysteresis);
    MarkUnsentEdits();
    std::snprintf(text, sizeof text,
                  "THRESHOLD %d: %.1f spreads above the marks' minima, %.1f below the background; "
                  "HYSTERESIS %d: %.1f above the marks, %.1f below the background",
                  s.threshold, Spreads(s.minima, s.threshold), Spreads(s.background, s.threshold),
                  s.hysteresis, Spreads(s.marks, s.hysteresis),
                  Spreads(s.background, s.hysteresis));
    SetCtrlVal(panel, PANEL_SUGGESTION, text);
}

void ShowWindowVerdict(void)
{
    char text[128];
    JudgeWindow(Word(dataAdjin0L, dataAdjin0H), Word(dataAdjin1L, dataAdjin1H),
                Word(dataAdjedgeL, dataAdjedgeH), text, sizeof text);
    SetCtrlVal(panel, PANEL_VERDICT, text);
}

} // namespace kivrel
