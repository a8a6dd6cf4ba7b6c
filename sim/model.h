// The sensor and the target it looks at, advanced in 1 ms scans.
#pragma once

#include "params.h"

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace kivrel::sim
{

using Record = std::array<std::uint8_t, 11>;
using JumpBuffer = std::array<std::uint8_t, 16>;

// Byte offsets in the 11-byte measurement record.
enum RecordField : std::size_t {
    RecDat0 = 0,
    RecDat1 = 1,
    RecNorm = 2,
    RecAdjEdgeL = 3,
    RecAdjEdgeH = 4,
    RecAdjIn0L = 5,
    RecAdjIn0H = 6,
    RecAdjIn1L = 7,
    RecAdjIn1H = 8,
    RecThreshold = 9,
    RecHysteresis = 10,
};

struct TargetConfig {
    double rateHz = 5.0;         // marks per second; 0 is a plain surface with no marks
    double markFraction = 0.2;   // share of the period covered by the dark stripe
    double markPhase = 0.3;      // where the stripe starts in the period (IN0 is at 0)
    double activeFraction = 0.6; // external trigger: IN1 ends the ACTIVE window here
    double noise = 2.0;          // peak deterministic noise on DAT0/DAT1, in counts
    double depthSpread = 0.15;   // marks vary in darkness by up to this share
    double depth = 1.0;          // how dark the marks are: share of the full mark loss
    double grain = 0.0;          // paper unevenness: standard deviation of its darkness, as a
                                 // share of a black mark's, from scan to scan
    int faintEvery = 0;          // every Nth mark is printed faint, 0 for none
    double faintDepth = -1;      // how dark the faint marks are, as depth; below 0: a share
                                 // kFaintShare of depth
    std::uint64_t seed = 1;
};

// Marks that have fully passed the sensor and the edges that belong to them, counted since
// start or since the last parameter write. A mark under the sensor when the count restarts
// or after an idle gap was skipped is counted in no window, and neither are its edges.
struct PassCount {
    std::uint64_t marks = 0;
    std::uint64_t edges = 0;
    bool sinceWrite = false; // false: since start
};

// NORM as the sensor computes it, 0 when both receivers read nothing.
std::uint8_t normOf(int dat0, int dat1);

// Dead time in ms: mode 0 is percent of the last mark-to-mark period, otherwise ms.
double deadTimeMs(std::uint8_t mode, std::uint8_t index, double lastPeriodMs);

class Model
{
  public:
    static constexpr int kTicksPerMs = 10;      // adj* values count 0.1 ms
    static constexpr int kPowerTargetSum = 240; // pmod DYN regulates DAT0+DAT1 toward this

    explicit Model(const TargetConfig &target = {}, const ParamBytes &params = factoryDefaults());

    // Working parameters (RAM). Takes effect from the next scan.
    void setParams(const ParamBytes &params);
    const ParamBytes &params() const { return params_; }

    // Advances scan by scan up to nowMs (the line's clock). Long idle gaps are skipped
    // rather than replayed. run() simulates every scan of the given span.
    void advanceTo(double nowMs);
    void run(std::int64_t ms);
    std::int64_t timeMs() const { return timeMs_; }

    Record record() const;
    JumpBuffer jumpBuffer() const;

    // Marks and edges in the current window, and a new window from the next scan on (a
    // parameter write). restartPassCount() returns the window it closes.
    const PassCount &passCount() const { return window_; }
    PassCount restartPassCount();

    // Read-outs for tests and the verbose log.
    std::uint64_t edgeCount() const { return edgeCount_; }
    const std::deque<std::int64_t> &edgeTimes() const { return edgeTimes_; } // last 1024
    int effectivePower() const { return power_; }
    double workingThreshold() const { return threshold_; }
    int workingHysteresis() const;
    int dat0() const { return dat0_; }
    int dat1() const { return dat1_; }
    int norm() const { return norm_; }

  private:
    void scan();
    double coverage(double tMs) const;
    double markDepth(std::int64_t markIndex) const;
    double markShade(std::int64_t markIndex) const;
    double noise();
    double normal();
    void resetThreshold();
    void regulatePower();
    void finishJump();
    std::int64_t markAt(std::int64_t scanMs) const;
    bool markPassedBy(std::int64_t scanMs, std::int64_t markThere) const;
    void trackMark(std::int64_t markHere);
    void finishMark();

    TargetConfig target_;
    ParamBytes params_{};
    std::int64_t timeMs_ = 0;
    std::uint64_t rng_;

    int dat0_ = 0, dat1_ = 0, norm_ = 0;
    std::vector<int> normHistory_;
    std::size_t normPos_ = 0, normFill_ = 0;
    int normSum_ = 0;

    int power_ = 0;
    int regSteps_ = 0;
    long regSum_ = 0;

    double threshold_ = 0;
    double dyn1Target_ = 0;
    bool armed_ = false;

    std::uint64_t edgeCount_ = 0;
    std::deque<std::int64_t> edgeTimes_;
    std::int64_t lastEdge_ = -1;
    double lastPeriodMs_ = 0;
    double deadUntil_ = 0;

    // The mark whose light is still in the averaged NORM: its edges wait until it has passed,
    // so a window never holds an edge without its mark.
    static constexpr std::int64_t kNoMark = -1;
    PassCount window_;
    std::int64_t markIndex_ = kNoMark;
    std::int64_t markLastCovered_ = 0;
    std::int64_t firstWholeScan_ = 1; // a mark already covered before this scan is partial
    bool markCounts_ = false;
    std::uint64_t markEdges_ = 0;

    bool searching_ = false;
    double searchUntil_ = 0;
    int searchMin_ = 255;
    std::deque<std::uint8_t> jumps_;

    // External trigger: the ACTIVE window between IN0 and IN1 and the adj* timings.
    bool active_ = false;
    bool edgeInWindow_ = false;
    std::int64_t windowStart_ = -1;
    std::int64_t lastIn0_ = -1;
    std::uint16_t adjEdge_ = 0, adjIn0_ = 0, adjIn1_ = 0;
};

} // namespace kivrel::sim
