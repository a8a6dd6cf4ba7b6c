// A device that goes away while open: the port closes itself, nothing spins, and the port can
// be opened again once a device is back.
#include "serial_fixture.h"

#include "com232.h"
#include "state.h"

#include <QTimer>

using namespace kivrel;
using namespace kivrel::test;
using namespace std::chrono_literals;

using VanishedDevice = SerialTest;

TEST_F(VanishedDevice, HangUpDuringAWaitClosesThePortWithoutSpinning)
{
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    com = TestCom;
    kivrel::sync = 0x55;
    order = ORDER_GET_RAM;
    peer.silent(ORDER_GET_RAM);
    SendTelegram(1);
    ASSERT_TRUE(peer.waitForTelegrams(1, 2000ms));

    QTimer::singleShot(200, [this] { peer.hangUp(); });
    const double t0 = Timer();
    EXPECT_EQ(WaitRxBuf(AnzPara, 1.0, 0), RX_FAILED);
    EXPECT_LT(Timer() - t0, 2.5);
    ASSERT_TRUE(peer.hungUp());

    // The platform closed the port on its own.
    ASSERT_TRUE(spinUntil([] { return GetInQLen(TestCom) < 0; }, 2.0));
    const unsigned char byte = 0x55;
    EXPECT_LT(ComWrt(TestCom, &byte, 1), 0);
    unsigned char in = 0;
    EXPECT_LT(ComRd(TestCom, &in, 1), 0);

    const double cpu0 = cpuSeconds();
    spin(1.0);
    const double cpu = cpuSeconds() - cpu0;
    RecordProperty("cpu_ms", static_cast<int>(cpu * 1000));
    EXPECT_LT(cpu, 0.5) << "CPU seconds for 1 s of event loop after the hang-up";
    EXPECT_LT(GetInQLen(TestCom), 0);
    EXPECT_EQ(CloseCom(TestCom), RS232_PORT_NOT_OPEN);

    // A device again under the same number: the port works as before.
    SensorPeer fresh;
    ASSERT_TRUE(fresh.ok());
    ASSERT_EQ(openOnPeer(fresh, TestCom), 0);
    fresh.answer(ORDER_GET_RAM, Reply{sequence(15, 3)}.after(0.05));
    SendTelegram(1);
    EXPECT_EQ(WaitRxBuf(AnzPara, TIMEOUT_REPLY, 0), RX_OK);
    EXPECT_EQ(nBytesR, AnzPara);
}

TEST_F(VanishedDevice, HangUpWhileIdleIsNoticedByTheEventLoopAlone)
{
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    peer.hangUp();
    ASSERT_TRUE(spinUntil([] { return GetInQLen(TestCom) < 0; }, 2.0));
    const double cpu0 = cpuSeconds();
    spin(1.0);
    EXPECT_LT(cpuSeconds() - cpu0, 0.5);
}

TEST_F(VanishedDevice, HangUpDuringABlockingReadEndsIt)
{
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    ASSERT_EQ(SetComTime(TestCom, 2.0), 0);
    std::thread pull([this] {
        std::this_thread::sleep_for(200ms);
        peer.hangUp();
    });
    unsigned char buf[8];
    const double t0 = Timer();
    const double cpu0 = cpuSeconds();
    EXPECT_LE(ComRd(TestCom, buf, 8), 0);
    const double cpu = cpuSeconds() - cpu0;
    const double waited = Timer() - t0;
    pull.join();
    EXPECT_LT(waited, 2.5);
    EXPECT_LT(cpu, 0.5);
    ASSERT_TRUE(spinUntil([] { return GetInQLen(TestCom) < 0; }, 2.0));
}
