// The sensor link end to end: port set-up and line check, parameter transfer, polling and the
// jump buffer, against a scripted sensor on a pseudo-terminal.
#include "sensor_fixture.h"

#include "gui.h"
#include "parafile.h"

#include <QSpinBox>
#include <QTest>
#include <QTemporaryDir>

using namespace kivrel;
using namespace kivrel::test;

using LinkTest = SensorTest;

TEST_F(LinkTest, StartUpChecksTheLineThenReadsRam)
{
    EXPECT_EQ(status(), "InitVars");
    connect(kParams);
    EXPECT_EQ(status(), kLineOkText);
    // The first telegram of a run carries 15 zero bytes; so does the read that follows it.
    // (connect() cleared them; check the order seen by a fresh check instead.)
    peer->answer(7, Reply(kLineOk));
    peer->answer(3, Reply(kParams));
    std::memset(pp, 0, sizeof pp);
    InitRS232(com);
    ASSERT_TRUE(peer->waitForTelegrams(2, milliseconds(2000)));
    const auto t = peer->telegrams();
    EXPECT_EQ(t[0].bytes, telegram(7, zeros(15)));
    EXPECT_EQ(t[1].bytes, telegram(3, zeros(15)));
    EXPECT_EQ(Bytes(pp, pp + 15), kParams);
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 120);
    EXPECT_EQ(byteValue(PANEL_POWER), 50) << "sensor power 23 is 50 %";
    EXPECT_EQ(label(PANEL_THRESHOLD), "MAX TRSH") << "the read relabels for DYN1";
    EXPECT_EQ(frei15, 77);
    EXPECT_EQ(popups->count(), 0);
}

TEST_F(LinkTest, OpenFailuresAreNamedInTheStatusLine)
{
    InitRS232(0);
    EXPECT_EQ(status(), "Invalid port number");
    EXPECT_EQ(ret, -2);
    InitRS232(256);
    EXPECT_EQ(status(), "Invalid port number");
    qputenv("KIVREL_COM7", "/nonexistent/tty");
    InitRS232(7);
    qunsetenv("KIVREL_COM7");
    EXPECT_EQ(status(), "No serial port found");
    // The same device as COM 2 while COM 1 holds it.
    ASSERT_EQ(OpenComConfig(1, "", 4800, 0, 8, 1, 1024, 1024), 0);
    qputenv("KIVREL_COM2", QByteArray::fromStdString(peer->slavePath()));
    InitRS232(2);
    qunsetenv("KIVREL_COM2");
    EXPECT_EQ(status(), "Cannot open port");
    EXPECT_EQ(popups->count(), 0) << "an open failure shows no popup";
    EXPECT_TRUE(peer->telegrams().empty());

    const std::pair<int, const char *> table[] = {
        {-1, "Unknown system error"}, {-2, "Invalid port number"}, {-3, "Port is not open"},
        {-4, "Unknown I/0 error"},    {-5, "RS-232 error!"},       {-6, "No serial port found"},
        {-7, "Cannot open port"},     {-8, "RS-232 error!"},       {-99, "Timeout"},
        {-100, "RS-232 error!"}};
    for (auto [code, text] : table)
        EXPECT_STREQ(OpenErrorText(code), text) << code;
}

TEST_F(LinkTest, WrongLineCheckRepliesEndInTheTimeoutReport)
{
    for (const Bytes &reply : {Bytes{0xAA, 0x04, 0x01}, Bytes{0xAA, 0x04, 0x00, 0x00}}) {
        popups->clear();
        peer->clearReceived();
        peer->answer(7, Reply(reply));
        InitRS232(com);
        EXPECT_EQ(reports(), 1);
        EXPECT_EQ(status(), "TIMEOUT");
        spin(0.1);
        EXPECT_EQ(peer->telegrams().size(), 1u) << "no parameter read follows";
    }
}

TEST_F(LinkTest, SendToEepromWritesOneTelegramAndReadsNothing)
{
    connect(kParams);
    SetCtrlVal(panel, PANEL_THRESHOLD, 99);
    SetCtrlVal(panel, PANEL_POWER, 100);
    target = EEPROM;
    peer->send({1, 2, 3}); // stale bytes the write must not touch
    ASSERT_TRUE(spinUntil([] { return GetInQLen(com) >= 3; }, 10.0)) << "taken into the queue";
    CBF_ButtonSend(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    ASSERT_TRUE(peer->waitForTelegrams(1, milliseconds(1000)));
    spin(0.2);
    const auto t = peer->telegrams();
    ASSERT_EQ(t.size(), 1u);
    Bytes want = kParams;
    want[0] = 99;
    want[2] = 0; // 100 % is full intensity, sensor value 0
    EXPECT_EQ(t[0].bytes, telegram(2, want));
    EXPECT_EQ(nBytesW, 17);
    EXPECT_EQ(GetInQLen(com), 3) << "nothing was read or flushed";
    EXPECT_EQ(popups->count(), 0);
}

TEST_F(LinkTest, SendOnAPortThatIsNotOpenReportsAtOnce)
{
    InitRS232(0);
    const double start = Timer();
    CBF_ButtonSend(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_LT(Timer() - start, 1.0);
    EXPECT_EQ(reports(), 1);
}

TEST_F(LinkTest, GetSendsTheOldParametersAndOverwritesUnsentEdits)
{
    connect(kParams);
    SetCtrlVal(panel, PANEL_THRESHOLD, 33);
    Bytes fresh = kParams;
    fresh[0] = 140;
    peer->answer(3, Reply(fresh));
    GetPara();
    ASSERT_TRUE(peer->waitForTelegrams(1, milliseconds(1000)));
    EXPECT_EQ(peer->telegrams()[0].bytes, telegram(3, kParams));
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 140);
    EXPECT_EQ(threshold, 140);
}

TEST_F(LinkTest, ParameterRepliesOfTheWrongLengthChangeNothing)
{
    connect(kParams);
    SetCtrlVal(panel, PANEL_THRESHOLD, 33);
    const Bytes before(pp, pp + 15);
    for (int n : {14, 16}) {
        popups->clear();
        peer->answer(3, Reply(sequence(n, 200)));
        GetPara();
        EXPECT_EQ(reports(), 1) << n;
        EXPECT_EQ(Bytes(pp, pp + 15), before) << n;
        EXPECT_EQ(byteValue(PANEL_THRESHOLD), 33) << n;
    }
}

TEST_F(LinkTest, ConnectWithTheFileTargetReadsRam)
{
    target = DATFILE;
    peer->answer(7, Reply(kLineOk));
    peer->answer(3, Reply(kParams));
    InitRS232(com);
    ASSERT_TRUE(peer->waitForTelegrams(2, milliseconds(1000)));
    EXPECT_EQ(peer->telegrams()[1].order(), 3);
    EXPECT_EQ(popups->count(), 0);
    EXPECT_EQ(Bytes(pp, pp + 15), kParams);
}

TEST_F(LinkTest, PollingSendsPpAndShowsRecordsUntilStop)
{
    connect(kParams);
    peer->answerAlways(5, Reply(record(90, 101)));
    when([this] { return peer->telegrams().size() >= 5; },
         [] { CBF_ButtonStop(panel, 0, EVENT_COMMIT, nullptr, 0, 0); });
    CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(poll, 0);
    const auto t = peer->telegrams();
    ASSERT_GE(t.size(), 5u);
    for (const auto &g : t)
        EXPECT_EQ(g.bytes, telegram(5, kParams));
    EXPECT_EQ(byteValue(PANEL_DISPDAT0), 90);
    EXPECT_EQ(byteValue(PANEL_DISPTRSH), 101);
    EXPECT_EQ(intValue(PANEL_DISPWIN), 60);
    EXPECT_EQ(alldata[495], 90.0);
    EXPECT_EQ(popups->count(), 0);
    // Cycles are paced by the 50 ms sleep.
    for (std::size_t i = 1; i < t.size(); i++)
        EXPECT_GE(t[i].time - t[i - 1].time, milliseconds(45));
}

TEST_F(LinkTest, StopWhileAReplyIsOutstandingReturnsAtOnce)
{
    connect(kParams);
    peer->answer(5, Reply(record(1, 2)).after(1.0));
    after(300, [] { poll = 0; });
    const double start = Timer();
    CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_LT(Timer() - start, 0.9);
    EXPECT_EQ(popups->count(), 0);
    ASSERT_TRUE(peer->waitUntilSent(milliseconds(2000)));
    spinUntil([] { return GetInQLen(com) >= 11; }, 10.0);
    EXPECT_EQ(GetInQLen(com), 11) << "the late reply stays queued";
    EXPECT_EQ(peer->telegrams().size(), 1u);
}

TEST_F(LinkTest, AShortRecordEndsPollingWithOneReport)
{
    connect(kParams);
    peer->answer(5, Reply(record(5, 6)));
    peer->answer(5, Reply(sequence(10, 1)));
    peer->answerAlways(5, Reply(record(7, 8)));
    CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(reports(), 1);
    EXPECT_EQ(status(), "TIMEOUT");
    spin(0.2);
    EXPECT_EQ(peer->telegrams().size(), 2u) << "no request after the failed one";
    EXPECT_EQ(byteValue(PANEL_DISPDAT0), 5) << "the displays keep the last good record";
}

TEST_F(LinkTest, GoInsideGoEndsWithOneStop)
{
    connect(kParams);
    peer->answerAlways(5, Reply(record(9, 9)));
    int nestedReturned = 0;
    after(300, [&] {
        CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0); // runs nested in the first loop
        nestedReturned = 1;
    });
    after(900, [] { CBF_ButtonStop(panel, 0, EVENT_COMMIT, nullptr, 0, 0); });
    const double start = Timer();
    CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(nestedReturned, 1);
    EXPECT_LT(Timer() - start, 2.5);
    EXPECT_EQ(poll, 0);
    EXPECT_GE(peer->telegrams().size(), 5u);
    EXPECT_EQ(popups->count(), 0);
}

TEST_F(LinkTest, JumpBufferIsDrawnAgainstTheWorkingThreshold)
{
    connect(kParams);
    auto *jump = graph(PANEL_GRAPHDATA1);
    auto lineLevel = [&] { return jump->graph(1)->data()->at(0)->value; };

    peer->answer(6, Reply(kMinima));
    CBF_ButtonGetBuff(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    ASSERT_EQ(jump->plotCount(), 2);
    EXPECT_EQ(lineLevel(), 0.0) << "no record polled yet";
    EXPECT_EQ(jump->graph(0)->pen().color(), QColor(0, 0, 255));
    EXPECT_EQ(jump->graph(1)->pen().color(), QColor(0, 0, 0));
    EXPECT_EQ(Bytes(jumpbuf, jumpbuf + 16), kMinima);
    EXPECT_EQ(jump->graph(0)->data()->at(15)->value, 55.0);

    peer->answerAlways(5, Reply(record(50, 123)));
    after(300, [] { poll = 0; });
    CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    peer->answer(6, Reply(kMinima));
    CBF_ButtonGetBuff(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(lineLevel(), 123.0);
    EXPECT_TRUE(shown(PANEL_GRAPHDATA1));
    EXPECT_FALSE(shown(PANEL_GRAPHRAW1));
    EXPECT_FALSE(shown(PANEL_GRAPHDATA2));

    // A short reply keeps what was drawn.
    peer->answer(6, Reply(sequence(15, 1)));
    CBF_ButtonGetBuff(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(reports(), 1);
    EXPECT_EQ(Bytes(jumpbuf, jumpbuf + 16), kMinima);
    EXPECT_TRUE(shown(PANEL_GRAPHDATA1));
}

TEST_F(LinkTest, SettleWaitsDependOnTheTarget)
{
    connect(kParams);
    for (int tgt : {RAM, EEPROM}) {
        peer->clearReceived();
        target = tgt;
        peer->answer(tgt == RAM ? 3 : 4, Reply(kParams));
        const auto pressed = std::chrono::steady_clock::now();
        CBF_ButtonGet(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
        ASSERT_TRUE(peer->waitForTelegrams(1, milliseconds(1000)));
        const double waited =
            std::chrono::duration<double>(peer->telegrams()[0].time - pressed).count();
        if (tgt == RAM) {
            EXPECT_GE(waited, 0.1);
            EXPECT_LT(waited, 0.8);
        } else {
            EXPECT_GE(waited, 1.5);
            EXPECT_LT(waited, 2.5);
        }
    }
    EXPECT_EQ(popups->count(), 0);
}

TEST_F(LinkTest, SilentSensorTimesOutAfterThreeSeconds)
{
    connect(kParams);
    const double start = Timer();
    GetPara();
    const double took = Timer() - start;
    EXPECT_GT(took, 3.0);
    EXPECT_LT(took, 4.5);
    EXPECT_EQ(reports(), 1);
}

TEST_F(LinkTest, ConnectClosesReopensAndEndsPolling)
{
    connect(kParams);
    peer->answerAlways(5, Reply(record(3, 3)));
    QString seen;
    after(300, [&] {
        peer->answer(7, Reply(kLineOk));
        peer->answer(3, Reply(kParams));
        CBF_EditConnect(panel, PANEL_COMPORT, EVENT_COMMIT, nullptr, 0, 0);
        seen = status();
    });
    CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0); // returns once the connect ended it
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(seen, kLineOkText);
    EXPECT_EQ(com, 1);
    EXPECT_EQ(popups->count(), 0);
}

TEST_F(LinkTest, ClosingThePanelDuringPollingEndsTheEventLoop)
{
    connect(kParams);
    peer->answerAlways(5, Reply(record(3, 3)));
    after(50, [] { CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0); });
    after(500, [] { CBF_P(panel, EVENT_CLOSE, nullptr, 0, 0); });
    const Stopwatch watch;
    EXPECT_TRUE(runProgramLoop(10.0)) << "the close ended the program loop";
    EXPECT_LT(watch.seconds(), 2.0);
    EXPECT_EQ(poll, 0);
    EXPECT_GE(peer->telegrams().size(), 2u);
}

// The POWER byte a sensor holds goes out again unchanged wherever a set is read and written back
// without touching POWER: Get then Send for every byte; save, load and Send for bytes of every
// kind (a file dialog takes a while). A byte with no percent (above 46) says so in the field;
// the operator's own change replaces it.
TEST_F(LinkTest, PowerByteSurvivesEveryRoundTrip)
{
    connect(kParams);
    QTemporaryDir dir;
    const QString file = dir.filePath("power.dat");
    std::vector<std::string> moved;
    for (int b = 0; b < 256; b++) {
        const bool viaFile = b % 23 == 0 || b == 1 || b == 45 || b == 46 || b == 47 || b == 255;
        Bytes params = kParams;
        params[2] = static_cast<unsigned char>(b);
        peer->clearReceived();
        peer->answer(3, Reply(params));
        GetPara();
        int text = -1;
        GetCtrlAttribute(panel, PANEL_POWER, ATTR_VALUE_TEXT_SHOWN, &text);
        SendPara();
        if (viaFile) {
            popups->answerFileDialog(file);
            SendParaToFile();
            pp[2] = 0;
            popups->answerFileDialog(file);
            ReadParaFromFile();
            SendPara();
        }
        ASSERT_TRUE(peer->waitForTelegrams(viaFile ? 3 : 2, milliseconds(2000))) << "byte " << b;
        const auto t = peer->telegrams();
        if (t[1].bytes[4] != b || t.back().bytes[4] != b || text != (b > 46))
            moved.push_back(std::to_string(b) + ": sent " + std::to_string(t[1].bytes[4]) +
                            ", after the file " + std::to_string(t.back().bytes[4]) +
                            ", text shown " + std::to_string(text));
    }
    EXPECT_EQ(moved, std::vector<std::string>{});
    EXPECT_EQ(popups->countOf("init", "init.dat"), popups->count()) << "only the file dialogs";

    // The operator's arrow or typed percent replaces a byte the field could not show.
    auto *field = qobject_cast<QSpinBox *>(platform::controlWidget(panel, PANEL_POWER));
    ASSERT_NE(field, nullptr);
    for (const int typed : {-1, 78}) {
        peer->clearReceived();
        Bytes params = kParams;
        params[2] = 200;
        peer->answer(3, Reply(params));
        GetPara();
        if (typed < 0) {
            field->stepBy(1); // from the text to 0 %
        } else {
            field->selectAll();
            QTest::keyClicks(field, QString::number(typed));
            field->interpretText();
        }
        SendPara();
        ASSERT_TRUE(peer->waitForTelegrams(2, milliseconds(2000)));
        EXPECT_EQ(peer->telegrams()[1].bytes[4], typed < 0 ? 46 : 10) << typed;
    }
}
