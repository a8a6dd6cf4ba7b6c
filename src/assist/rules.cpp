#include "rules.h"

#include "measure.h"
#include "norms.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kivrel
{

// Nearest-rank percentile of sorted values.
static int Percentile(const unsigned char *sorted, int count, int percent)
{
    return sorted[(count - 1) * percent / 100];
}

Suggestion SuggestSetting(int trshmod, int haveJump, const unsigned char jump[16],
                          const unsigned char *norms, int count)
{
    Suggestion s{};
    if (trshmod != 0) {
        s.refusal = "Suggestions are for TRSH MODE FIX";
        return s;
    }
    if (!haveJump) {
        s.refusal = "Press GetBuff first";
        return s;
    }
    if (count < SuggestMinRecords) {
        s.refusal = "Poll with Go for a few seconds";
        return s;
    }
    s.markLevel = *std::max_element(jump, jump + 16);
    if (s.markLevel == 0) {
        s.refusal = "No edge in the jump buffer: set a THRESHOLD that counts the marks, then "
                    "GetBuff";
        return s;
    }

    unsigned char sorted[NormHistoryLength];
    count = std::min(count, static_cast<int>(NormHistoryLength));
    std::copy(norms, norms + count, sorted);
    std::sort(sorted, sorted + count);
    // Marks cover a fraction of the time: the top tenth of what polling saw is background.
    s.background = Percentile(sorted, count, 90);
    if (s.background - s.markLevel < SuggestMinGap) {
        s.refusal = "Marks and background too close: check POWER and alignment";
        return s;
    }
    // NORM must drop below the threshold at every mark and stay above it on the background:
    // equal room both ways.
    s.threshold = s.markLevel + (s.background - s.markLevel) / 2;

    // Polling samples a few records a second; the sensor looks a thousand times, so the
    // extremes it meets lie beyond the ones polled. Each cluster's spread is taken from its
    // outer side, away from the samples polling caught on a mark's flank.
    const int nLow =
        static_cast<int>(std::lower_bound(sorted, sorted + count, s.threshold) - sorted);
    const unsigned char *high = sorted + nLow;
    const int nHigh = count - nLow;
    const int middle = Percentile(high, nHigh, 50);
    // 2.4 times the distance from median to 90th percentile: some three standard deviations.
    s.backgroundFoot = middle - (Percentile(high, nHigh, 90) - middle) * 12 / 5;
    // A mark's minimum lies as far below its middle as its top lies above.
    s.markTop = s.markLevel;
    if (nLow > 0) {
        unsigned char minima[16];
        int n = 0;
        for (int i = 0; i < 16; i++)
            if (jump[i] != 0) minima[n++] = jump[i];
        std::sort(minima, minima + n);
        const int markMiddle = Percentile(sorted, nLow, 50);
        s.markTop = std::max(s.markTop, 2 * markMiddle - Percentile(minima, n, 50));
    }
    // After an edge NORM must stay below the hysteresis until the mark has passed, and the
    // background must rise above it: halfway between the two.
    const int base = std::max(s.threshold, s.markTop);
    if (s.backgroundFoot - base < 2) {
        s.refusal = "Marks and background too close: check POWER and alignment";
        return s;
    }
    s.hysteresis = base + (s.backgroundFoot - base) / 2;
    s.ok = 1;
    return s;
}

void DescribeSuggestion(const Suggestion &s, char *text, int size)
{
    const size_t n = static_cast<size_t>(size);
    if (!s.ok) {
        std::snprintf(text, n, "%s", s.refusal);
        return;
    }
    std::snprintf(text, n,
                  "THRESHOLD %d: %d above the highest minimum, %d below background; "
                  "HYSTERESIS %d",
                  s.threshold, s.threshold - s.markLevel, s.background - s.threshold, s.hysteresis);
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
