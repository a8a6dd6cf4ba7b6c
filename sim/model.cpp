#include "model.h"

#include <algorithm>
#include <cmath>

namespace kivrel::sim
{

namespace
{

// Surface reflectance seen by each receiver at full transmitter power: the background paper,
// and how much a fully dark mark takes away. Receiver 1 is the reference and barely changes,
// so NORM drops over a mark.
constexpr double kBackground0 = 210.0;
constexpr double kBackground1 = 120.0;
constexpr double kMarkLoss0 = 150.0;
constexpr double kMarkLoss1 = 10.0;
constexpr double kAmbient = 3.0;      // stray light the transmitter power does not change
constexpr double kTrackScans = 300.0; // DYN threshold time constant: settled in about 1 s
constexpr std::int64_t kMaxCatchUpMs = 5000;
constexpr std::size_t kEdgeLog = 1024;
// Unless --faint-depth says otherwise, a faint mark takes this share of a normal one's light:
// NORM dips to about 148 against 161 for the paper, above the factory threshold of 120, so the
// sensor misses it.
constexpr double kFaintShare = 0.3;

std::uint64_t splitmix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

int clampByte(double v)
{
    return static_cast<int>(std::clamp(std::lround(v), 0L, 255L));
}

std::uint16_t ticks(double ms)
{
    return static_cast<std::uint16_t>(std::clamp(std::lround(ms * Model::kTicksPerMs), 0L, 65535L));
}

} // namespace

std::uint8_t normOf(int dat0, int dat1)
{
    const int sum = dat0 + dat1;
    if (sum <= 0) return 0;
    return static_cast<std::uint8_t>(std::min(255, dat0 * 255 / sum));
}

double deadTimeMs(std::uint8_t mode, std::uint8_t index, double lastPeriodMs)
{
    const int step = std::min<int>(index, 15);
    if (mode != 0) return 2.0 * step;
    return lastPeriodMs * 6.0 * step / 100.0;
}

Model::Model(const TargetConfig &target, const ParamBytes &params)
    : target_(target), rng_(splitmix(target.seed))
{
    params_ = params;
    power_ = std::min<int>(params_[Power], kPowerOff);
    normHistory_.assign(std::max<int>(1, params_[Average]), 0);
    resetThreshold();
    // Power-up measurement, so the very first record already holds real values.
    scan();
}

void Model::setParams(const ParamBytes &params)
{
    const ParamBytes old = params_;
    params_ = params;
    if (params[Average] != old[Average]) {
        normHistory_.assign(std::max<int>(1, params_[Average]), 0);
        normPos_ = normFill_ = 0;
        normSum_ = 0;
    }
    if (params[Pmod] == 0 || old[Pmod] == 0) power_ = std::min<int>(params_[Power], kPowerOff);
    if (params[Trshmod] != old[Trshmod]) {
        resetThreshold();
    } else if (params[Trshmod] == Dyn1) {
        dyn1Target_ = std::min<double>(dyn1Target_, params_[Threshold]);
        threshold_ = std::min<double>(threshold_, params_[Threshold]);
    } else if (params[Trshmod] == Dyn2) {
        threshold_ = std::max<double>(threshold_, params_[Threshold]);
    } else {
        threshold_ = params_[Threshold];
    }
    if ((params[Trigger] == Cont) != (old[Trigger] == Cont)) {
        active_ = edgeInWindow_ = false;
        windowStart_ = lastIn0_ = -1;
        adjEdge_ = adjIn0_ = adjIn1_ = 0;
    }
}

void Model::resetThreshold()
{
    threshold_ = params_[Threshold];
    dyn1Target_ = params_[Threshold];
}

int Model::workingHysteresis() const
{
    if (params_[Trshmod] == Fix) return params_[Hysteresis];
    return std::min(255, clampByte(threshold_) + params_[Hysteresis]);
}

void Model::advanceTo(double nowMs)
{
    const auto target = static_cast<std::int64_t>(std::floor(nowMs));
    if (target - timeMs_ > kMaxCatchUpMs) {
        // Nobody looked for a while: replaying it would only cost time at the next request.
        timeMs_ = target - kMaxCatchUpMs;
        lastEdge_ = -1;
        lastIn0_ = -1;
        // A mark cut short by the gap, or under the sensor at its end, was not seen whole.
        markIndex_ = kNoMark;
        markCounts_ = false;
        markEdges_ = 0;
        firstWholeScan_ = timeMs_ + 1;
    }
    run(target - timeMs_);
}

void Model::run(std::int64_t ms)
{
    for (; ms > 0; --ms) {
        scan();
        ++timeMs_;
    }
}

double Model::coverage(double tMs) const
{
    if (target_.rateHz <= 0) return 0.0;
    const double period = 1000.0 / target_.rateHz;
    const double inPeriod = std::fmod(tMs, period);
    const double start = target_.markPhase * period;
    const double end = start + target_.markFraction * period;
    // The light spot has a width, so the stripe fades in and out over a few scans.
    const double ramp = std::max(0.5, std::min(3.0, 0.25 * target_.markFraction * period));
    const double rise = std::clamp((inPeriod - start) / ramp + 0.5, 0.0, 1.0);
    const double fall = std::clamp((end - inPeriod) / ramp + 0.5, 0.0, 1.0);
    return std::min(rise, fall);
}

double Model::markDepth(std::int64_t markIndex) const
{
    // Printed marks are not all equally dark; the spread is what makes the jump buffer useful.
    const std::uint64_t h = splitmix(target_.seed ^ (static_cast<std::uint64_t>(markIndex) * 31));
    return 1.0 - target_.depthSpread * static_cast<double>(h >> 11) / 9007199254740992.0;
}

double Model::noise()
{
    rng_ = splitmix(rng_);
    const double unit = static_cast<double>(rng_ >> 11) / 9007199254740992.0; // [0,1)
    return (2.0 * unit - 1.0) * target_.noise;
}

double Model::normal()
{
    // Box-Muller: paper texture has tails, unlike the bounded receiver noise.
    rng_ = splitmix(rng_);
    const double u = (static_cast<double>(rng_ >> 11) + 1.0) / 9007199254740992.0; // (0,1]
    rng_ = splitmix(rng_);
    const double v = static_cast<double>(rng_ >> 11) / 9007199254740992.0;
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
}

double Model::markShade(std::int64_t markIndex) const
{
    const bool faint = target_.faintEvery > 0 && (markIndex + 1) % target_.faintEvery == 0;
    if (!faint) return target_.depth;
    return target_.faintDepth >= 0 ? target_.faintDepth : target_.depth * kFaintShare;
}

void Model::regulatePower()
{
    if (params_[Pmod] == 0) {
        power_ = std::min<int>(params_[Power], kPowerOff);
        return;
    }
    regSum_ += dat0_ + dat1_;
    const int every = std::max<int>(1, params_[Regcnt]);
    if (++regSteps_ < every) return;
    const long mean = regSum_ / regSteps_;
    regSum_ = 0;
    regSteps_ = 0;
    // Power byte counts down to more light.
    if (mean < kPowerTargetSum - 8 && power_ > 0) --power_;
    if (mean > kPowerTargetSum + 8 && power_ < kPowerOff) ++power_;
}

std::int64_t Model::markAt(std::int64_t scanMs) const
{
    const auto t = static_cast<double>(scanMs);
    if (coverage(t) <= 0) return kNoMark;
    return static_cast<std::int64_t>(t / (1000.0 / target_.rateHz));
}

bool Model::markPassedBy(std::int64_t scanMs, std::int64_t markThere) const
{
    // Another mark has come, or none and the last covered scan has left NORM's average.
    if (markIndex_ == kNoMark || markThere == markIndex_) return false;
    return markThere != kNoMark || scanMs - markLastCovered_ >= std::max<int>(1, params_[Average]);
}

PassCount Model::restartPassCount()
{
    // A mark no coming scan can see has passed under the old parameters and counts there.
    if (markPassedBy(timeMs_, markAt(timeMs_))) finishMark();
    const PassCount closed = window_;
    window_ = PassCount{};
    window_.sinceWrite = true;
    // Half a mark under the old parameters and half under the new ones would judge neither.
    markCounts_ = false;
    markEdges_ = 0;
    return closed;
}

void Model::trackMark(std::int64_t markHere)
{
    if (markPassedBy(timeMs_, markHere)) finishMark();
    if (markHere == kNoMark) return;
    if (markIndex_ == kNoMark) {
        markIndex_ = markHere;
        markCounts_ = timeMs_ >= firstWholeScan_;
    }
    markLastCovered_ = timeMs_;
}

void Model::finishMark()
{
    if (markIndex_ >= 0 && markCounts_) {
        ++window_.marks;
        window_.edges += markEdges_;
    }
    markIndex_ = kNoMark;
    markCounts_ = false;
    markEdges_ = 0;
}

void Model::finishJump()
{
    searching_ = false;
    jumps_.push_back(static_cast<std::uint8_t>(searchMin_));
    if (jumps_.size() > 16) jumps_.pop_front();
    if (params_[Trshmod] == Dyn1)
        dyn1Target_ = std::min<int>(searchMin_ + params_[Deltatrsh], params_[Threshold]);
}

void Model::scan()
{
    const auto t = static_cast<double>(timeMs_);
    // With no marks passing there is no IN0 either, so an external trigger never opens.
    const bool external = params_[Trigger] != Cont;

    // Light reaching the receivers.
    const double period = target_.rateHz > 0 ? 1000.0 / target_.rateHz : 0.0;
    const double c = coverage(t);
    const std::int64_t mark = c > 0 ? static_cast<std::int64_t>(t / period) : kNoMark;
    const double depth = mark != kNoMark ? markDepth(mark) : 0.0;
    const double shade = mark != kNoMark ? markShade(mark) : target_.depth;
    const double light = static_cast<double>(kPowerOff - power_) / kPowerOff;
    // Uneven paper darkens or lightens the spot like a faint mark; ink covers it. Drawn only
    // when asked for, so the noise of a given seed stays what it was without it.
    const double paper = target_.grain > 0 ? target_.grain * normal() * (1.0 - c) : 0.0;
    dat0_ = clampByte((kBackground0 - kMarkLoss0 * (depth * c * shade + paper)) * light + kAmbient +
                      noise());
    dat1_ =
        clampByte((kBackground1 - kMarkLoss1 * (c * shade + paper)) * light + kAmbient + noise());
    trackMark(mark);

    const int prevNorm = norm_;
    const int raw = normOf(dat0_, dat1_);
    normSum_ += raw - normHistory_[normPos_];
    normHistory_[normPos_] = raw;
    normPos_ = (normPos_ + 1) % normHistory_.size();
    normFill_ = std::min(normFill_ + 1, normHistory_.size());
    norm_ = normSum_ / static_cast<int>(normFill_);

    regulatePower();

    // External trigger: IN0 opens the ACTIVE window once per period, IN1 closes it.
    if (external && period > 0) {
        const auto periodIndex = static_cast<std::int64_t>(std::floor(t / period));
        const double in0 = static_cast<double>(periodIndex) * period;
        if (!active_ && periodIndex != windowStart_) {
            if (lastIn0_ >= 0 && periodIndex == lastIn0_ + 1) adjIn0_ = ticks(period);
            lastIn0_ = periodIndex;
            windowStart_ = periodIndex;
            active_ = true;
            edgeInWindow_ = false;
        }
        if (active_ && t - in0 >= target_.activeFraction * period) {
            active_ = false;
            adjIn1_ = ticks(target_.activeFraction * period);
        }
    }

    const bool evaluate = dat0_ >= params_[Backlim] && (!external || active_);

    if (evaluate) {
        if (params_[Trshmod] == Dyn2) {
            const double goal =
                std::max(norm_ - params_[Deltatrsh], static_cast<int>(params_[Threshold]));
            threshold_ += (goal - threshold_) / kTrackScans;
        } else if (params_[Trshmod] == Dyn1) {
            threshold_ += (dyn1Target_ - threshold_) / kTrackScans;
        }
    }
    if (params_[Trshmod] == Fix) threshold_ = params_[Threshold];

    if (searching_ && t >= searchUntil_) finishJump();

    if (evaluate) {
        const int thr = clampByte(threshold_);
        if (!armed_) {
            if (norm_ > workingHysteresis()) armed_ = true;
        } else if (norm_ < thr && t >= deadUntil_ && !(external && edgeInWindow_)) {
            ++edgeCount_;
            if (markIndex_ == kNoMark)
                ++window_.edges;
            else
                ++markEdges_;
            edgeTimes_.push_back(timeMs_);
            if (edgeTimes_.size() > kEdgeLog) edgeTimes_.pop_front();
            if (lastEdge_ >= 0) lastPeriodMs_ = t - static_cast<double>(lastEdge_);
            lastEdge_ = timeMs_;
            armed_ = false;
            const double dead =
                external ? 0.0
                         : deadTimeMs(params_[DeadtimeMode], params_[Deadtime], lastPeriodMs_);
            deadUntil_ = t + dead;
            if (searching_) finishJump();
            searching_ = true;
            searchMin_ = norm_;
            searchUntil_ = t + std::max({dead, static_cast<double>(params_[Hold]), 1.0});
            if (external) {
                const double in0 = static_cast<double>(windowStart_) * period;
                searchUntil_ = std::max(searchUntil_, in0 + target_.activeFraction * period);
                // Where between the two scans NORM crossed the threshold.
                double cross = t;
                if (prevNorm > norm_ && prevNorm >= thr)
                    cross = t - 1.0 + static_cast<double>(prevNorm - thr) / (prevNorm - norm_);
                adjEdge_ = ticks(cross - in0);
                edgeInWindow_ = true;
            }
        }
    }

    if (searching_) searchMin_ = std::min(searchMin_, norm_);
}

Record Model::record() const
{
    Record r{};
    r[RecDat0] = static_cast<std::uint8_t>(dat0_);
    r[RecDat1] = static_cast<std::uint8_t>(dat1_);
    r[RecNorm] = static_cast<std::uint8_t>(norm_);
    r[RecAdjEdgeL] = adjEdge_ & 0xFF;
    r[RecAdjEdgeH] = adjEdge_ >> 8;
    r[RecAdjIn0L] = adjIn0_ & 0xFF;
    r[RecAdjIn0H] = adjIn0_ >> 8;
    r[RecAdjIn1L] = adjIn1_ & 0xFF;
    r[RecAdjIn1H] = adjIn1_ >> 8;
    r[RecThreshold] = static_cast<std::uint8_t>(clampByte(threshold_));
    r[RecHysteresis] = static_cast<std::uint8_t>(workingHysteresis());
    return r;
}

JumpBuffer Model::jumpBuffer() const
{
    // Oldest first; slots not yet filled since start-up read 0.
    JumpBuffer out{};
    std::copy(jumps_.begin(), jumps_.end(), out.begin() + (16 - jumps_.size()));
    return out;
}

} // namespace kivrel::sim
