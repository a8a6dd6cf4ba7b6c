// Where a time view's line breaks, from the time stamps alone: pauses judged by the recent pace,
// paces that change, equal stamps, and clocks set back, in the order the points came.
#include "timegaps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

using kivrel::platform::findGaps;
using kivrel::platform::GapFinder;
using kivrel::platform::TimeGap;

namespace
{

using Gaps = std::vector<std::tuple<double, double, bool>>; // from, to, step

Gaps plain(const std::vector<TimeGap> &gaps)
{
    Gaps list;
    for (const TimeGap &g : gaps)
        list.emplace_back(g.from, g.to, g.step);
    return list;
}

// Times from `from` on, `count` intervals of `step` apart, after `before`.
std::vector<double> paced(std::vector<double> before, double from, double step, int count)
{
    for (int i = 0; i <= count; i++)
        before.push_back(from + i * step);
    return before;
}

// Just after `t`: the far end of the gap at a stretch's last point.
double after(double t)
{
    return std::nextafter(t, std::numeric_limits<double>::infinity());
}

} // namespace

TEST(GapTable, FindsTheGaps)
{
    const struct {
        const char *name;
        std::vector<double> times; // in the order the points came
        Gaps gaps;                 // in the order of their ends
    } cases[] = {
        {"no points", {}, {}},
        {"a single point", {5}, {}},
        {"a first interval has no pace to be judged by", {0, 100, 101, 102}, {}},
        {"three times the pace is still the pace", {0, 1, 2, 3, 6}, {}},
        {"more than three times the pace is a pause", {0, 1, 2, 3, 6.5}, {{3, 6.5, false}}},
        {"a slower pace: a pause at each step until three intervals after it keep that pace",
         {0, 1, 2, 3, 13, 23, 33, 43},
         {{13, 23, false}, {23, 33, false}}},
        {"a slower pace kept long enough was no pause at all",
         {0, 1, 2, 3, 13, 23, 33, 43, 53, 63},
         {}},
        {"the pace is the median of the recent intervals, not their mean",
         {0, 1, 2, 5, 6, 7, 10.5},
         {{7, 10.5, false}}},
        {"four quick intervals of eight leave the slower pace",
         paced(paced(paced({}, 0, 1, 9), 9.5, 0.5, 3), 13, 1, 0),
         {}},
        {"eight quick intervals are the pace",
         paced(paced(paced({}, 0, 1, 9), 9.5, 0.5, 7), 15, 1, 0),
         {{13, 15, false}}},
        {"equal stamps are neither a clock set back nor a pause", {0, 1, 1, 2, 3}, {}},
        {"after equal stamps alone any step is a pause", {0, 0, 0, 1}, {{0, 1, false}}},
        {"a clock set back cuts the line at both ends of both stretches",
         {10, 11, 12, 5, 6, 7},
         {{5, 5, true}, {10, 10, true}, {12, after(12), true}}},
        {"times not sorted: a point among the earlier ones",
         {0, 1, 2, 1.5, 2.5, 3.5},
         {{0, 0, true}, {1.5, 1.5, true}, {2, after(2), true}}},
        {"a pause after a clock set back, kept in the order of the ends",
         {10, 11, 12, 5, 6, 7, 20},
         {{5, 5, true}, {10, 10, true}, {12, after(12), true}, {7, 20, false}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(plain(findGaps(c.times)), c.gaps);
    }
}

// As the window uses it: the points come in pieces, the oldest are dropped, and a cleared view
// judges its new points by their own pace alone.
TEST(GapFinder, KeepsWhatFindGapsFindsAsPointsComeDropAndClear)
{
    const std::vector<double> times = {0, 1, 2, 3, 10, 11, 12, 13, 30, 31, 32};
    GapFinder finder;
    auto found = [&] { return plain({finder.gaps().begin(), finder.gaps().end()}); };
    for (const double t : times)
        finder.add(t);
    EXPECT_EQ(found(), plain(findGaps(times)));
    EXPECT_EQ(plain(findGaps(times)), (Gaps{{3, 10, false}, {13, 30, false}}));

    finder.dropBefore(10); // a gap that ends at the first point kept stays
    EXPECT_EQ(found(), (Gaps{{3, 10, false}, {13, 30, false}}));
    finder.dropBefore(11);
    EXPECT_EQ(found(), (Gaps{{13, 30, false}}));

    finder.clear();
    EXPECT_TRUE(finder.gaps().empty());
    for (const double t : {100.0, 200.0, 201.0, 202.0}) // 100 after 32 was no pace of theirs
        finder.add(t);
    EXPECT_TRUE(finder.gaps().empty());
}
