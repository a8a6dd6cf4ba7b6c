// Serial ports by number: open codes, writes that reach the line, bounded reads and queues.
#include "serial_fixture.h"

#include <array>
#include <cstdlib>
#include <string>

using namespace kivrel::test;
using namespace std::chrono_literals;

using SerialOpen = SerialTest;

TEST_F(SerialOpen, NumbersOutsideTheTableAreInvalid)
{
    EXPECT_EQ(OpenComConfig(0, "", 19200, 0, 8, 1, 512, 512), RS232_INVALID_PORT);
    EXPECT_EQ(OpenComConfig(256, "", 19200, 0, 8, 1, 512, 512), RS232_INVALID_PORT);
    EXPECT_EQ(OpenComConfig(-1, "", 19200, 0, 8, 1, 512, 512), RS232_INVALID_PORT);
    EXPECT_EQ(CloseCom(0), RS232_INVALID_PORT);
    EXPECT_EQ(GetInQLen(256), RS232_INVALID_PORT);
}

TEST_F(SerialOpen, MappedPathThatDoesNotExistFindsNoPort)
{
    const std::string var = "KIVREL_COM" + std::to_string(TestCom);
    setenv(var.c_str(), "/dev/kivrel-no-such-device", 1);
    EXPECT_EQ(OpenComConfig(TestCom, "", 19200, 0, 8, 1, 512, 512), RS232_NO_PORT_FOUND);
    unsetenv(var.c_str());
    EXPECT_LT(GetInQLen(TestCom), 0);
}

TEST_F(SerialOpen, DeviceHeldByAnotherPortCannotBeOpened)
{
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    peer.mapToCom(OtherCom);
    EXPECT_EQ(OpenComConfig(OtherCom, "", 19200, 0, 8, 1, 512, 512), RS232_CANNOT_OPEN_PORT);
    EXPECT_LT(GetInQLen(OtherCom), 0);
    // The first port is untouched by the refused open.
    EXPECT_EQ(GetInQLen(TestCom), 0);
}

TEST_F(SerialOpen, RefusedLineSettingsLeaveThePortClosed)
{
    peer.mapToCom(TestCom);
    EXPECT_EQ(OpenComConfig(TestCom, "", 19200, 7, 8, 1, 512, 512), RS232_UNKNOWN_SYSTEM_ERROR);
    EXPECT_LT(GetInQLen(TestCom), 0);
    EXPECT_EQ(OpenComConfig(TestCom, "", 19200, 0, 8, 1, 512, 512), 0);
}

TEST_F(SerialOpen, DeviceNameOverridesTheNumbersDevice)
{
    const std::string var = "KIVREL_COM" + std::to_string(TestCom);
    unsetenv(var.c_str());
    ASSERT_EQ(OpenComConfig(TestCom, peer.slavePath().c_str(), 19200, 0, 8, 1, 512, 512), 0);
    const unsigned char byte = 0x5A;
    EXPECT_EQ(ComWrt(TestCom, &byte, 1), 1);
    ASSERT_EQ(CloseCom(TestCom), 0);

    // "COMk" names the standard device of k, here the peer mapped to the other number.
    peer.mapToCom(OtherCom);
    const std::string name = "COM" + std::to_string(OtherCom);
    ASSERT_EQ(OpenComConfig(TestCom, name.c_str(), 19200, 0, 8, 1, 512, 512), 0);
    EXPECT_EQ(ComWrt(TestCom, &byte, 1), 1);
    ASSERT_TRUE(spinUntil([&] { return peer.received().size() == 2; }, 2.0));
    EXPECT_EQ(peer.received(), (Bytes{0x5A, 0x5A}));
}

TEST_F(SerialOpen, ReopeningAnOpenPortClosesItFirst)
{
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    EXPECT_EQ(openOnPeer(peer, TestCom), 0);
    EXPECT_EQ(GetInQLen(TestCom), 0);
}

TEST_F(SerialOpen, ClosingAPortThatIsNotOpenFails)
{
    EXPECT_EQ(CloseCom(TestCom), RS232_PORT_NOT_OPEN);
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    EXPECT_EQ(CloseCom(TestCom), 0);
    EXPECT_EQ(CloseCom(TestCom), RS232_PORT_NOT_OPEN);
    const unsigned char byte = 1;
    EXPECT_LT(ComWrt(TestCom, &byte, 1), 0);
    EXPECT_LT(SetComTime(TestCom, 1.0), 0);
}

using SerialIo = SerialTest;

TEST_F(SerialIo, WriteReachesTheLineWithoutTheEventLoop)
{
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    const Bytes out = sequence(17, 0x40);
    EXPECT_EQ(ComWrt(TestCom, out.data(), 17), 17);
    // No ProcessSystemEvents here: the bytes must already be with the driver.
    ASSERT_TRUE(peer.waitForTelegrams(1, 2000ms));
    EXPECT_EQ(peer.telegrams()[0].bytes, out);
}

TEST_F(SerialIo, ReadNeverMovesMoreThanAsked)
{
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    peer.send(sequence(10, 1));
    ASSERT_TRUE(spinUntil([] { return GetInQLen(TestCom) == 10; }, 3.0));

    std::array<unsigned char, 16> buf;
    buf.fill(0xEE);
    EXPECT_EQ(ComRd(TestCom, buf.data(), 4), 4);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[3], 4);
    EXPECT_EQ(buf[4], 0xEE);
    EXPECT_EQ(GetInQLen(TestCom), 6);

    buf.fill(0xEE);
    EXPECT_EQ(ComRd(TestCom, buf.data(), 0), 0);
    EXPECT_LE(ComRd(TestCom, buf.data(), -5), 0);
    EXPECT_LE(ComRd(TestCom, nullptr, 3), 0);
    EXPECT_EQ(buf[0], 0xEE);
    EXPECT_EQ(GetInQLen(TestCom), 6);

    EXPECT_EQ(ComRd(TestCom, buf.data(), 6), 6);
    EXPECT_EQ(buf[5], 10);
    EXPECT_EQ(GetInQLen(TestCom), 0);
}

TEST_F(SerialIo, ReadWaitsForMissingBytesUpToTheLimit)
{
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    ASSERT_EQ(SetComTime(TestCom, 2.0), 0);
    peer.answer(3, Reply{sequence(8)}.after(0.2));
    const Bytes request = {0x55, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(ComWrt(TestCom, request.data(), 17), 17);

    std::array<unsigned char, 8> buf{};
    const double t0 = Timer();
    EXPECT_EQ(ComRd(TestCom, buf.data(), 8), 8);
    EXPECT_LT(Timer() - t0, 1.5);
    EXPECT_EQ(buf[7], 7);

    // Nothing more comes: the read gives up after the limit with what it has.
    ASSERT_EQ(SetComTime(TestCom, 0.3), 0);
    const double t1 = Timer();
    EXPECT_EQ(ComRd(TestCom, buf.data(), 8), 0);
    EXPECT_GE(Timer() - t1, 0.29);
    EXPECT_LT(Timer() - t1, 2.0);
}

TEST_F(SerialIo, InputQueueNeverReportsMoreThanItsSize)
{
    ASSERT_EQ(openOnPeer(peer, TestCom, 1024), 0);
    peer.send(sequence(4000));

    int highest = 0;
    ASSERT_TRUE(spinUntil(
        [&] {
            highest = std::max(highest, GetInQLen(TestCom));
            return highest >= 1024;
        },
        5.0));
    spin(0.1);
    highest = std::max(highest, GetInQLen(TestCom));
    EXPECT_EQ(highest, 1024);

    // Draining the queue lets the rest in, in order.
    Bytes got;
    std::array<unsigned char, 1024> buf;
    ASSERT_TRUE(spinUntil(
        [&] {
            const int n = GetInQLen(TestCom);
            EXPECT_LE(n, 1024);
            if (n > 0) {
                const int r = ComRd(TestCom, buf.data(), n);
                got.insert(got.end(), buf.begin(), buf.begin() + std::max(r, 0));
            }
            return got.size() >= 4000;
        },
        5.0));
    EXPECT_EQ(got, sequence(4000));
}

TEST_F(SerialIo, FlushingTheInputQueueDiscardsWhatWasReceived)
{
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    peer.send(sequence(20));
    ASSERT_TRUE(spinUntil([] { return GetInQLen(TestCom) == 20; }, 3.0));
    EXPECT_EQ(FlushInQ(TestCom), 0);
    EXPECT_EQ(GetInQLen(TestCom), 0);
    EXPECT_EQ(FlushOutQ(TestCom), 0);
    EXPECT_EQ(SetCTSMode(TestCom, 0), 0);
}
