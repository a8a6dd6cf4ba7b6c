// src/assist: the set-up assistant's arithmetic, advisory only; uses core, util, wire, history.
// The arithmetic the help texts leave to the operator: a threshold and hysteresis from the jump
// buffer and the polled NORM (FIX mode), and a verdict on the ADJ EXT window.
#ifndef KIVREL_ASSIST_RULES_H
#define KIVREL_ASSIST_RULES_H

namespace kivrel
{

// What the records show of one cluster of NORM values: its level and spread, and how many
// records each rests on (for the spread: those on the side it is taken from).
struct Cluster {
    double level, spread;
    double records, deviations;
};

struct Suggestion {
    int ok; // 1: threshold and hysteresis hold the suggestion
    int threshold, hysteresis;
    // The lowest NORM of each mark (the jump buffer), NORM inside the marks and on the
    // background (polled), as far as the records show them; marks.records is 0 when polling
    // caught no mark.
    Cluster minima, marks, background;
    int highestMinimum; // of the jump buffer
    // What HYSTERESIS keeps its margin above, whichever reaches higher: the marks' swing (the
    // highest NORM of each mark, their minima mirrored about the marks' level) or the highest
    // minimum.
    Cluster above;
    enum { AboveSwing, AboveHighestMinimum } aboveWhat;
    // Faint marks: minima far above the others (see SuggestFaintSpreads), at most
    // SuggestMaxFaint of them. Where there are any, minima holds the others, and THRESHOLD rests
    // on highestMinimum, the highest faint one. edges: the minima recorded, faint ones included;
    // faintMedian: the middle of the others; faintOnly: the others alone would leave room.
    int faint, edges, faintMedian, faintOnly;
    int records;       // polled records looked at
    int recordsWanted; // when polling longer would tell: as many as would
    char refusal[160]; // why there is none, when ok is 0
};

enum {
    SuggestMinRecords = 20, // polled NORM values needed before anything is worked out
    // Deviations a spread rests on, at least: fewer may show it far too small.
    SuggestMinDeviations = 8,
    // The background's spread places THRESHOLD: it rests on twice as many, which makes it known
    // to within a fifth.
    SuggestMinBackgroundDeviations = 16,
    // Spreads kept, beyond two standard errors of each estimate: THRESHOLD above the marks'
    // minima, HYSTERESIS above the marks' swing and highest minimum, both below the
    // background. THRESHOLD keeps more below the background, which the sensor holds against
    // it a thousand times a second.
    SuggestMargin = 3,
    SuggestBackgroundMargin = 5,
    // A mark's minimum is faint when it lies more than this many spreads above the median of the
    // other minima, each spread 1.4826 times their median absolute deviation (never below half a
    // count); more than SuggestMaxFaint such minima are no split.
    SuggestFaintSpreads = 6,
    SuggestMaxFaint = 3
};

// trshmod: the threshold mode on the panel; haveJump: a jump buffer was read on this
// connection; jump: its 16 minima (0 where no edge was recorded yet); norms, count: NORM values
// polled since the last parameter transfer (the first NormHistoryLength of them are looked at).
Suggestion SuggestSetting(int trshmod, int haveJump, const unsigned char jump[16],
                          const unsigned char *norms, int count);

// The last check every pair passes before it is shown, applied or printed: THRESHOLD above the
// highest of the jump buffer's minima, HYSTERESIS above THRESHOLD and below the background's level
// less SuggestMargin of its spreads. 1 when the pair is safe.
int SafePair(int threshold, int hysteresis, int highestMinimum, const Cluster &background);

// The program whose refusals these are: they name what it offers, the panel's Go and GetBuff
// (SUGGEST_IN_PANEL, the start value) or the command line's --seconds.
enum { SUGGEST_IN_PANEL = 0, SUGGEST_IN_COMMAND_LINE = 1 };
extern int suggestIn;

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
