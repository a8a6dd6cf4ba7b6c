#include "rules.h"

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

    unsigned char sorted[1024];
    count = std::min(count, static_cast<int>(sizeof sorted));
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
    // It must rise above the hysteresis again before the next edge: halfway between the
    // threshold and the lower edge of the background's noise.
    const unsigned char *above = std::lower_bound(sorted, sorted + count, s.threshold);
    s.backgroundLow = Percentile(above, static_cast<int>(sorted + count - above), 20);
    if (s.backgroundLow - s.threshold < 2) {
        s.refusal = "Marks and background too close: check POWER and alignment";
        return s;
    }
    s.hysteresis = s.threshold + (s.backgroundLow - s.threshold) / 2;
    s.ok = 1;
    return s;
}

void JudgeWindow(unsigned in0Period, unsigned activeWindow, unsigned edgeTime, char *text, int size)
{
    const size_t n = static_cast<size_t>(size);
    if (in0Period == 0) {
        std::snprintf(text, n, "no IN0 period: check the trigger inputs");
        return;
    }
    const int window = static_cast<int>(100u * activeWindow / in0Period);
    const int edge = static_cast<int>(100u * edgeTime / in0Period);
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
    std::snprintf(text, n, "%s   %s", windowPart, edgePart);
}

} // namespace kivrel
