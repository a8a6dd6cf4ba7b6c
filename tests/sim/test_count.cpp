// Mark depth and the count of marks and edges since the last parameter write, which tells
// whether a suggested threshold and hysteresis give exactly one edge per mark.
#include "model.h"
#include "options.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kivrel::sim;

namespace
{

// FNV-1a over every record of ms scans.
std::uint64_t fingerprint(Model &m, int ms)
{
    std::uint64_t h = 1469598103934665603ull;
    for (int i = 0; i < ms; ++i) {
        m.run(1);
        for (auto b : m.record())
            h = (h ^ b) * 1099511628211ull;
    }
    return h;
}

ParamBytes withPair(int threshold, int hysteresis, int average = 1)
{
    ParamBytes p = factoryDefaults();
    p[Threshold] = static_cast<std::uint8_t>(threshold);
    p[Hysteresis] = static_cast<std::uint8_t>(hysteresis);
    p[Average] = static_cast<std::uint8_t>(average);
    return p;
}

} // namespace

TEST(CountDepth, FullDepthKeepsTheRecordsOfOld)
{
    // Taken before the depth could be set; moves only when the model is meant to change.
    const char *argv[] = {"kivrel-sim", "--depth", "100"};
    Options o;
    std::string error;
    ASSERT_EQ(parseOptions(3, argv, o, error), ParseResult::Run) << error;
    Model parsed(o.target);
    EXPECT_EQ(fingerprint(parsed, 5000), 0x752314baa8665023ull);
    EXPECT_EQ(parsed.edgeCount(), 25u);

    TargetConfig t{.rateHz = 7, .markFraction = 0.35, .noise = 6, .seed = 42};
    ParamBytes p = withPair(60, 5, 8);
    p[Power] = 23;
    p[Trshmod] = Dyn2;
    p[Deltatrsh] = 15;
    Model other(t, p);
    EXPECT_EQ(fingerprint(other, 5000), 0xd991cac6ab29dcecull);
}

// Every third mark faint: its NORM dips clearly below the paper but stays above the factory
// threshold, so that mark, and only that one, gets no edge.
TEST(CountDepth, FaintMarksDipButAreMissed)
{
    const char *argv[] = {"kivrel-sim", "--faint-every", "3", "--jitter", "0"};
    Options o;
    std::string error;
    ASSERT_EQ(parseOptions(5, argv, o, error), ParseResult::Run) << error;
    ASSERT_EQ(o.target.faintEvery, 3);
    o.target.depthSpread = 0;
    Model m(o.target);
    int lowest[15];
    std::fill(std::begin(lowest), std::end(lowest), 255);
    for (int i = 0; i < 3000; ++i) {
        const auto mark = static_cast<std::size_t>(m.timeMs() / 200);
        m.run(1);
        lowest[mark] = std::min(lowest[mark], m.norm());
    }
    EXPECT_EQ(m.edgeCount(), 10u);
    for (int k = 0; k < 15; ++k) {
        const int dip = lowest[k];
        if ((k + 1) % 3 == 0) {
            EXPECT_GT(dip, 140) << k;
            EXPECT_LT(dip, 152) << k;
        } else {
            EXPECT_LT(dip, 110) << k;
        }
    }
}

// --faint-depth sets how dark the faint marks are, as --depth does for the others: dark enough,
// they dip below the factory threshold and count; without it they take 30 % of --depth.
TEST(CountDepth, FaintDepthSetsHowDarkTheFaintMarksAre)
{
    // Noise-free NORM in the middle of a faint mark (every second one), background 161.
    const std::pair<const char *, int> cases[] = {{nullptr, 148}, {"30", 148}, {"45", 140},
                                                  {"70", 123},    {"100", 91}, {"0", 161}};
    for (auto [percent, dip] : cases) {
        SCOPED_TRACE(percent ? percent : "default");
        std::vector<const char *> argv{"kivrel-sim", "--faint-every", "2", "--jitter", "0"};
        if (percent) argv.insert(argv.end(), {"--faint-depth", percent});
        Options o;
        std::string error;
        ASSERT_EQ(parseOptions(int(argv.size()), argv.data(), o, error), ParseResult::Run) << error;
        o.target.depthSpread = 0;
        Model m(o.target);
        m.run(280); // the middle of the second mark, the faint one
        EXPECT_EQ(m.norm(), dip);
        m.run(200); // the middle of the third, a normal one
        EXPECT_EQ(m.norm(), 91);
        EXPECT_EQ(m.edgeCount(), dip < 120 ? 3u : 2u);
    }
}

TEST(CountDepth, ShallowMarksComeCloseToTheBackground)
{
    // Noise-free NORM in the middle of a mark, background 161.
    const std::pair<double, int> cases[] = {{100, 91}, {50, 137}, {30, 148}, {15, 155}, {0, 161}};
    for (auto [percent, mark] : cases) {
        Model m({.noise = 0, .depthSpread = 0, .depth = percent / 100});
        m.run(150);
        EXPECT_EQ(m.norm(), 161) << percent;
        m.run(130);
        EXPECT_EQ(m.norm(), mark) << percent;
    }
    // With more noise than dip, mark and background readings overlap.
    Model hard({.noise = 6, .depth = 0.15});
    int lowestBackground = 255, highestMark = 0;
    for (int i = 0; i < 5000; ++i) {
        const auto inPeriod = hard.timeMs() % 200;
        hard.run(1);
        if (inPeriod < 55 || inPeriod > 105)
            lowestBackground = std::min(lowestBackground, hard.norm());
        if (inPeriod > 65 && inPeriod < 95) highestMark = std::max(highestMark, hard.norm());
    }
    EXPECT_GE(highestMark, lowestBackground);
}

TEST(CountWindow, OneEdgePerMarkOnlyWithARightPair)
{
    struct Case {
        double rateHz, markPercent, depthPercent, jitter;
        int average, threshold, hysteresis; // halfway between mark and background NORM
    };
    const Case cases[] = {
        {5, 20, 100, 2, 1, 130, 145},  {12, 35, 50, 2, 1, 150, 155}, {2, 10, 30, 2, 1, 155, 157},
        {20, 50, 100, 6, 1, 130, 145}, {5, 20, 50, 6, 1, 150, 154},  {5, 20, 15, 6, 16, 158, 160},
    };
    for (const Case &c : cases) {
        const TargetConfig t{.rateHz = c.rateHz,
                             .markFraction = c.markPercent / 100,
                             .noise = c.jitter,
                             .depth = c.depthPercent / 100};
        const auto marks = static_cast<std::uint64_t>(c.rateHz * 5);
        auto count = [&](const ParamBytes &p) {
            Model m(t, p);
            m.run(5000);
            return m.passCount();
        };
        SCOPED_TRACE(::testing::Message() << c.rateHz << " Hz, " << c.markPercent << " %, depth "
                                          << c.depthPercent << ", jitter " << c.jitter);
        const PassCount right = count(withPair(c.threshold, c.hysteresis, c.average));
        EXPECT_EQ(right.marks, marks);
        EXPECT_EQ(right.edges, marks);
        const PassCount low = count(withPair(60, c.hysteresis, c.average));
        EXPECT_EQ(low.marks, marks);
        EXPECT_EQ(low.edges, 0u);
        const PassCount high = count(withPair(200, 130, c.average)); // re-triggers on the paper
        EXPECT_GT(high.edges, 5 * marks);
    }
}

TEST(CountWindow, MarkUnderTheSensorAtTheWriteCountsNowhere)
{
    // Mark 5 is under the sensor in scans 1059..1101, its edge comes at 1061; with a longer
    // average it stays in NORM for that many scans more.
    struct Case {
        int average, writeAt, oldMarks, newMarks;
    };
    const Case cases[] = {{1, 1000, 5, 5}, {1, 1059, 5, 5}, {1, 1060, 5, 4},  {1, 1062, 5, 4},
                          {1, 1101, 5, 4}, {1, 1102, 6, 4}, {20, 1110, 5, 4}, {20, 1121, 6, 4}};
    for (const Case &c : cases) {
        Model m(TargetConfig{}, withPair(120, 150, c.average));
        m.run(c.writeAt);
        const PassCount old = m.restartPassCount();
        m.run(2000 - c.writeAt);
        const PassCount now = m.passCount();
        const std::string at =
            "average " + std::to_string(c.average) + " write at " + std::to_string(c.writeAt);
        EXPECT_FALSE(old.sinceWrite) << at;
        EXPECT_EQ(old.marks, std::uint64_t(c.oldMarks)) << at;
        EXPECT_EQ(old.edges, old.marks) << at;
        EXPECT_TRUE(now.sinceWrite) << at;
        EXPECT_EQ(now.marks, std::uint64_t(c.newMarks)) << at;
        EXPECT_EQ(now.edges, now.marks) << at;
        EXPECT_EQ(m.edgeCount(), 10u) << at;
    }
}

TEST(CountWindow, SkippedGapCountsNeitherTheCutMarkNorItsEdge)
{
    Model m;
    m.advanceTo(1000);
    // Replay starts at 3595080, inside a mark; the one under way at the end is not done.
    m.advanceTo(3600080);
    EXPECT_EQ(m.edgeCount(), 5u + 1 + 24 + 1);
    EXPECT_EQ(m.passCount().marks, 5u + 24);
    EXPECT_EQ(m.passCount().edges, 5u + 24);
}
