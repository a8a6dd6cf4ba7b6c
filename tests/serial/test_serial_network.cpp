// Ports on a serial device server: the RFC 2217 negotiation byte by byte, and opens that fail
// the way a network fails, with the window live meanwhile.
#include "loop.h"

#include "rfc2217.h"
#include "rs232.h"

#include <QTcpServer>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace kivrel::test;
namespace rfc2217 = kivrel::platform::rfc2217;

namespace
{

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text); // the blanks between bytes are skipped
}

} // namespace

// What the client sends and takes, given what the server says: the server's bytes are fed
// whole and once more a byte at a time, with the same outcome.
TEST(Rfc2217, NegotiationTable)
{
    const char *greeting = "FFFB00 FFFD00 FFFB03 FFFD03 FFFB2C";
    const char *line4800 = "FFFA2C01000012C0FFF0 FFFA2C0208FFF0 FFFA2C0301FFF0 FFFA2C0401FFF0 "
                           "FFFA2C0501FFF0 FFFA2C0508FFF0 FFFA2C050BFFF0";
    const char *acks4800 = "FFFA2C65000012C0FFF0 FFFA2C6608FFF0 FFFA2C6701FFF0 FFFA2C6801FFF0 "
                           "FFFA2C6901FFF0";
    const struct {
        const char *what;
        bool configure, purge;
        QByteArray server;
        const char *sent, *data, *reply;
        bool accepted, configured;
        const char *why;
        bool purging = false, refused = false;
    } rows[] = {
        {"4800 8N1 asked", true, false, {}, line4800, "", "", false, false, ""},
        {"ser2net's opening: its echo is refused, the rest agreed", false, false,
         hex("FFFB03 FFFD03 FFFB01 FFFE01 FFFD00 FFFB00 FFFD2C FFFD03 FFFA2C6B00FFF0"), "", "",
         "FFFE01", true, false, ""},
        // ser2net answers no DTR or RTS change on a pseudo-terminal; another server says no.
        {"the line set, the modem lines refused", true, false, hex(acks4800), line4800, "", "",
         false, true, ""},
        {"the line set, DTR answered off", true, false, hex(acks4800) + hex("FFFA2C6909FFF0"),
         line4800, "", "", false, true, ""},
        {"a baud rate the server would not set", true, false,
         hex("FFFA2C6500002580FFF0 FFFA2C6608FFF0 FFFA2C6701FFF0 FFFA2C6801FFF0 FFFA2C6901FFF0"),
         line4800, "", "", false, true, "the server set baud rate 9600, not 4800"},
        {"a doubled 0xFF is one data byte", false, false, hex("AA FFFF 04 00"), "", "AAFF0400", "",
         false, false, ""},
        {"a late byte after PURGE-DATA is dropped", false, true, hex("0B FFFA2C7001FFF0 AA0400"),
         "FFFA2C0C01FFF0", "AA0400", "", false, false, ""},
        {"no answer to the purge: nothing counts yet", false, true, hex("0B0C"), "FFFA2C0C01FFF0",
         "", "", false, false, "", true},
        {"COM-PORT-OPTION refused", false, false, hex("FFFE2C 55"), "", "55", "", false, false, "",
         false, true},
        {"options nobody offered", false, false, hex("FFFD18 FFFB05 FFF1 41"), "", "41",
         "FFFC18 FFFE05", false, false, ""},
    };
    for (const auto &row : rows) {
        for (const bool bytewise : {false, true}) {
            SCOPED_TRACE(std::string(row.what) + (bytewise ? ", a byte at a time" : ", whole"));
            rfc2217::Session session;
            ASSERT_EQ(session.greeting().toHex(), hex(greeting).toHex());
            QByteArray sent;
            if (row.configure) sent += session.configure(rfc2217::Line{4800, 8, 0, 1});
            if (row.purge) sent += session.purgeInput();
            QByteArray data, reply;
            if (bytewise)
                for (char b : row.server)
                    session.receive(&b, 1, data, reply);
            else
                session.receive(row.server.constData(), row.server.size(), data, reply);
            QString why;
            EXPECT_EQ(sent.toHex(' '), hex(row.sent).toHex(' '));
            EXPECT_EQ(data.toHex(' '), hex(row.data).toHex(' '));
            EXPECT_EQ(reply.toHex(' '), hex(row.reply).toHex(' '));
            EXPECT_EQ(session.accepted(), row.accepted);
            EXPECT_EQ(session.configured(&why), row.configured);
            EXPECT_EQ(why, QString::fromLatin1(row.why));
            EXPECT_EQ(session.purging(), row.purging);
            EXPECT_EQ(session.refused(), row.refused);
        }
    }
    EXPECT_EQ(rfc2217::escape("\x55\xFF\x00\xFF", 4).toHex(' '), "55 ff ff 00 ff ff");
}

// Opens that fail: nothing listens, or a raw TCP server takes the connection and never answers
// the negotiation. The window's events run meanwhile, and a failure says why.
TEST(NetworkPort, OpenFailuresTellWhyAndKeepEventsRunning)
{
    QTcpServer silent; // accepts, and never says a word
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 nobody = closed.serverPort();
    closed.close();

    const struct {
        QString address;
        int code;
        const char *reason;
        double atLeast, atMost; // seconds
    } rows[] = {
        {QString("rfc2217://127.0.0.1:%1").arg(nobody), RS232_CANNOT_OPEN_PORT,
         "Connection refused", 0, 1},
        {QString("rfc2217://localhost:%1").arg(silent.serverPort()), RS232_TIMEOUT,
         "no answer to the RFC 2217 negotiation within 3 s; a raw TCP port is tcp://", 3.0, 4.5},
        {"tcp://127.0.0.1", RS232_NO_PORT_FOUND, "not an address of the form", 0, 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.address.toStdString());
        ::setenv("KIVREL_COM13", row.address.toLocal8Bit().constData(), 1);
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(100);
        const Stopwatch watch;
        EXPECT_EQ(OpenComConfig(13, "", 4800, 0, 8, 1, 1024, 1024), row.code);
        const double took = watch.seconds();
        char reason[256] = "";
        EXPECT_EQ(GetComOpenError(reason, sizeof reason), COM_OPEN_NETWORK);
        EXPECT_TRUE(std::string(reason).starts_with(row.reason)) << reason;
        EXPECT_GE(took, row.atLeast);
        EXPECT_LT(took, row.atMost);
        if (row.atLeast > 0) {
            EXPECT_GE(ticks, int(row.atLeast * 10) - 5) << "events ran meanwhile";
        }
        EXPECT_EQ(GetInQLen(13), RS232_PORT_NOT_OPEN);
    }
    ::unsetenv("KIVREL_COM13");
}
