#include "rules.h"

#include "measure.h"
#include "norms.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kivrel
{

// NORM is read in whole counts: a spread is never taken as less than half of one.
static const double MinSpread = 0.5;
// Marks cover a fifth of the line or less: the top tenth of what polling saw is background.
static const int BackgroundPercentile = 90;
// Marks and background split a quarter of the way up from the highest minimum to that
// background: NORM inside a mark lies a little above its minimum, and the samples polling
// caught on a mark's flank spread over the wide gap above.
static const int SplitShare = 4;
// The flank samples' density is counted where neither cluster reaches: this many spreads
// above the marks and below the background.
static const double GapSpreads = 3;
// Levels, spreads and the flank density each depend on the others; after three rounds, more
// move one suggestion in 60, by a few counts.
static const int FlankRounds = 3;
// The background's side facing the marks is measured within this many spreads of its level:
// further down the flank samples outnumber its own tail.
static const double BackgroundReach = 2.5;
// A normal spread measured within 2.5 spreads of its level comes out 4.6 % narrow.
static const double ReachWidening = 1.048;
// The reach follows the spread it measures; after four rounds, more move one suggestion in 160,
// by a count.
static const int ReachRounds = 4;
// Every bound is moved this many standard errors of its estimate further in: one that far
// off on that side comes one time in 44.
static const double SureErrors = 2;
// More records are asked for in tens: finer would claim more than the estimates know.
static const int RecordsStep = 10;
// The jump buffer holds the lowest NORM of the last this many marks.
static const int JumpLength = 16;
// The middle of fewer polled marks may well be a flank sample.
static const int MinPolledMarks = 4;
// A normal spread is this many times the median absolute deviation.
static const double MadToSpread = 1.4826;

// Nearest-rank percentile of sorted values.
static int Percentile(const unsigned char *sorted, int count, int percent)
{
    return sorted[(count - 1) * percent / 100];
}

// The spread of c's sorted values on one side of its level (below: -1), from those no further
// than `reach` from it, less what `flank` samples per count caught on marks' flanks add there.
static void Spread(Cluster &c, const unsigned char *sorted, int count, int side, double reach,
                   double flank)
{
    double squares = -flank * reach * reach * reach / 3, deviations = -flank * reach;
    for (int i = 0; i < count; i++) {
        const double d = (sorted[i] - c.level) * side;
        if (d > 0 && d <= reach) {
            squares += d * d;
            deviations += 1;
        } else if (d == 0) {
            deviations += 0.5; // half of those at the level belong to this side
        }
    }
    c.deviations = std::max(deviations, 1.0);
    c.spread = std::max(std::sqrt(std::max(squares, 0.0) / c.deviations), MinSpread);
}

// Where a cluster's likely values end: `margin` spreads from its level towards the other
// cluster (side +1: upwards), and `sure` standard errors of that point further (negative:
// nearer). For n records and k squared deviations the point is known to within the spread
// times sqrt(1 / n + margin^2 / 2k); `more` times the records would make it surer.
static double Error(const Cluster &c, double margin, double more)
{
    return c.spread *
           std::sqrt(1 / (c.records * more) + margin * margin / (2 * c.deviations * more));
}

static double Bound(const Cluster &c, int side, double margin, double sure, double more)
{
    return c.level + side * (margin * c.spread + sure * Error(c, margin, more));
}

// NORM inside a mark must stay below HYSTERESIS once the mark has counted, or it re-arms and
// the mark counts twice. HYSTERESIS keeps SuggestMargin spreads of the minima (and `sure`
// standard errors) above the highest minimum, and above the marks' swing once polling caught
// MinPolledMarks: NORM inside a mark rises above its level about as far as it falls below it,
// so the highest NORM of each mark spreads like the minima, mirrored about the marks' level.
// Notes in s.above which of the two reaches higher.
static double HysteresisFloor(Suggestion &s, double sure, double more)
{
    const double margin = SuggestMargin;
    const Cluster &marks = s.marks;
    s.above = s.minima;
    s.above.level = s.highestMinimum;
    s.aboveWhat = Suggestion::AboveHighestMinimum;
    double floor = Bound(s.above, +1, margin, sure, 1);
    if (marks.records >= MinPolledMarks) {
        Cluster swing = s.minima;
        swing.level = 2 * marks.level - s.minima.level;
        // Twice the marks' level, known to within their spread over the root of their number.
        const double levelError = 2 * marks.spread / std::sqrt(marks.records * more);
        const double bound = swing.level + margin * swing.spread +
                             sure * std::hypot(levelError, Error(s.minima, margin, 1));
        if (bound > floor) {
            floor = bound;
            s.above = swing;
            s.aboveWhat = Suggestion::AboveSwing;
        }
    }
    return floor;
}

// What every mark must take NORM below: the marks' minima, or where some marks are faint, the
// highest of theirs, spread as the others' are (one or two faint minima tell no spread).
static Cluster BelowThreshold(const Suggestion &s)
{
    Cluster marks = s.minima;
    if (s.faint > 0) marks.level = s.highestMinimum;
    return marks;
}

// THRESHOLD in the middle of its room, from SuggestMargin spreads above the marks' minima (each
// mark must take NORM below it) to SuggestBackgroundMargin spreads below the background, and
// inside that room once each end is moved `sure` standard errors in.
// HYSTERESIS in the middle of the room above it: from its floor above the marks to SuggestMargin
// spreads below the background (which must re-arm it between marks), each `sure` standard
// errors further in. Polling `more` times as long would make the polled clusters surer, the
// jump buffer stays as it is. 0 when either room is empty.
static int FitPair(Suggestion &s, double sure, double more)
{
    const double margin = SuggestMargin, backgroundMargin = SuggestBackgroundMargin;
    const Cluster marks = BelowThreshold(s);
    const double low = Bound(marks, +1, margin, sure, 1);
    const double high = Bound(s.background, -1, backgroundMargin, sure, more);
    if (std::ceil(low) > std::floor(high)) return 0;
    // The middle as the estimates have it: how little is known of the background moves the
    // room's end, not THRESHOLD towards the minima.
    const double middle =
        (Bound(marks, +1, margin, 0, 1) + Bound(s.background, -1, backgroundMargin, 0, more)) / 2;
    s.threshold = std::clamp(static_cast<int>(std::lround(middle)),
                             static_cast<int>(std::ceil(low)), static_cast<int>(std::floor(high)));
    const double bottom = std::max(s.threshold + 1.0, HysteresisFloor(s, sure, more));
    const double top = Bound(s.background, -1, margin, sure, more);
    if (std::ceil(bottom) > std::floor(top)) return 0;
    s.hysteresis = static_cast<int>(std::lround((bottom + top) / 2));
    return 1;
}

static Suggestion Refuse(Suggestion s, const char *why)
{
    s.ok = s.threshold = s.hysteresis = 0;
    std::snprintf(s.refusal, sizeof s.refusal, "%s", why);
    return s;
}

static const char TooClose[] = "Marks and background too close: check POWER and alignment";

// No room: where the other marks alone would leave some, the faint ones are what is too close,
// and the print is to blame, not the sensor.
static Suggestion RefuseNoRoom(Suggestion s)
{
    if (!s.faintOnly) return Refuse(s, TooClose);
    char why[sizeof s.refusal];
    std::snprintf(why, sizeof why,
                  "%d of %d marks faint (%s %d against median %d): check the print", s.faint,
                  s.edges, s.faint == 1 ? "minimum" : "minima", s.highestMinimum, s.faintMedian);
    return Refuse(s, why);
}

int suggestIn = SUGGEST_IN_PANEL;

// What a refusal asks for, in the words of the program in hand.
struct RefusalWords {
    const char *pollLonger, *pollAtAll, *noEdge, *fewEdges;
};
static const RefusalWords refusalWords[] = {
    {"Poll with Go longer: %d records, %d wanted", "Poll with Go for a few seconds",
     "No edge in the jump buffer: set a THRESHOLD that counts the marks, then GetBuff",
     "Only %d edges in the jump buffer: let more marks pass, then GetBuff"},
    {"Poll longer (--seconds): %d records, %d wanted", "Poll for a few seconds (--seconds)",
     "No edge in the jump buffer: set a THRESHOLD that counts the marks (set threshold=N), then "
     "suggest again",
     "Only %d edges in the jump buffer: let more marks pass (--seconds)"}};

static const RefusalWords &Words(void)
{
    return refusalWords[suggestIn == SUGGEST_IN_COMMAND_LINE ? 1 : 0];
}

static Suggestion PollLonger(Suggestion s, int wanted)
{
    if (s.records >= NormHistoryLength) return RefuseNoRoom(s);
    s.recordsWanted = std::min((wanted + RecordsStep - 1) / RecordsStep * RecordsStep,
                               static_cast<int>(NormHistoryLength));
    char why[sizeof s.refusal];
    std::snprintf(why, sizeof why, Words().pollLonger, s.records, s.recordsWanted);
    return Refuse(s, why);
}

// The middle of n sorted values.
static double Median(const double *sorted, int n)
{
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

// The median of the recorded minima other than `except` (-1: none) and those leaveOut marks,
// and their spread as the median absolute deviation gives it, never below half a count. How
// many there are: 0 when none.
static int OtherMinima(const unsigned char jump[JumpLength], const bool *leaveOut, int except,
                       double &middle, double &spread)
{
    double values[JumpLength], deviations[JumpLength];
    int n = 0;
    for (int j = 0; j < JumpLength; j++)
        if (j != except && jump[j] != 0 && !(leaveOut && leaveOut[j])) values[n++] = jump[j];
    if (n == 0) return 0;
    std::sort(values, values + n);
    middle = Median(values, n);
    for (int j = 0; j < n; j++)
        deviations[j] = std::fabs(values[j] - middle);
    std::sort(deviations, deviations + n);
    spread = std::max(MadToSpread * Median(deviations, n), MinSpread);
    return n;
}

// Notes in faint[] each minimum that lies more than SuggestFaintSpreads spreads above the median
// of the other minima, those not faint, the spread from their median absolute deviation: one
// pale mark among sixteen moves neither. Taken from the highest down, so that a second faint
// mark does not hide the first. Returns how many; none where more than SuggestMaxFaint are:
// that is no split into marks and faint marks.
static int FaintMinima(const unsigned char jump[JumpLength], bool faint[JumpLength])
{
    std::fill(faint, faint + JumpLength, false);
    int count = 0;
    for (;;) {
        int highest = -1;
        for (int i = 0; i < JumpLength; i++)
            if (jump[i] != 0 && !faint[i] && (highest < 0 || jump[i] > jump[highest])) highest = i;
        double middle = 0, spread = 0;
        if (highest < 0 || OtherMinima(jump, faint, highest, middle, spread) == 0 ||
            jump[highest] <= middle + static_cast<double>(SuggestFaintSpreads) * spread)
            break;
        faint[highest] = true;
        if (++count > SuggestMaxFaint) {
            std::fill(faint, faint + JumpLength, false);
            return 0;
        }
    }
    return count;
}

// The lowest NORM after each recorded edge but the faint ones: their mean and spread.
static int Minima(const unsigned char jump[JumpLength], const bool faint[JumpLength], Cluster &lows)
{
    int n = 0;
    double sum = 0, squares = 0;
    for (int i = 0; i < JumpLength; i++) {
        if (jump[i] == 0 || faint[i]) continue;
        sum += jump[i];
        n++;
    }
    lows = Cluster{n > 0 ? sum / n : 0, MinSpread, static_cast<double>(n), n - 1.0};
    for (int i = 0; i < JumpLength; i++)
        if (jump[i] != 0 && !faint[i]) squares += (jump[i] - lows.level) * (jump[i] - lows.level);
    if (n > 1) lows.spread = std::max(std::sqrt(squares / (n - 1)), MinSpread);
    return n;
}

// The polled values, sorted and split at `split` into marks (the first nMarks) and background
// (the nHigh from `high` on).
struct Polled {
    const unsigned char *sorted, *high;
    int nMarks, nHigh, split;
};

// Levels and spreads of the polled clusters and the density per count of the flank samples,
// which lie between three spreads above the marks and three below the background, each
// spread taken from its side away from the other. Among the marks they lie above the marks'
// own values, among the background below its own; each level is the middle of what is left
// without them, at least half of all. Polling that caught too few marks to tell their spread
// better than the jump buffer does leaves the minima to stand for them.
static double FlankDensity(Suggestion &s, const Polled &p)
{
    Cluster &marks = s.marks, &background = s.background;
    const unsigned char *high = p.high;
    const int nHigh = p.nHigh;
    const bool polledMarks = p.nMarks >= JumpLength;
    marks = polledMarks
                ? Cluster{static_cast<double>(p.sorted[p.nMarks / 2]), 0, double(p.nMarks), 0}
                : s.minima;
    background = {static_cast<double>(high[nHigh / 2]), 0, static_cast<double>(nHigh), 0};
    double flank = 0;
    for (int round = 0; round < FlankRounds; round++) {
        if (polledMarks) Spread(marks, p.sorted, p.nMarks, -1, 255, 0);
        Spread(background, high, nHigh, +1, 255, 0);
        const double gapBottom = std::max<double>(p.split, marks.level + GapSpreads * marks.spread);
        const double gapTop = background.level - GapSpreads * background.spread;
        const auto inGap = std::lower_bound(high, high + nHigh, std::ceil(gapTop)) -
                           std::lower_bound(high, high + nHigh, std::ceil(gapBottom));
        flank = gapTop - gapBottom >= 1 ? static_cast<double>(inGap) / (gapTop - gapBottom) : 0;
        if (polledMarks) {
            marks.records = std::max(p.nMarks / 2.0, p.nMarks - flank * (p.split - marks.level));
            marks.level = p.sorted[static_cast<int>(marks.records) / 2];
        }
        background.records = std::max(nHigh / 2.0, nHigh - flank * (background.level - p.split));
        background.level = high[nHigh - 1 - static_cast<int>(background.records) / 2];
    }
    return flank;
}

// THRESHOLD must stay clear of the background's side facing the marks, where the flank
// samples lie too. Its spread is taken from what lies within BackgroundReach spreads, starting
// from the side away from the marks, less the flank samples' share, and widened by what a
// normal spread loses when cut there.
static void BackgroundTowardsMarks(Cluster &background, const Polled &p, double flank)
{
    const double upper = background.spread;
    for (int round = 0; round < ReachRounds; round++) {
        Spread(background, p.high, p.nHigh, -1, BackgroundReach * background.spread, flank);
        background.spread *= ReachWidening;
    }
    background.spread = std::max(background.spread, upper);
}

// Inside the marks the side away from the background is free of flank samples. NORM inside a
// mark is at its lowest, and it spreads at least as far as the marks' minima do. Where the
// polled marks show less on more records, that bounds the minima's spread too, never less
// than two standard errors below their own (unless `narrow` is 0). Fewer than JumpLength polled
// marks have had no flank samples taken out: their level is the middle of all of them.
static void MarksSide(Suggestion &s, const Polled &p, int narrow)
{
    Cluster &marks = s.marks;
    if (p.nMarks < JumpLength)
        marks = {p.nMarks > 0 ? static_cast<double>(p.sorted[p.nMarks / 2]) : 0, 0,
                 static_cast<double>(p.nMarks), 0};
    if (p.nMarks == 0) return;
    marks.level = std::max(marks.level, s.minima.level);
    Spread(marks, p.sorted, p.nMarks, -1, 255, 0);
    if (marks.deviations < s.minima.deviations)
        marks.spread = std::max(marks.spread, s.minima.spread);
    else if (narrow && marks.spread < s.minima.spread)
        s.minima.spread = std::max(
            marks.spread, s.minima.spread * (1 - SureErrors / std::sqrt(2 * s.minima.deviations)));
}

// The rule: a pair, or why there is none. `narrow` 0 leaves the minima's spread as the jump
// buffer shows it, whatever the polled marks show.
static Suggestion Rule(int trshmod, int haveJump, const unsigned char jump[16],
                       const unsigned char *norms, int count, int narrow)
{
    Suggestion s{};
    if (trshmod != 0) return Refuse(s, "Suggestions are for TRSH MODE FIX");
    if (!haveJump) return Refuse(s, "Press GetBuff first");
    if (count < SuggestMinRecords) return Refuse(s, Words().pollAtAll);
    s.edges = static_cast<int>(JumpLength - std::count(jump, jump + JumpLength, 0));
    if (s.edges == 0) return Refuse(s, Words().noEdge);
    bool faint[JumpLength];
    s.faint = FaintMinima(jump, faint);
    Minima(jump, faint, s.minima);
    // The minima's spread, like any other, must not rest on a handful of them.
    if (s.minima.deviations < static_cast<double>(SuggestMinDeviations)) {
        char why[sizeof s.refusal];
        std::snprintf(why, sizeof why, Words().fewEdges, s.edges);
        return Refuse(s, why);
    }
    const int highestMinimum = *std::max_element(jump, jump + JumpLength);
    int othersHighest = 0;
    for (int i = 0; i < JumpLength; i++)
        if (!faint[i]) othersHighest = std::max<int>(othersHighest, jump[i]);
    if (s.faint > 0) {
        double middle = 0, spread = 0;
        OtherMinima(jump, faint, -1, middle, spread);
        s.faintMedian = static_cast<int>(std::lround(middle));
    }
    s.highestMinimum = highestMinimum;

    unsigned char sorted[NormHistoryLength];
    count = std::min(count, static_cast<int>(NormHistoryLength));
    std::copy(norms, norms + count, sorted);
    std::sort(sorted, sorted + count);
    s.records = count;
    Polled p;
    p.sorted = sorted;
    p.split = highestMinimum +
              (Percentile(sorted, count, BackgroundPercentile) - highestMinimum + SplitShare - 1) /
                  SplitShare;
    p.high = std::lower_bound(sorted, sorted + count, p.split);
    p.nMarks = static_cast<int>(p.high - sorted);
    p.nHigh = count - p.nMarks;
    if (p.nHigh < 2) return RefuseNoRoom(s);

    const double flank = FlankDensity(s, p);
    BackgroundTowardsMarks(s.background, p, flank);
    MarksSide(s, p, narrow);
    if (s.faint > 0) {
        // The other marks alone: THRESHOLD above their minima, HYSTERESIS above the highest.
        Suggestion others = s;
        others.faint = 0;
        others.highestMinimum = othersHighest;
        s.faintOnly = FitPair(others, -SureErrors, 1);
    }

    // Sure there is no room when not even two standard errors the other way leave any; sure
    // there is when two standard errors this way do, and no spread rests on a handful of
    // records, which may show it far too small.
    if (!FitPair(s, -SureErrors, 1)) return RefuseNoRoom(s);
    for (int wanted = count; wanted <= NormHistoryLength; wanted += RecordsStep) {
        const double more = static_cast<double>(wanted) / count;
        const double deviations = s.background.deviations * more;
        if (deviations < static_cast<double>(SuggestMinBackgroundDeviations) ||
            !FitPair(s, SureErrors, more))
            continue;
        if (wanted > count) return PollLonger(s, wanted);
        s.ok = 1;
        return s;
    }
    // Only a full history tells.
    return PollLonger(s, NormHistoryLength);
}

int SafePair(int threshold, int hysteresis, int highestMinimum, const Cluster &background)
{
    return threshold > highestMinimum && hysteresis > threshold &&
           hysteresis < background.level - static_cast<double>(SuggestMargin) * background.spread;
}

static int Safe(const Suggestion &s)
{
    return SafePair(s.threshold, s.hysteresis, s.highestMinimum, s.background);
}

// Whatever the rule's rounds made of the estimates, no pair leaves here unchecked: one that fails
// is tried once more without the polled marks narrowing the minima's spread; where that gives no
// safe pair either, it is refused.
Suggestion SuggestSetting(int trshmod, int haveJump, const unsigned char jump[16],
                          const unsigned char *norms, int count)
{
    const Suggestion s = Rule(trshmod, haveJump, jump, norms, count, 1);
    if (!s.ok || Safe(s)) return s;
    Suggestion again = Rule(trshmod, haveJump, jump, norms, count, 0);
    if (again.ok && Safe(again)) return again;
    again.recordsWanted = 0;
    char why[sizeof s.refusal];
    std::snprintf(why, sizeof why,
                  "No safe pair: the jump buffer's highest minimum (%d) is too close to the "
                  "background",
                  s.highestMinimum);
    return Refuse(again, why);
}

// How many of a cluster's spreads `value` lies away from its level.
static double Spreads(const Cluster &c, int value)
{
    return std::fabs(value - c.level) / c.spread;
}

void DescribeSuggestion(const Suggestion &s, char *text, int size)
{
    static const char *const aboveWhat[] = {"' swing", "' highest minimum"};
    const size_t n = static_cast<size_t>(size);
    if (!s.ok) {
        std::snprintf(text, n, "%s", s.refusal);
        return;
    }
    char below[64] = "the marks' minima";
    if (s.faint > 0)
        std::snprintf(below, sizeof below, "the highest faint minimum (%d of %d marks faint)",
                      s.faint, s.edges);
    std::snprintf(text, n,
                  "THRESHOLD %d: %.1f spreads above %s, %.1f below the background; "
                  "HYSTERESIS %d: %.1f above the marks%s, %.1f below the background",
                  s.threshold, Spreads(BelowThreshold(s), s.threshold), below,
                  Spreads(s.background, s.threshold), s.hysteresis, Spreads(s.above, s.hysteresis),
                  aboveWhat[s.aboveWhat], Spreads(s.background, s.hysteresis));
}

void JudgeWindow(unsigned in0Period, unsigned activeWindow, unsigned edgeTime, char *text, int size)
{
    const size_t n = static_cast<size_t>(size);
    if (in0Period == 0) {
        std::snprintf(text, n, "no IN0 period: check the trigger inputs");
        return;
    }
    // As the WIN and EDGE displays show them.
    const int window = static_cast<int>(PercentOfIn0(activeWindow, in0Period));
    const int edge = static_cast<int>(PercentOfIn0(edgeTime, in0Period));
    char windowPart[48], edgePart[48];
    const int windowOff = window - WindowAim;
    if (std::abs(windowOff) <= WindowTolerance)
        std::snprintf(windowPart, sizeof windowPart, "window %d %% \u2713", window);
    else
        std::snprintf(windowPart, sizeof windowPart, "window %d %%: %s by %d %%", window,
                      windowOff < 0 ? "short" : "long", std::abs(windowOff));
    // The edge belongs in the middle of the window, wherever the window ends.
    const int edgeOff = edge - window / 2;
    if (std::abs(edgeOff) <= EdgeTolerance)
        std::snprintf(edgePart, sizeof edgePart, "edge %d %% \u2713", edge);
    else
        std::snprintf(edgePart, sizeof edgePart, "edge %d %%: %s by %d %%", edge,
                      edgeOff < 0 ? "early" : "late", std::abs(edgeOff));
    std::snprintf(text, n, "%s  %s", windowPart, edgePart);
}

} // namespace kivrel
