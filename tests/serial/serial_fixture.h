// Shared by the serial suites: a peer mapped to a COM number, spinning the event loop the
// way the logic does, and the process's CPU clock.
#pragma once

#include "sensor_peer.h"

#include "rs232.h"
#include "userint.h"
#include "utility.h"

#include <gtest/gtest.h>

#include <ctime>
#include <functional>

namespace kivrel::test
{

inline constexpr int TestCom = 11; // high enough never to meet a real port in the table
inline constexpr int OtherCom = 12;

inline double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

inline int openOnPeer(SensorPeer &peer, int com, int queueSize = 1024)
{
    peer.mapToCom(com);
    return OpenComConfig(com, "", 19200, 0, 8, 1, queueSize, queueSize);
}

// Runs the event loop as the logic's waits do until `done` or the time is up.
inline bool spinUntil(const std::function<bool()> &done, double seconds)
{
    const double start = Timer();
    while (!done()) {
        if (Timer() - start > seconds) return false;
        ProcessSystemEvents();
    }
    return true;
}

inline void spinFor(double seconds)
{
    spinUntil([] { return false; }, seconds);
}

inline Bytes pattern(int n, int first = 0)
{
    Bytes b(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        b[static_cast<size_t>(i)] = static_cast<unsigned char>(first + i);
    return b;
}

// Closes the suite's ports whatever a test left open.
class SerialTest : public ::testing::Test
{
  protected:
    void TearDown() override
    {
        CloseCom(TestCom);
        CloseCom(OtherCom);
        spinFor(0.02); // lets deferred closes and notifier deletions run
    }
};

} // namespace kivrel::test
