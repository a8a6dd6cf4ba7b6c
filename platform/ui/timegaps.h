// Where the line of a time view breaks, found from the points' time stamps alone: a pause in
// the points (polling stopped, a popup held it), and the edges of a stretch that a clock set
// back put among earlier points. Plain C++, no drawing: the window draws what this finds.
#pragma once

#include <deque>
#include <limits>
#include <vector>

namespace kivrel::platform
{

// A time between two points the line does not cross: a pause, or the edge of a stretch of
// points that a clock set back put beside another (a step).
struct TimeGap {
    double from, to;
    bool step = false;
};

// The gaps in points that came at `times`, in that order (a clock set back makes it another
// than the order of the times), in the order of their ends, as the line is drawn.
std::vector<TimeGap> findGaps(const std::vector<double> &times);

// The same a point at a time, for points that keep coming: findGaps is this over all of them.
// A pause is judged by the pace before it, and may be undone by the points after it.
class GapFinder
{
  public:
    void add(double time); // the next point's time, in the order the points came
    const std::deque<TimeGap> &gaps() const { return gaps_; } // in the order of their ends
    void dropBefore(double first); // the gaps that end before `first`, the first point kept
    void clear();

  private:
    void noteInterval(double previous, double time);

    std::deque<TimeGap> gaps_;
    std::deque<double> recent_; // the last intervals between points
    // The last point added and the first of its stretch, in the order they came: a clock set
    // back begins a new stretch, whose times lie among the earlier ones.
    double lastAdded_ = std::numeric_limits<double>::quiet_NaN();
    double stretchStart_ = std::numeric_limits<double>::quiet_NaN();
    struct Unsettled { // a gap that the intervals after it may show to be a new pace
        double to, length;
        std::vector<double> after;
    };
    std::vector<Unsettled> unsettled_;
};

} // namespace kivrel::platform
