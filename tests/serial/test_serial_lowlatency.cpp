// Low-latency mode: asked for on open when the driver has it, and a driver that refuses
// changes nothing about the port.
#include "serial_fixture.h"

#include "serial_p.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

using namespace kivrel::test;
using namespace std::chrono_literals;

namespace
{

struct Request {
    unsigned long code;
    int flags; // the flags handed to the driver with it
};

// A driver played by the test: it records what the port asks and answers as told.
struct FakeDriver {
    std::vector<Request> requests;
    int flags = 0;     // what TIOCGSERIAL reports
    int refuseGet = 0; // errno for TIOCGSERIAL, 0 to accept
    int refuseSet = 0; // errno for TIOCSSERIAL, 0 to accept
};
FakeDriver driver;

int fakeIoctl(int, unsigned long request, void *arg)
{
    auto *settings = static_cast<serial_struct *>(arg);
    if (request == TIOCGSERIAL) {
        driver.requests.push_back({request, 0});
        if (driver.refuseGet) {
            errno = driver.refuseGet;
            return -1;
        }
        *settings = serial_struct{};
        settings->flags = driver.flags;
        return 0;
    }
    if (request == TIOCSSERIAL) {
        driver.requests.push_back({request, settings->flags});
        if (driver.refuseSet) {
            errno = driver.refuseSet;
            return -1;
        }
        driver.flags = settings->flags;
        return 0;
    }
    errno = ENOTTY;
    return -1;
}

class LowLatency : public SerialTest
{
  protected:
    void SetUp() override
    {
        SerialTest::SetUp();
        driver = FakeDriver{};
        saved = kivrel::platform::serialIoctl;
        kivrel::platform::serialIoctl = fakeIoctl;
    }
    void TearDown() override
    {
        kivrel::platform::serialIoctl = saved;
        SerialTest::TearDown();
    }

    // A request out and an 11-byte answer back through the opened port.
    void expectWorkingPort()
    {
        peer.answer(5, Reply(sequence(11, 0x30)));
        Bytes request = sequence(17);
        request[0] = 0x55;
        request[1] = 5;
        ASSERT_EQ(ComWrt(TestCom, request.data(), 17), 17);
        ASSERT_TRUE(peer.waitForTelegrams(1, 2000ms));
        EXPECT_EQ(peer.telegrams().front().bytes, request);
        ASSERT_TRUE(spinUntil([] { return GetInQLen(TestCom) >= 11; }, 2.0));
        unsigned char answer[11] = {};
        ASSERT_EQ(ComRd(TestCom, answer, 11), 11);
        EXPECT_EQ(Bytes(answer, answer + 11), sequence(11, 0x30));
    }

    kivrel::platform::SerialIoctl saved = nullptr;
};

} // namespace

TEST_F(LowLatency, IsRequestedWhenTheDriverHasTheSetting)
{
    driver.flags = ASYNC_SKIP_TEST; // whatever else is set stays set
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    ASSERT_EQ(driver.requests.size(), 2u);
    EXPECT_EQ(driver.requests[0].code, static_cast<unsigned long>(TIOCGSERIAL));
    EXPECT_EQ(driver.requests[1].code, static_cast<unsigned long>(TIOCSSERIAL));
    EXPECT_EQ(driver.requests[1].flags, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY);
    expectWorkingPort();
}

TEST_F(LowLatency, IsNotSetAgainWhenAlreadyOn)
{
    driver.flags = ASYNC_LOW_LATENCY;
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    ASSERT_EQ(driver.requests.size(), 1u);
    EXPECT_EQ(driver.requests[0].code, static_cast<unsigned long>(TIOCGSERIAL));
}

TEST_F(LowLatency, IsRequestedAgainOnEveryOpen)
{
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    ASSERT_EQ(CloseCom(TestCom), 0);
    driver.flags = 0; // a new adapter on the same number
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    ASSERT_EQ(driver.requests.size(), 4u);
    EXPECT_EQ(driver.requests[3].code, static_cast<unsigned long>(TIOCSSERIAL));
    EXPECT_EQ(driver.requests[3].flags, ASYNC_LOW_LATENCY);
}

TEST_F(LowLatency, ADriverWithoutSerialSettingsLeavesThePortWorking)
{
    driver.refuseGet = ENOTTY; // a pseudo-terminal
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    ASSERT_EQ(driver.requests.size(), 1u);
    expectWorkingPort();
}

TEST_F(LowLatency, ARefusedSettingLeavesThePortWorking)
{
    for (int refusal : {EINVAL, EPERM}) {
        driver = FakeDriver{};
        driver.refuseSet = refusal;
        ASSERT_EQ(openOnPeer(peer, TestCom), 0) << refusal;
        ASSERT_EQ(driver.requests.size(), 2u);
        EXPECT_EQ(driver.requests[1].code, static_cast<unsigned long>(TIOCSSERIAL));
        expectWorkingPort();
        ASSERT_EQ(CloseCom(TestCom), 0);
        peer.clearReceived();
    }
}

TEST_F(LowLatency, TheRealPseudoTerminalRefusesAndThePortWorks)
{
    kivrel::platform::serialIoctl = saved;
    const int fd = ::open(peer.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    serial_struct settings{};
    errno = 0;
    EXPECT_NE(saved(fd, TIOCGSERIAL, &settings), 0);
    EXPECT_EQ(errno, ENOTTY);
    ::close(fd);
    ASSERT_EQ(openOnPeer(peer, TestCom), 0);
    expectWorkingPort();
}
