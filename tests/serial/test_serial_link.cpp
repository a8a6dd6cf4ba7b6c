// The sensor link over a real line: telegrams as the peer sees them, and which replies the
// timed wait accepts.
#include "serial_fixture.h"

#include "com232.h"
#include "state.h"

#include <QTimer>

#include <cstring>

using namespace kivrel;
using namespace kivrel::test;
using namespace std::chrono_literals;

namespace
{

class SensorLink : public SerialTest
{
  protected:
    void SetUp() override
    {
        SerialTest::SetUp();
        ASSERT_EQ(openOnPeer(peer, TestCom), 0);
        com = TestCom;
        kivrel::sync = 0x55;
        kivrel::poll = 0;
        nBytesR = -1000;
        std::memset(szReadBuf, 0, sizeof szReadBuf);
    }

    // Sends `bytes` unasked and waits until all of them sit in the slave's input queue, so
    // the next count the logic takes sees them together.
    void queueAtPort(const Bytes &bytes)
    {
        peer.send(bytes);
        ASSERT_TRUE(peer.waitUntilQueuedAtSlave(static_cast<int>(bytes.size()), 2000ms));
    }

    void request(int code)
    {
        order = static_cast<unsigned char>(code);
        SendTelegram(1);
    }
};

} // namespace

TEST_F(SensorLink, EveryOrderCodeGoesOutAsSyncCodeAndParameters)
{
    for (int code = ORDER_SEND_RAM; code <= ORDER_CHECK_LINE; ++code) {
        for (int i = 0; i < AnzPara; ++i)
            pp[i] = static_cast<unsigned char>(code * 16 + i);
        request(code);
        ASSERT_TRUE(peer.waitForTelegrams(static_cast<size_t>(code), 2000ms)) << "code " << code;
        const Telegram t = peer.telegrams().back();
        ASSERT_EQ(t.bytes.size(), 17u);
        EXPECT_EQ(t.bytes[0], 0x55);
        EXPECT_EQ(t.bytes[1], code);
        for (int i = 0; i < AnzPara; ++i)
            EXPECT_EQ(t.bytes[2 + static_cast<size_t>(i)], code * 16 + i)
                << "code " << code << " byte " << i;
    }
    EXPECT_EQ(peer.received().size(), 7u * 17u);
}

TEST_F(SensorLink, ExactReplyIsAccepted)
{
    peer.answer(ORDER_GET_RAM, Reply{sequence(15, 100)}.after(0.05));
    request(ORDER_GET_RAM);
    EXPECT_EQ(WaitRxBuf(AnzPara, TIMEOUT_REPLY, 0), RX_OK);
    EXPECT_EQ(nBytesR, AnzPara);
    EXPECT_EQ(0, std::memcmp(szReadBuf, sequence(15, 100).data(), 15));
    EXPECT_EQ(GetInQLen(com), 0);
}

TEST_F(SensorLink, ReplyInChunksIsAccepted)
{
    peer.answer(ORDER_GET_DATA, Reply{sequence(11, 1)}.after(0.05).inChunks(3, 0.04));
    request(ORDER_GET_DATA);
    EXPECT_EQ(WaitRxBuf(AnzData, TIMEOUT_REPLY, 0), RX_OK);
    EXPECT_EQ(nBytesR, AnzData);
    EXPECT_EQ(0, std::memcmp(szReadBuf, sequence(11, 1).data(), 11));
}

TEST_F(SensorLink, OneByteTooManyAlreadyQueuedFails)
{
    queueAtPort(sequence(16));
    EXPECT_EQ(WaitRxBuf(AnzPara, TIMEOUT_REPLY, 0), RX_FAILED);
    EXPECT_EQ(nBytesR, 16);
}

TEST_F(SensorLink, ByteAfterTheCountStaysQueued)
{
    // Fifteen bytes, then the sixteenth well after the wait has taken its count.
    peer.answer(ORDER_GET_EEPROM, Reply{sequence(16, 1)}.after(0.05).inChunks(15, 0.3));
    request(ORDER_GET_EEPROM);
    EXPECT_EQ(WaitRxBuf(AnzPara, TIMEOUT_REPLY, 0), RX_OK);
    EXPECT_EQ(nBytesR, AnzPara);
    EXPECT_EQ(0, std::memcmp(szReadBuf, sequence(15, 1).data(), 15));
    ASSERT_TRUE(spinUntil([] { return GetInQLen(com) >= 1; }, 2.0));
    spin(0.05);
    EXPECT_EQ(GetInQLen(com), 1);
}

TEST_F(SensorLink, QueuedReplyIsAcceptedEvenWithTheLimitPassed)
{
    queueAtPort(sequence(15, 7));
    EXPECT_EQ(WaitRxBuf(AnzPara, -1.0, 0), RX_OK);
    EXPECT_EQ(nBytesR, AnzPara);
    EXPECT_EQ(szReadBuf[14], 21);
}

TEST_F(SensorLink, SilentSensorFailsAfterTheLimit)
{
    peer.silent(ORDER_CHECK_LINE);
    request(ORDER_CHECK_LINE);
    const double t0 = Timer();
    EXPECT_EQ(WaitRxBuf(AnzPara, TIMEOUT_CHECK_LINE, 0), RX_FAILED);
    const double waited = Timer() - t0;
    EXPECT_GT(waited, 3.0);
    EXPECT_LT(waited, 4.5);
    EXPECT_EQ(nBytesR, 0);
    EXPECT_GT(tdiff, 3.0);
}

TEST_F(SensorLink, PortNotOpenFailsAfterTheLimit)
{
    ASSERT_EQ(CloseCom(com), 0);
    const double t0 = Timer();
    EXPECT_EQ(WaitRxBuf(AnzPara, 0.5, 0), RX_FAILED);
    EXPECT_GT(Timer() - t0, 0.5);
    EXPECT_LT(Timer() - t0, 2.0);
    EXPECT_NE(nBytesR, AnzPara);
}

TEST_F(SensorLink, ClearedPollAbandonsTheWaitAndReadsNothing)
{
    queueAtPort(sequence(5));
    kivrel::poll = 1;
    QTimer::singleShot(300, [] { kivrel::poll = 0; });
    const double t0 = Timer();
    EXPECT_EQ(WaitRxBuf(AnzPara, TIMEOUT_REPLY, 1), RX_ABANDONED);
    EXPECT_LT(Timer() - t0, 2.0);
    EXPECT_EQ(nBytesR, -1000);
    EXPECT_EQ(GetInQLen(com), 5);
}

TEST_F(SensorLink, ReadIsClampedToTheReceiveBuffer)
{
    // A port with a larger queue than the logic's buffer.
    ASSERT_EQ(openOnPeer(peer, TestCom, 4096), 0);
    peer.send(sequence(3000));
    ASSERT_TRUE(peer.waitUntilSent(3000ms));
    ASSERT_TRUE(spinUntil([] { return GetInQLen(com) >= 3000; }, 3.0));
    EXPECT_EQ(WaitRxBuf(2000, 1.0, 0), RX_FAILED);
    EXPECT_EQ(nBytesR, static_cast<int>(sizeof szReadBuf));
    EXPECT_EQ(GetInQLen(com), 3000 - static_cast<int>(sizeof szReadBuf));
}

TEST_F(SensorLink, WaitingForASilentSensorCostsLittleCpu)
{
    peer.silent(ORDER_GET_RAM);
    request(ORDER_GET_RAM);
    const double cpu0 = cpuSeconds();
    EXPECT_EQ(WaitRxBuf(AnzPara, TIMEOUT_REPLY, 0), RX_FAILED);
    const double cpu = cpuSeconds() - cpu0;
    RecordProperty("cpu_ms", static_cast<int>(cpu * 1000));
    EXPECT_LT(cpu, 0.5) << "CPU seconds for a 3 s wait";
}
