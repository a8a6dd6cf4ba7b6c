// Waiting the way the program waits: the event loop spun through ProcessSystemEvents and timed
// on the program's own clock, plus the process's CPU clock for what a wait costs.
#pragma once

#include "userint.h"
#include "utility.h"

#include <QString>

#include <ctime>
#include <functional>
#include <ostream>

// Readable QStrings in failure messages.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace kivrel::test
{

// Spins until `done` or until `seconds` have passed; false on the time running out.
inline bool spinUntil(const std::function<bool()> &done, double seconds = 3.0)
{
    const double start = Timer();
    while (!done()) {
        if (Timer() - start > seconds) return false;
        ProcessSystemEvents();
    }
    return true;
}

inline void spin(double seconds)
{
    spinUntil([] { return false; }, seconds);
}

// Seconds on the program's own clock.
class Stopwatch
{
  public:
    double seconds() const { return Timer() - start_; }

  private:
    double start_ = Timer();
};

inline double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

} // namespace kivrel::test
