// The platform's serial ports without the program: the scripted sensor on a COM number of
// the suite's own.
#pragma once

#include "loop.h"
#include "sensor_data.h"

#include "rs232.h"

#include <gtest/gtest.h>

namespace kivrel::test
{

inline constexpr int TestCom = 11; // high enough never to meet a real port in the table
inline constexpr int OtherCom = 12;

inline int openOnPeer(SensorPeer &peer, int com, int queueSize = 1024)
{
    peer.mapToCom(com);
    return OpenComConfig(com, "", 19200, 0, 8, 1, queueSize, queueSize);
}

// A scripted sensor for the test; the suite's ports closed whatever a test left open.
class SerialTest : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(peer.ok()); }
    void TearDown() override
    {
        CloseCom(TestCom);
        CloseCom(OtherCom);
        spin(0.02); // lets deferred closes and notifier deletions run
    }

    SensorPeer peer;
};

} // namespace kivrel::test
