#include "rules.h"

#include "measure.h"
#include "norms.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kivrel
{

// Nearest-rank percentile of sorted values.
static int Percentile(const unsigned char *sorted, int count, int percent)
{
    return sorted[(count - 1) * percent / 100];
}

// NORM is read in whole counts: a spread is never taken as less than half of one.
static const double MinSpread = 0.5;

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
static double Bound(const Cluster &c, int side, double margin, double sure, double more)
{
    const double error =
        c.spread * std::sqrt(1 / (c.records * more) + margin * margin / (2 * c.deviations * more));
    return c.level + side * (margin * c.spread + sure * error);
}

// THRESHOLD in the middle of its room: from SuggestMargin spreads above the marks' minima (each
// mark must take NORM below it) to SuggestBackgroundMargin spreads below the background.
// HYSTERESIS in the middle of the room above it: from SuggestMargin spreads above the marks
// (NORM must not re-arm inside a mark) to as many below the background (which must re-arm it
// between marks). Each bound `sure` standard errors further in; polling `more` times as long
// would make the marks and the background surer, the jump buffer stays at 16. 0 when either
// room is empty.
static int FitPair(Suggestion &s, double sure, double more)
{
    const double margin = SuggestMargin, backgroundMargin = SuggestBackgroundMargin;
    const double low = Bound(s.minima, +1, margin, sure, 1);
    const double high = Bound(s.background, -1, backgroundMargin, sure, more);
    if (std::ceil(low) > std::floor(high)) return 0;
    s.threshold = std::clamp(static_cast<int>(std::lround((low + high) / 2)),
                             static_cast<int>(std::ceil(low)), static_cast<int>(std::floor(high)));
    const double bottom = std::max(s.threshold + 1.0, Bound(s.marks, +1, margin, sure, more));
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

static Suggestion PollLonger(Suggestion s, int wanted)
{
    if (s.records >= NormHistoryLength) return Refuse(s, TooClose);
    s.recordsWanted = std::min((wanted + 9) / 10 * 10, static_cast<int>(NormHistoryLength));
    char why[sizeof s.refusal];
    std::snprintf(why, sizeof why, "Poll with Go longer: %d records, %d wanted", s.records,
                  s.recordsWanted);
    return Refuse(s, why);
}

// The lowest NORM after each recorded edge: their mean and spread.
static int Minima(const unsigned char jump[16], Cluster &lows)
{
    int n = 0;
    double sum = 0, squares = 0;
    for (int i = 0; i < 16; i++) {
        if (jump[i] == 0) continue;
        sum += jump[i];
        n++;
    }
    lows = Cluster{n > 0 ? sum / n : 0, MinSpread, static_cast<double>(n), n - 1.0};
    for (int i = 0; i < 16; i++)
        if (jump[i] != 0) squares += (jump[i] - lows.level) * (jump[i] - lows.level);
    if (n > 1) lows.spread = std::max(std::sqrt(squares / (n - 1)), MinSpread);
    return n;
}

Suggestion SuggestSetting(int trshmod, int haveJump, const unsigned char jump[16],
                          const unsigned char *norms, int count)
{
    Suggestion s{};
    if (trshmod != 0) return Refuse(s, "Suggestions are for TRSH MODE FIX");
    if (!haveJump) return Refuse(s, "Press GetBuff first");
    if (count < SuggestMinRecords) return Refuse(s, "Poll with Go for a few seconds");
    if (Minima(jump, s.minima) == 0)
        return Refuse(s, "No edge in the jump buffer: set a THRESHOLD that counts the marks, then "
                         "GetBuff");
    const int highestMinimum = *std::max_element(jump, jump + 16);

    unsigned char sorted[NormHistoryLength];
    count = std::min(count, static_cast<int>(NormHistoryLength));
    std::copy(norms, norms + count, sorted);
    std::sort(sorted, sorted + count);
    s.records = count;
    // Marks cover a fraction of the time: the top tenth of what polling saw is background, and
    // so is what lies above a quarter of the way up from the marks' minima. Samples polling
    // caught on a mark's flank lie in between, fewer of them below.
    const int split = highestMinimum + (Percentile(sorted, count, 90) - highestMinimum + 3) / 4;
    const int nMarks = static_cast<int>(std::lower_bound(sorted, sorted + count, split) - sorted);
    const unsigned char *high = sorted + nMarks;
    const int nHigh = count - nMarks;
    if (s.minima.records < 2 || nHigh < 2) return Refuse(s, TooClose);
    if (nMarks < 4) return PollLonger(s, count * 4 / std::max(nMarks, 1));

    // The flank samples are spread thinly: as many per count as lie between three spreads
    // above the marks and three below the background, each taken from its side away from the
    // other. Among the marks they lie above the marks' own values, among the background below
    // its own; each level is the middle of what is left without them, at least half of all.
    Cluster &marks = s.marks, &background = s.background;
    marks = {static_cast<double>(sorted[nMarks / 2]), 0, static_cast<double>(nMarks), 0};
    background = {static_cast<double>(high[nHigh / 2]), 0, static_cast<double>(nHigh), 0};
    double flank = 0;
    for (int round = 0; round < 3; round++) {
        Spread(marks, sorted, nMarks, -1, 255, 0);
        Spread(background, high, nHigh, +1, 255, 0);
        const double gapBottom = std::max<double>(split, marks.level + 3 * marks.spread);
        const double gapTop = background.level - 3 * background.spread;
        const auto inGap = std::lower_bound(high, high + nHigh, std::ceil(gapTop)) -
                           std::lower_bound(high, high + nHigh, std::ceil(gapBottom));
        flank = gapTop - gapBottom >= 1 ? static_cast<double>(inGap) / (gapTop - gapBottom) : 0;
        marks.records = std::max(nMarks / 2.0, nMarks - flank * (split - marks.level));
        marks.level = sorted[static_cast<int>(marks.records) / 2];
        background.records = std::max(nHigh / 2.0, nHigh - flank * (background.level - split));
        background.level = high[nHigh - 1 - static_cast<int>(background.records) / 2];
    }
    // THRESHOLD must stay clear of the background's side facing the marks, where the flank
    // samples lie too. Its spread is taken from what lies within 2.5 spreads, starting from
    // the side away from the marks, less the flank samples' share, and widened by the 4.6 % a
    // normal spread loses when cut there.
    const double upper = background.spread;
    for (int round = 0; round < 4; round++) {
        Spread(background, high, nHigh, -1, 2.5 * background.spread, flank);
        background.spread *= 1.048;
    }
    background.spread = std::max(background.spread, upper);
    // Inside the marks the side away from the background is free of flank samples. Polling
    // catches few marks: NORM inside a mark is at its lowest, and it spreads at least as far
    // as the marks' minima do. Where the polled marks show less, whichever of the two rests on
    // more records counts for both, the minima never less than two standard errors below
    // their own.
    marks.level = std::max(marks.level, s.minima.level);
    Spread(marks, sorted, nMarks, -1, 255, 0);
    if (marks.spread < s.minima.spread) {
        if (marks.deviations < s.minima.deviations)
            marks.spread = s.minima.spread;
        else
            s.minima.spread =
                std::max(marks.spread, s.minima.spread * (1 - std::sqrt(2 / s.minima.deviations)));
    }

    // Sure there is no room when not even two standard errors the other way leave any; sure
    // there is when two standard errors this way do, and no spread rests on a handful of
    // records, which may show it far too small.
    if (!FitPair(s, -2, 1)) return Refuse(s, TooClose);
    const double fewest = std::min(marks.deviations, background.deviations);
    const double enough = SuggestMinDeviations;
    for (int wanted = count; wanted <= NormHistoryLength; wanted += 10) {
        const double more = static_cast<double>(wanted) / count;
        if (fewest * more < enough || !FitPair(s, 2, more)) continue;
        if (wanted > count) return PollLonger(s, wanted);
        s.ok = 1;
        return s;
    }
    // Only a full history tells.
    return PollLonger(s, NormHistoryLength);
}

// How many of a cluster's spreads `value` lies away from its level.
static double Spreads(const Cluster &c, int value)
{
    return std::fabs(value - c.level) / c.spread;
}

void DescribeSuggestion(const Suggestion &s, char *text, int size)
{
    const size_t n = static_cast<size_t>(size);
    if (!s.ok) {
        std::snprintf(text, n, "%s", s.refusal);
        return;
    }
    std::snprintf(text, n,
                  "THRESHOLD %d: %.1f spreads above the marks' minima, %.1f below the background; "
                  "HYSTERESIS %d: %.1f above the marks, %.1f below the background",
                  s.threshold, Spreads(s.minima, s.threshold), Spreads(s.background, s.threshold),
                  s.hysteresis, Spreads(s.marks, s.hysteresis),
                  Spreads(s.background, s.hysteresis));
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
