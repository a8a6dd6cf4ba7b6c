// src/assist: the set-up assistant's arithmetic, advisory only; uses core, util, wire, history.
// The arithmetic the help texts leave to the operator: a threshold and hysteresis from the jump
// buffer and the polled NORM (FIX mode), and a verdict on the ADJ EXT window.
#ifndef KIVREL_ASSIST_RULES_H
#define KIVREL_ASSIST_RULES_H

namespace kivrel
{

struct Suggestion {
    int ok; // 1: threshold and hysteresis hold the suggestion
    int threshold, hysteresis;
    int markLevel;       // highest of the jump-buffer minima
    int background;      // 90th percentile of the polled NORM
    int markTop;         // highest NORM expected inside a mark, after its edge
    int backgroundFoot;  // lowest NORM expected on the background
    const char *refusal; // why there is none, when ok is 0
};

enum {
    SuggestMinRecords = 20, // polled NORM values needed for a background level
    SuggestMinGap = 8       // counts between mark level and background, at least
};

// trshmod: the threshold mode on the panel; haveJump: a jump buffer was read on this
// connection; jump: its 16 minima (0 where no edge was recorded yet); norms, count: NORM values
// polled since the last parameter transfer (the first NormHistoryLength of them are looked at).
Suggestion SuggestSetting(int trshmod, int haveJump, const unsigned char jump[16],
                          const unsigned char *norms, int count);

// The line that goes with a suggestion: how it came about, or why there is none. Writes at
// most size bytes with the NUL.
void DescribeSuggestion(const Suggestion &s, char *text, int size);

// "window 58 % ✓  edge 41 %: late by 12 %", against a window of about 60 % of the IN0 period
// with the edge in its middle. Writes at most size bytes with the NUL.
enum { WindowAim = 60, WindowTolerance = 5, EdgeTolerance = 5 };
void JudgeWindow(unsigned in0Period, unsigned activeWindow, unsigned edgeTime, char *text,
                 int size);

} // namespace kivrel

#endif
