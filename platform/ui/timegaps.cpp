// Gaps in a time view's points from their time stamps: a pause is an interval far longer than
// the recent pace, unless the intervals after it keep its length (a change of pace); a clock
// set back cuts the line at both ends of each stretch.
#include "timegaps.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace kivrel::platform
{

namespace
{

// Points further apart than this many times their recent period were not polled (polling was
// stopped, a popup held it): the line breaks there instead of joining them as if measured.
constexpr double kGapFactor = 3.0;
// The recent period is the median of this many intervals before a pause; and a pause followed
// by at least kGapWitnesses intervals at its own pace was a change of pace (the adjustment view
// polls at over a second), no pause, once their median says so.
constexpr int kPeriodIntervals = 8;
constexpr int kGapWitnesses = 3;

double median(std::vector<double> values)
{
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Gaps are kept in the order of their ends, as the line is drawn.
void insertGap(std::deque<TimeGap> &gaps, const TimeGap &gap)
{
    const auto at = std::upper_bound(gaps.begin(), gaps.end(), gap.to,
                                     [](double to, const TimeGap &g) { return to < g.to; });
    gaps.insert(at, gap);
}

} // namespace

std::vector<TimeGap> findGaps(const std::vector<double> &times)
{
    GapFinder finder;
    for (const double time : times)
        finder.add(time);
    return {finder.gaps().begin(), finder.gaps().end()};
}

void GapFinder::add(double time)
{
    if (std::isnan(stretchStart_)) stretchStart_ = time;
    if (!std::isnan(lastAdded_)) noteInterval(lastAdded_, time);
    lastAdded_ = time;
}

void GapFinder::dropBefore(double first)
{
    while (!gaps_.empty() && gaps_.front().to < first)
        gaps_.pop_front();
}

void GapFinder::clear()
{
    gaps_.clear();
    recent_.clear();
    unsettled_.clear();
    lastAdded_ = stretchStart_ = std::numeric_limits<double>::quiet_NaN();
}

// A gap where the interval from `previous` to `time` is a pause in the points, not their pace.
void GapFinder::noteInterval(double previous, double time)
{
    const double interval = time - previous;
    if (!(interval >= 0)) {
        // A clock set back: no pace to judge by, and the line joins no point of the stretch
        // that ended to one of the stretch that begins, nor either to what lies beside it.
        insertGap(gaps_, {stretchStart_, stretchStart_, true});
        insertGap(gaps_, {previous,
                          std::nextafter(previous, std::numeric_limits<double>::infinity()), true});
        insertGap(gaps_, {time, time, true});
        stretchStart_ = time;
        return;
    }
    for (auto u = unsettled_.begin(); u != unsettled_.end();) {
        u->after.push_back(interval);
        const bool newPace =
            int(u->after.size()) >= kGapWitnesses && u->length <= kGapFactor * median(u->after);
        if (newPace) {
            const auto gap = std::find_if(gaps_.rbegin(), gaps_.rend(), [&](const TimeGap &g) {
                return !g.step && g.to == u->to;
            });
            if (gap != gaps_.rend()) gaps_.erase(std::next(gap).base());
        }
        if (newPace || int(u->after.size()) >= kPeriodIntervals)
            u = unsettled_.erase(u);
        else
            ++u;
    }
    if (!recent_.empty() && interval > kGapFactor * median({recent_.begin(), recent_.end()})) {
        insertGap(gaps_, {previous, time});
        unsettled_.push_back({time, interval, {}});
    }
    recent_.push_back(interval);
    if (int(recent_.size()) > kPeriodIntervals) recent_.pop_front();
}

} // namespace kivrel::platform
