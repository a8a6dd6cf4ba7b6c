// Ports on a serial device server: the RFC 2217 negotiation byte by byte, an open that waits
// for a server with the window live, purges a server leaves unanswered.
#include "device_server.h"
#include "loop.h"

#include "rfc2217.h"
#include "rs232.h"

#include <QTcpServer>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kivrel::test;
namespace rfc2217 = kivrel::platform::rfc2217;

// What the client sends and takes, given what the server says (hex; blanks are skipped): fed
// whole, and once more a byte at a time, with the same outcome. `state`: A the server takes
// COM-PORT commands, C the line is set (": why" when not as asked), P a purge awaits its answer,
// R COM-PORT-OPTION refused.
TEST(Rfc2217, NegotiationTable)
{
    const QByteArray line = "FFFA2C01000012C0FFF0 FFFA2C0208FFF0 FFFA2C0301FFF0 FFFA2C0401FFF0 "
                            "FFFA2C0501FFF0 FFFA2C0508FFF0 FFFA2C050BFFF0";
    const QByteArray acks = "FFFA2C6608FFF0 FFFA2C6701FFF0 FFFA2C6801FFF0 FFFA2C6901FFF0";
    const QByteArray purge = "FFFA2C0C01FFF0";
    const struct {
        const char *what;
        QByteArray sent, server, data, reply, state;
    } rows[] = {
        {"4800 8N1 asked", line, "", "", "", ""},
        {"ser2net's opening: its echo refused", "",
         "FFFB03 FFFD03 FFFB01 FFFE01 FFFD00 FFFB00 FFFD2C FFFD03 FFFA2C6B00FFF0", "", "FFFE01",
         "A"},
        // ser2net answers no DTR or RTS change on a pseudo-terminal; another server says off.
        {"modem lines unanswered", line, "FFFA2C65000012C0FFF0" + acks, "", "", "C"},
        {"DTR answered off", line, "FFFA2C65000012C0FFF0" + acks + "FFFA2C6909FFF0", "", "", "C"},
        {"9600 baud set instead", line, "FFFA2C6500002580FFF0" + acks, "", "",
         "C: the server set baud rate 9600, not 4800"},
        {"a doubled 0xFF is one data byte", "", "AA FFFF 04 00", "AAFF0400", "", ""},
        {"a late byte after PURGE-DATA", purge, "0B FFFA2C7001FFF0 AA0400", "AA0400", "", ""},
        {"a purge not answered yet", purge, "0B0C", "", "", "P"},
        {"COM-PORT-OPTION refused", "", "FFFE2C 55", "55", "", "R"},
        {"options nobody offered", "", "FFFD18 FFFB05 FFF1 41", "41", "FFFC18 FFFE05", ""},
        // 256 bytes of subnegotiation are kept waiting for their end; the 257th is data.
        {"a subnegotiation without its end", "", "FFFA2C" + QByteArray(255 * 2, 'A') + "4142",
         "4142", "", ""},
        {"a subnegotiation of 256 bytes", "", "FFFA2C65" + QByteArray(254 * 2, 'A') + "FFF0 4142",
         "4142", "", ""},
    };
    for (const auto &row : rows) {
        for (const bool bytewise : {false, true}) {
            SCOPED_TRACE(std::string(row.what) + (bytewise ? ", a byte at a time" : ", whole"));
            rfc2217::Session session;
            EXPECT_EQ(session.greeting().toHex(' '),
                      "ff fb 00 ff fd 00 ff fb 03 ff fd 03 ff fb 2c");
            QByteArray sent, data, reply;
            if (row.sent.startsWith(line)) sent += session.configure(rfc2217::Line{4800, 8, 0, 1});
            if (row.sent == purge) sent += session.purgeInput();
            const QByteArray server = QByteArray::fromHex(row.server);
            for (qsizetype i = 0; i < server.size(); i += bytewise ? 1 : server.size())
                session.receive(server.constData() + i, bytewise ? 1 : server.size(), data, reply);
            QString why;
            QByteArray state;
            if (session.accepted()) state += 'A';
            if (session.configured(&why)) state += 'C';
            if (session.purging()) state += 'P';
            if (session.refused()) state += 'R';
            if (!why.isEmpty()) state += ": " + why.toLatin1();
            EXPECT_EQ(sent.toHex(' '), QByteArray::fromHex(row.sent).toHex(' '));
            EXPECT_EQ(data.toHex(' '), QByteArray::fromHex(row.data).toHex(' '));
            EXPECT_EQ(reply.toHex(' '), QByteArray::fromHex(row.reply).toHex(' '));
            EXPECT_EQ(state, row.state);
        }
    }
    EXPECT_EQ(rfc2217::escape("\x55\xFF\x00\xFF", 4).toHex(' '), "55 ff ff 00 ff ff");
}

// A raw TCP server takes the connection and never answers the negotiation: the open gives up
// after 3 s and says why, and the window's events run meanwhile.
TEST(NetworkPort, AnOpenWaitsAtMostThreeSecondsWithEventsRunning)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    qputenv("KIVREL_COM13", QString("rfc2217://localhost:%1").arg(silent.serverPort()).toLatin1());
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(100);
    const Stopwatch watch;
    EXPECT_EQ(OpenComConfig(13, "", 4800, 0, 8, 1, 1024, 1024), RS232_TIMEOUT);
    EXPECT_TRUE(watch.seconds() >= 3.0 && watch.seconds() < 4.5) << watch.seconds();
    EXPECT_GE(ticks, 25) << "events ran meanwhile";
    char reason[256] = "";
    EXPECT_EQ(GetComOpenError(reason, sizeof reason), COM_OPEN_NETWORK);
    EXPECT_STREQ(reason, qPrintable("no answer to the RFC 2217 negotiation within 3 s; a raw TCP "
                                    "port is tcp://localhost:" +
                                    QString::number(silent.serverPort())));
    qunsetenv("KIVREL_COM13");
}

// The server sends a stale byte before each purge answer it gives: a purge waited for drops it,
// one sent without waiting lets it count. After three unanswered purges the next goes without
// waiting; its answer makes the port wait again, and so does a new connection. On the second
// connection each reply comes after a subnegotiation that never ends: dropped after 256 bytes,
// the reply reads as data, and stderr says so, once each time.
TEST(NetworkPort, PurgesWaitedForAgainAndSubnegotiationsWithoutEnd)
{
    // The first purge of each connection is the open's own.
    ScriptedServer server(
        {{.held = false, .purges = "AHHHAAHHH", .replyPrefix = "", .hangUpAfter = 8},
         {.held = false,
          .purges = "",
          .replyPrefix = "\xFF\xFA\x2C" + std::string(255, 'x'),
          .hangUpAfter = 0}});
    ComMapping coms;
    coms.map(13, server.address());
    ASSERT_EQ(OpenComConfig(13, "", 4800, 0, 8, 1, 1024, 1024), 0);
    SetComTime(13, 10.0);
    const Bytes request = telegram(5, zeros(15));
    std::string seen, log = "line set,purge";
    ::testing::internal::CaptureStderr();
    for (int i = 1; i <= 10; ++i) {
        FlushInQ(13);
        ASSERT_EQ(ComWrt(13, request.data(), 17), 17);
        unsigned char b = 0;
        int fives = 0; // the record, eleven of them; 'S' for the stale byte before it
        while (fives < 11 && ComRd(13, &b, 1) == 1)
            b == 5 ? void(++fives) : void(seen += b == 0xEE ? 'S' : '?');
        seen += fives == 11 ? "." : "!";
        log += i == 9 ? ",line set,purge,5" : ",purge,5";
        EXPECT_TRUE(i != 8 || ComRd(13, &b, 1) == 0) << "the server hung up: seen at once";
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    CloseCom(13);
    // 1-3 unanswered, 4 answered unawaited, 5 awaited, 6-8 unanswered; a new connection at 9.
    EXPECT_EQ(seen, "...S.......");
    EXPECT_EQ(server.log(), log);
    const std::string line = "kivrel: COM13 (" + server.address() +
                             "): a telnet subnegotiation of more than 256 bytes came without its "
                             "end, and was dropped\n";
    EXPECT_EQ(said, line + line);
}
