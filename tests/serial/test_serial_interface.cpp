// The RS-232 services over a port of a kind they were not written for: every call reaches the
// port that the open picked, with its number's settings, and nothing asks what kind it is.
#include "port_p.h"
#include "rs232.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QStringList>

#include <cstring>

using namespace kivrel::platform;

namespace
{

// Records what it is asked; `failure` makes its open fail.
struct FakePort : Port {
    QStringList calls;
    QByteArray written, input;
    LineSettings line;
    int queueSize = 0;
    double seconds = -1;
    bool open_ = false;
    PortFailure failure, reconnect;

    int open(const LineSettings &l, int inputQueueSize, PortFailure *f) override
    {
        line = l;
        queueSize = inputQueueSize;
        open_ = failure.code == 0;
        *f = failure;
        return failure.code;
    }
    void close() override
    {
        calls << "close";
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    int write(const char *data, int count, double s) override
    {
        written.append(data, count);
        seconds = s;
        return count;
    }
    int read(char *data, int count, double s) override
    {
        seconds = s;
        const int n = int(std::min<qsizetype>(count, input.size()));
        std::memcpy(data, input.constData(), size_t(n));
        input.remove(0, n);
        return n;
    }
    qint64 queued() override { return input.size(); }
    int flushInput() override { return calls << "flush in", 0; }
    int flushOutput() override { return calls << "flush out", 0; }
    int setHardwareHandshake(bool on) override { return calls << (on ? "cts" : "no cts"), 0; }
    PortFailure reconnectFailure() const override { return reconnect; }
    QString name() const override { return QStringLiteral("fake:port"); }
};

QStringList reports;

} // namespace

TEST(PortInterface, TheServicesTalkToThePortTheOpenPicked)
{
    auto fake = std::make_shared<FakePort>();
    setPortMaker([fake](int, const QString &device) {
        return device == "fake:port" ? fake : std::shared_ptr<FakePort>();
    });
    SetComReportHandler([](int port, const char *device, int kind, const char *text) {
        reports << QStringLiteral("%1 %2 %3 %4").arg(port).arg(device).arg(kind).arg(text);
    });

    ASSERT_EQ(OpenComConfig(7, "fake:port", 4800, 0, 8, 1, 64, 64), 0);
    EXPECT_EQ(fake->line.baudRate, 4800);
    EXPECT_EQ(fake->line.dataBits, 8);
    EXPECT_EQ(fake->queueSize, 64);
    ASSERT_EQ(SetComTime(7, 2.5), 0);
    const unsigned char telegram[] = {0x55, 5, 120, 150};
    EXPECT_EQ(ComWrt(7, telegram, 4), 4);
    EXPECT_EQ(fake->written, QByteArray("\x55\x05\x78\x96", 4));
    EXPECT_EQ(fake->seconds, 2.5);
    fake->input = QByteArray(100, 'r');
    EXPECT_EQ(GetInQLen(7), 64) << "never more than the input queue";
    unsigned char reply[11];
    EXPECT_EQ(ComRd(7, reply, 11), 11);
    EXPECT_EQ(GetInQLen(7), 64);
    EXPECT_EQ(FlushInQ(7), 0);
    EXPECT_EQ(FlushOutQ(7), 0);
    EXPECT_EQ(SetCTSMode(7, 1), 0);
    EXPECT_EQ(SetCTSMode(7, 2), RS232_ERROR);
    fake->reconnect = {RS232_CANNOT_OPEN_PORT, COM_OPEN_NETWORK, "Connection refused"};
    char why[64];
    EXPECT_EQ(GetComReconnectError(7, why, sizeof why), RS232_CANNOT_OPEN_PORT);
    EXPECT_STREQ(why, "Connection refused");
    // A device that went away counts as closed.
    fake->open_ = false;
    EXPECT_EQ(ComWrt(7, telegram, 4), RS232_PORT_NOT_OPEN);
    EXPECT_EQ(CloseCom(7), RS232_PORT_NOT_OPEN);
    EXPECT_EQ(fake->calls, (QStringList{"flush in", "flush out", "cts", "close"}));

    // A failed open: its code, its reason for GetComOpenError, said through the handler once.
    fake->failure = {RS232_CANNOT_OPEN_PORT, COM_OPEN_IN_USE, "Device or resource busy"};
    EXPECT_EQ(OpenComConfig(7, "fake:port", 4800, 0, 8, 1, 64, 64), RS232_CANNOT_OPEN_PORT);
    EXPECT_EQ(GetComOpenError(why, sizeof why), COM_OPEN_IN_USE);
    EXPECT_STREQ(why, "Device or resource busy");
    EXPECT_EQ(GetInQLen(7), RS232_PORT_NOT_OPEN);
    EXPECT_EQ(reports, QStringList{"7 fake:port 1 cannot open: Device or resource busy"});
    setPortMaker({});
}
