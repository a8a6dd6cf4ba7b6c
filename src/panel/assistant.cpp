#include "assistant.h"

#include "controls.h"
#include "gui.h"
#include "marks.h"
#include "norms.h"
#include "rules.h"
#include "state.h"

#include "userint.h"

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

void ShowSuggestion(void)
{
    unsigned char mode = 0;
    char text[256];

    // The mode as the panel shows it, as every mode rule takes it.
    GetCtrlVal(panel, PANEL_TRSHMOD, &mode);
    const Suggestion s = SuggestSetting(mode, jumpBufferRead, jumpbuf, normHistory, normCount);
    DescribeSuggestion(s, text, sizeof text);
    if (s.ok) {
        SetCtrlVal(panel, PANEL_THRESHOLD, s.threshold);
        SetCtrlVal(panel, PANEL_HYSTERESIS, s.hysteresis);
        MarkUnsentEdits();
    }
    SetCtrlVal(panel, PANEL_SUGGESTION, text);
}

void ShowWindowVerdict(void)
{
    char text[128] = "";
    unsigned char mode = 0;

    // Only ADJ EXT measures the window and the edge; in any other trigger mode the record's
    // zeros are no fault of the trigger inputs.
    GetCtrlVal(panel, PANEL_TRIGGER, &mode);
    if (mode != TRIGGER_ADJ_EXT) {
        SetCtrlVal(panel, PANEL_VERDICT, text);
        return;
    }
    JudgeWindow(Word(dataAdjin0L, dataAdjin0H), Word(dataAdjin1L, dataAdjin1H),
                Word(dataAdjedgeL, dataAdjedgeH), text, sizeof text);
    SetCtrlVal(panel, PANEL_VERDICT, text);
}

} // namespace kivrel
