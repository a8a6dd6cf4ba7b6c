// The sensor model: light, NORM, edges, dead time, threshold modes, jump buffer and the
// external trigger timings.
#include "model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace kivrel::sim;

namespace
{

ParamBytes with(std::initializer_list<std::pair<Param, int>> changes)
{
    ParamBytes p = factoryDefaults();
    for (auto [index, value] : changes)
        p[index] = static_cast<std::uint8_t>(value);
    return p;
}

TargetConfig quietTarget(double rateHz = 5.0)
{
    TargetConfig t;
    t.rateHz = rateHz;
    t.noise = 0;
    t.depthSpread = 0;
    return t;
}

// Mean of DAT0 and DAT1 over the background, sampled outside the marks.
std::pair<double, double> meanBackground(Model &m, int samples)
{
    double d0 = 0, d1 = 0;
    int n = 0;
    for (int i = 0; i < samples; ++i) {
        m.run(7);
        if (m.norm() > 140) {
            d0 += m.dat0();
            d1 += m.dat1();
            ++n;
        }
    }
    return {n ? d0 / n : 0, n ? d1 / n : 0};
}

} // namespace

TEST(ModelNorm, FormulaAndGuard)
{
    EXPECT_EQ(normOf(0, 0), 0);
    EXPECT_EQ(normOf(100, 100), 127);
    EXPECT_EQ(normOf(200, 100), 170);
    EXPECT_EQ(normOf(255, 0), 255);
    EXPECT_EQ(normOf(0, 255), 0);
    EXPECT_EQ(normOf(1, 254), 1);
}

TEST(ModelNorm, RecordNormFollowsRawValuesWithoutAveraging)
{
    Model m;
    for (int i = 0; i < 200; ++i) {
        m.run(3);
        const Record r = m.record();
        ASSERT_EQ(r[RecNorm], normOf(r[RecDat0], r[RecDat1])) << "at " << m.timeMs();
    }
}

TEST(ModelNorm, AveragingSmoothsTheDips)
{
    Model raw(TargetConfig{}, with({}));
    Model smooth(TargetConfig{}, with({{Average, 80}})); // longer than a mark
    int rawMin = 255, smoothMin = 255;
    for (int i = 0; i < 2000; ++i) {
        raw.run(1);
        smooth.run(1);
        rawMin = std::min(rawMin, raw.norm());
        smoothMin = std::min(smoothMin, smooth.norm());
    }
    EXPECT_LT(rawMin, 115);
    EXPECT_GT(smoothMin, rawMin + 10);
}

TEST(ModelLight, MarksPullDat0DownAgainstDat1)
{
    Model m(quietTarget());
    m.run(150); // background: marks sit at 30..50 % of the 200 ms period
    const int bg0 = m.dat0(), bg1 = m.dat1(), bgNorm = m.norm();
    m.run(130); // 40 % into the next period, inside a mark
    EXPECT_LT(m.dat0(), bg0 / 2);
    EXPECT_GT(m.dat1(), bg1 * 8 / 10);
    EXPECT_GT(bgNorm, 150);
    EXPECT_LT(m.norm(), 110);
}

TEST(ModelLight, HigherPowerValueMeansLessLight)
{
    Model bright(TargetConfig{}, with({{Power, 0}}));
    Model normal(TargetConfig{}, with({{Power, 10}}));
    Model dim(TargetConfig{}, with({{Power, 30}}));
    Model off(TargetConfig{}, with({{Power, 46}}));
    const auto b = meanBackground(bright, 300);
    const auto n = meanBackground(normal, 300);
    const auto d = meanBackground(dim, 300);
    EXPECT_GT(b.first, n.first + 20);
    EXPECT_GT(n.first, d.first + 50);
    EXPECT_GT(b.second, n.second);
    EXPECT_GT(n.second, d.second);
    off.run(500);
    EXPECT_LE(off.dat0(), 6); // stray light only
    EXPECT_LE(off.dat1(), 6);
}

TEST(ModelLight, DynamicPowerSettlesOnTheTargetLevel)
{
    Model m(TargetConfig{}, with({{Pmod, 1}, {Power, 40}, {Regcnt, 5}}));
    EXPECT_EQ(m.effectivePower(), 40);
    m.run(3000);
    EXPECT_LT(m.effectivePower(), 30);
    const auto bg = meanBackground(m, 300);
    // Marks pull the average down, so the background settles a little above the target.
    EXPECT_NEAR(bg.first + bg.second, Model::kPowerTargetSum, 45);
}

TEST(ModelEdges, DefaultsGiveOneEdgePerMark)
{
    Model m;
    m.run(10000);
    EXPECT_EQ(m.edgeCount(), 50u);
    const auto &t = m.edgeTimes();
    for (std::size_t i = 1; i < t.size(); ++i)
        EXPECT_NEAR(t[i] - t[i - 1], 200, 3);
}

TEST(ModelEdges, ThresholdBelowTheDipsGivesNoEdges)
{
    Model m(TargetConfig{}, with({{Threshold, 60}}));
    m.run(10000);
    EXPECT_EQ(m.edgeCount(), 0u);
}

TEST(ModelEdges, ThresholdInsideTheDipsMissesThePaleMarks)
{
    Model m(TargetConfig{}, with({{Threshold, 100}}));
    m.run(10000);
    EXPECT_GT(m.edgeCount(), 5u);
    EXPECT_LT(m.edgeCount(), 45u);
}

TEST(ModelEdges, ChangedParametersTakeEffectAtOnce)
{
    Model m;
    m.run(2000);
    const auto before = m.edgeCount();
    EXPECT_EQ(before, 10u);
    m.setParams(with({{Threshold, 60}}));
    m.run(2000);
    EXPECT_EQ(m.edgeCount(), before);
    m.setParams(factoryDefaults());
    m.run(2000);
    EXPECT_EQ(m.edgeCount(), before + 10);
}

TEST(ModelEdges, NoEvaluationBelowBacklim)
{
    Model m(TargetConfig{}, with({{Backlim, 200}}));
    m.run(5000);
    EXPECT_EQ(m.edgeCount(), 0u);
    // Transmitter off: stray light only, DAT0 under the default backlim of 10, and the
    // noisy NORM around 127 that dips under the threshold must not count.
    Model off(TargetConfig{}, with({{Power, 46}}));
    int lowest = 255;
    for (int i = 0; i < 5000; ++i) {
        off.run(1);
        lowest = std::min(lowest, off.norm());
    }
    EXPECT_LT(lowest, 120);
    EXPECT_EQ(off.edgeCount(), 0u);
}

TEST(ModelEdges, HysteresisRearmsOnlyAboveItsLevel)
{
    // Background NORM is about 161: with the level above it the sensor never re-arms.
    Model m(TargetConfig{}, with({{Hysteresis, 200}}));
    m.run(5000);
    EXPECT_EQ(m.edgeCount(), 0u);
}

TEST(ModelDeadTime, TableValues)
{
    EXPECT_DOUBLE_EQ(deadTimeMs(1, 0, 200), 0);
    EXPECT_DOUBLE_EQ(deadTimeMs(1, 2, 200), 4);
    EXPECT_DOUBLE_EQ(deadTimeMs(1, 15, 200), 30);
    EXPECT_DOUBLE_EQ(deadTimeMs(7, 40, 200), 30); // index beyond the list: its last entry
    EXPECT_DOUBLE_EQ(deadTimeMs(0, 1, 200), 12);
    EXPECT_DOUBLE_EQ(deadTimeMs(0, 15, 200), 180);
    EXPECT_DOUBLE_EQ(deadTimeMs(0, 15, 0), 0);
}

TEST(ModelDeadTime, SuppressesEdgesWithinIt)
{
    // Threshold above the background and hysteresis below it: the sensor re-triggers as fast
    // as the dead time lets it, which makes the dead time directly visible.
    auto chatter = [](int deadIndex) {
        Model m(TargetConfig{}, with({{Threshold, 200}, {Hysteresis, 130}, {Deadtime, deadIndex}}));
        m.run(3000);
        return m;
    };
    const Model slow = chatter(15);
    const Model fast = chatter(2);
    const auto &t = slow.edgeTimes();
    ASSERT_GT(t.size(), 20u);
    for (std::size_t i = 1; i < t.size(); ++i)
        EXPECT_GE(t[i] - t[i - 1], 30);
    EXPECT_GT(fast.edgeCount(), 3 * slow.edgeCount());
    const auto &f = fast.edgeTimes();
    for (std::size_t i = 1; i < f.size(); ++i)
        EXPECT_GE(f[i] - f[i - 1], 4);
}

TEST(ModelDeadTime, PercentOfThePeriodKeepsOneEdgePerMark)
{
    Model m(TargetConfig{}, with({{DeadtimeMode, 0}, {Deadtime, 15}}));
    m.run(10000);
    EXPECT_EQ(m.edgeCount(), 50u);
}

TEST(ModelThreshold, FixReportsTheParameters)
{
    Model m(TargetConfig{}, with({{Threshold, 111}, {Hysteresis, 144}}));
    m.run(1000);
    const Record r = m.record();
    EXPECT_EQ(r[RecThreshold], 111);
    EXPECT_EQ(r[RecHysteresis], 144);
}

TEST(ModelThreshold, Dyn1SetsMinimumPlusDeltaCappedAtMax)
{
    Model m(quietTarget(),
            with({{Trshmod, Dyn1}, {Threshold, 150}, {Deltatrsh, 10}, {Hysteresis, 5}}));
    EXPECT_EQ(m.record()[RecThreshold], 150); // starts at MAX TRSH
    m.run(6000);
    const int jump = m.jumpBuffer()[15];
    ASSERT_GT(jump, 50);
    const Record r = m.record();
    EXPECT_NEAR(r[RecThreshold], jump + 10, 1);
    EXPECT_EQ(r[RecHysteresis], r[RecThreshold] + 5);
    EXPECT_GT(m.edgeCount(), 25u);

    Model capped(quietTarget(), with({{Trshmod, Dyn1}, {Threshold, 130}, {Deltatrsh, 80}}));
    capped.run(6000);
    EXPECT_EQ(capped.record()[RecThreshold], 130);
}

TEST(ModelThreshold, Dyn2TracksNormMinusDeltaFlooredAtMin)
{
    // A plain surface: NORM is steady, so the tracked value is exact.
    Model m(quietTarget(0),
            with({{Trshmod, Dyn2}, {Threshold, 50}, {Deltatrsh, 30}, {Hysteresis, 10}}));
    m.run(10);
    const int norm = m.norm();
    ASSERT_GT(norm, 150);
    EXPECT_LT(m.record()[RecThreshold], 60); // starts from MIN TRSH
    m.run(990);
    EXPECT_NEAR(m.record()[RecThreshold], norm - 30, 0.05 * (norm - 30 - 50)); // about 1 s
    m.run(2000);
    const Record r = m.record();
    EXPECT_EQ(r[RecThreshold], norm - 30);
    EXPECT_EQ(r[RecHysteresis], norm - 30 + 10);

    Model floored(quietTarget(0), with({{Trshmod, Dyn2}, {Threshold, 50}, {Deltatrsh, 150}}));
    floored.run(3000);
    EXPECT_EQ(floored.record()[RecThreshold], 50);
}

TEST(ModelThreshold, Dyn2StillSeesTheMarks)
{
    Model m(TargetConfig{},
            with({{Trshmod, Dyn2}, {Threshold, 40}, {Deltatrsh, 20}, {Hysteresis, 10}}));
    m.run(3000);
    const auto settled = m.edgeCount();
    m.run(5000);
    EXPECT_EQ(m.edgeCount() - settled, 25u);
}

TEST(ModelJumpBuffer, HoldsMinimaAfterTheLast16EdgesOldestFirst)
{
    Model m(TargetConfig{}, with({{Hold, 30}}));
    const std::int64_t window = 30;                   // longer than the 4 ms dead time
    std::vector<std::pair<std::int64_t, int>> minima; // edge time, minimum after it
    std::uint64_t edges = 0;
    for (int i = 0; i < 8000; ++i) {
        m.run(1);
        const std::int64_t scan = m.timeMs() - 1;
        if (m.edgeCount() != edges) {
            edges = m.edgeCount();
            minima.push_back({scan, m.norm()});
        } else if (!minima.empty() && scan < minima.back().first + window) {
            minima.back().second = std::min(minima.back().second, m.norm());
        }
    }
    // Stop where no search is open: 50 ms into a period, the last edge was at about 60 ms
    // of the previous one.
    ASSERT_EQ(m.timeMs() % 200, 0);
    ASSERT_GE(minima.size(), 16u);
    const JumpBuffer j = m.jumpBuffer();
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ(j[i], minima[minima.size() - 16 + i].second) << "slot " << i;
    // The marks differ in darkness, and so do the minima.
    EXPECT_GT(*std::max_element(j.begin(), j.end()) - *std::min_element(j.begin(), j.end()), 3);
}

TEST(ModelJumpBuffer, EmptySlotsReadZeroBeforeSixteenEdges)
{
    Model m;
    m.run(1000); // five marks
    const JumpBuffer j = m.jumpBuffer();
    for (std::size_t i = 0; i < 11; ++i)
        EXPECT_EQ(j[i], 0) << "slot " << i;
    for (std::size_t i = 11; i < 16; ++i) {
        EXPECT_GT(j[i], 60) << "slot " << i;
        EXPECT_LT(j[i], 120) << "slot " << i;
    }
}

TEST(ModelExternal, WindowAndEdgeTimesInTicks)
{
    for (int mode : {Ext, ExtStat, AdjExt}) {
        Model m(TargetConfig{}, with({{Trigger, mode}}));
        m.run(3000);
        const Record r = m.record();
        const int edge = r[RecAdjEdgeL] | r[RecAdjEdgeH] << 8;
        const int in0 = r[RecAdjIn0L] | r[RecAdjIn0H] << 8;
        const int in1 = r[RecAdjIn1L] | r[RecAdjIn1H] << 8;
        EXPECT_EQ(in0, 2000) << "mode " << mode; // 200 ms at 0.1 ms
        EXPECT_EQ(in1, 1200) << "mode " << mode; // 60 %
        EXPECT_NEAR(100.0 * edge / in0, 30.0, 2.0) << "mode " << mode;
        EXPECT_NEAR(static_cast<double>(m.edgeCount()), 15, 1) << "mode " << mode;
    }
}

TEST(ModelExternal, NoMeasurementOutsideTheActiveWindow)
{
    // Marks outside the window (here at 70..90 % of the period) are not seen.
    TargetConfig late;
    late.markPhase = 0.7;
    Model m(late, with({{Trigger, Ext}}));
    m.run(3000);
    EXPECT_EQ(m.edgeCount(), 0u);
    Model cont(late, with({}));
    cont.run(3000);
    EXPECT_EQ(cont.edgeCount(), 15u);
}

TEST(ModelExternal, ContinuousModeReportsNoTimings)
{
    Model m;
    m.run(3000);
    const Record r = m.record();
    for (std::size_t i = RecAdjEdgeL; i <= RecAdjIn1H; ++i)
        EXPECT_EQ(r[i], 0) << "byte " << i;
}

TEST(ModelClock, FollowsTheCallerAndSkipsLongIdleGaps)
{
    Model m;
    m.advanceTo(1234.7);
    EXPECT_EQ(m.timeMs(), 1234);
    m.advanceTo(100.0); // never backwards
    EXPECT_EQ(m.timeMs(), 1234);
    m.advanceTo(3600.0 * 1000);
    EXPECT_EQ(m.timeMs(), 3600 * 1000);
    EXPECT_LT(m.edgeCount(), 6 + 5 * 6 + 2u); // only the last few seconds were simulated
}

TEST(ModelNoise, SameSeedSameMeasurements)
{
    TargetConfig a, b, c;
    c.seed = 99;
    Model ma(a), mb(b), mc(c);
    bool differs = false;
    for (int i = 0; i < 100; ++i) {
        ma.run(5);
        mb.run(5);
        mc.run(5);
        ASSERT_EQ(ma.record(), mb.record());
        differs |= ma.record() != mc.record();
    }
    EXPECT_TRUE(differs);
}

TEST(ModelExternal, NoMarksMeansNoTriggerAndNoEdges)
{
    // Threshold above the plain surface: in CONT that re-triggers, with no IN0 it must not.
    Model m(quietTarget(0), with({{Trigger, Ext}, {Threshold, 200}, {Hysteresis, 130}}));
    m.run(2000);
    EXPECT_EQ(m.edgeCount(), 0u);
    Model cont(quietTarget(0), with({{Threshold, 200}, {Hysteresis, 130}}));
    cont.run(2000);
    EXPECT_GT(cont.edgeCount(), 100u);
}
