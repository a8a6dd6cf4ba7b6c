// Line faults against a scripted sensor: every reading operation with a silent, short, long,
// noisy and late reply; the line dropped during polling and the device back; a port another
// program holds.
#include "line_faults.h"

#include "ui_graph.h"

using namespace kivrel;
using namespace reltest;

namespace
{

const Bytes kFresh{140, 150, 23, 0, 10, 0, 10, 10, 1, 1, 5, 0, 1, 20, 78};
const Bytes kMinima{40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55};

Bytes goodReply(Op op)
{
    switch (op) {
    case Op::LineCheck: return kLineOk;
    case Op::GetRam:
    case Op::GetEeprom: return kFresh;
    case Op::Polling: return record(90, 101);
    case Op::JumpBuffer: return kMinima;
    }
    return {};
}

Bytes noise()
{
    Bytes b;
    unsigned x = 0x2545F491u;
    for (int i = 0; i < 23; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b.push_back(static_cast<unsigned char>(x >> 24));
    }
    return b;
}

Reply faulty(Fault f, Bytes good)
{
    switch (f) {
    case Fault::Silence: return Reply::silence();
    case Fault::Short: good.pop_back(); return Reply(good);
    case Fault::Long: good.push_back(0x5A); return Reply(good);
    // Longer than any reply; line noise of exactly a reply's length is a valid reply to a
    // protocol without framing.
    case Fault::Noise: return Reply(noise());
    case Fault::Late: return Reply(good).after(kLateSeconds);
    }
    return {};
}

} // namespace

class PeerLineFault : public RelTest, public testing::WithParamInterface<FaultCase>
{
};

TEST_P(PeerLineFault, EndsInOneTimeoutReportAndChangesNothing)
{
    const auto [op, fault] = GetParam();
    connect();
    if (op == Op::GetEeprom) {
        click(PANEL_EEPROM);
        ASSERT_EQ(target, EEPROM);
    }
    SetCtrlVal(panel, PANEL_THRESHOLD, 33); // an unsent edit a failed read must keep
    peer->answer(orderOf(op), faulty(fault, goodReply(op)));
    const Snapshot before = snapshot();

    const Stopwatch watch;
    switch (op) {
    case Op::LineCheck: InitRS232(com); break;
    case Op::GetRam:
    case Op::GetEeprom: click(BUTTON_GET); break;
    case Op::Polling: click(BUTTON_GO); break;
    case Op::JumpBuffer: click(BUTTON_GETBUFF); break;
    }
    const double took = watch.seconds();

    expectOneTimeoutReport(before, took, settleOf(op) + 3.0 + kMargin);
    const auto sent = telegrams();
    ASSERT_EQ(sent.size(), 1u) << "one request, nothing after the failure";
    EXPECT_EQ(sent[0].order(), orderOf(op));

    // No second report turns up later, and the line serves the next read.
    spin(fault == Fault::Late ? kLateSeconds - took + 0.3 : 0.2);
    EXPECT_EQ(popups->count(), 1);
    peer->answer(3, Reply(kFresh));
    target = RAM;
    GetPara();
    EXPECT_EQ(popups->count(), 1);
    EXPECT_EQ(Bytes(pp, pp + AnzPara), kFresh);
}

INSTANTIATE_TEST_SUITE_P(AllReads, PeerLineFault,
                         testing::Combine(testing::ValuesIn(kOps), testing::ValuesIn(kFaults)),
                         caseName);

// ---- The line dropped and back ---------------------------------------------------------------

using LineDrop = RelTest;

// The adapter plugged in again: a new sensor on the same COM number that answers a connect
// with the fresh parameter set.
void plugInAgain(std::unique_ptr<SensorPeer> &peer)
{
    peer.reset();
    peer = std::make_unique<SensorPeer>();
    ASSERT_TRUE(peer->ok());
    peer->mapToCom(1);
    peer->answer(7, Reply(kLineOk));
    peer->answer(3, Reply(kFresh));
}

TEST_F(LineDrop, HangUpDuringPollingReportsOnceThenAConnectWorksAgain)
{
    connect();
    peer->answerAlways(5, Reply(record(9, 9)));
    double droppedAt = 0.0;
    after(400, [&] {
        peer->hangUp();
        droppedAt = Timer();
    });
    click(BUTTON_GO);
    const double afterDrop = Timer() - droppedAt;
    EXPECT_GT(droppedAt, 0.0);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(reports(), 1);
    EXPECT_EQ(popups->count(), 1);
    EXPECT_EQ(status(), "TIMEOUT");
    EXPECT_LT(afterDrop, 3.0 + kMargin);
    EXPECT_EQ(byteValue(PANEL_DISPDAT0), 9) << "the last good record stays on show";

    // The device comes back on the same COM number; the operator picks the port again.
    ASSERT_NO_FATAL_FAILURE(plugInAgain(peer));
    popups->clear();
    pickPort(1);
    EXPECT_EQ(status(), kLineOkText);
    EXPECT_EQ(Bytes(pp, pp + AnzPara), kFresh);
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 140);

    peer->answerAlways(5, Reply(record(44, 45)));
    after(600, [] { click(BUTTON_STOP); });
    click(BUTTON_GO);
    EXPECT_EQ(popups->count(), 0);
    EXPECT_EQ(byteValue(PANEL_DISPDAT0), 44);
    EXPECT_GE(telegrams().size(), 4u);
}

TEST_F(LineDrop, HangUpWhileIdleThenEveryReadReportsUntilTheDeviceIsBack)
{
    connect();
    peer->hangUp();
    spin(0.2);
    const Snapshot before = snapshot();
    for (int button : {BUTTON_GET, BUTTON_GO}) {
        popups->clear();
        const Stopwatch watch;
        click(button);
        EXPECT_EQ(reports(), 1) << button;
        EXPECT_EQ(popups->count(), 1) << button;
        EXPECT_LT(watch.seconds(), 0.1 + 3.0 + kMargin) << button;
    }
    EXPECT_EQ(describe(before, snapshot()), "unchanged");

    ASSERT_NO_FATAL_FAILURE(plugInAgain(peer));
    popups->clear();
    pickPort(1);
    EXPECT_EQ(status(), kLineOkText);
    EXPECT_EQ(popups->count(), 0);
}

// ---- A port another program holds ------------------------------------------------------------

using LineBusy = RelTest;

TEST_F(LineBusy, APortHeldByAnotherProgramFailsToOpenChangesNothingAndOpensOnceFree)
{
    connect();
    peer->answer(7, Reply(kLineOk));
    peer->answer(3, Reply(kParams));
    QProcess holder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("KIVREL_COM1", QString::fromStdString(peer->slavePath()));
    holder.setProcessEnvironment(env);
    CloseCom(com); // the other program is the one that holds the line now
    holder.start(KIVREL_PROGRAM, {});
    ASSERT_TRUE(holder.waitForStarted(5000));
    ASSERT_TRUE(peer->waitForTelegrams(2, milliseconds(15000))) << "the holder connected";
    spin(0.3);
    peer->clearReceived();

    ::setenv("KIVREL_COM2", peer->slavePath().c_str(), 1);
    Snapshot expected = snapshot();
    expected.panel[PANEL_COMPORT] = "2";
    pickPort(2);
    EXPECT_EQ(status(), "Cannot open port");
    EXPECT_EQ(ret, RS232_CANNOT_OPEN_PORT);
    EXPECT_EQ(com, 2);
    EXPECT_EQ(popups->count(), 0) << "an open failure shows no popup";
    EXPECT_EQ(describe(expected, snapshot()), "unchanged");
    spin(0.2);
    EXPECT_TRUE(peer->received().empty()) << "nothing reached the line";

    holder.terminate();
    ASSERT_TRUE(holder.waitForFinished(10000));
    EXPECT_EQ(holder.exitCode(), 0);
    peer->answer(7, Reply(kLineOk));
    peer->answer(3, Reply(kFresh));
    pickPort(2);
    EXPECT_EQ(status(), kLineOkText);
    EXPECT_EQ(Bytes(pp, pp + AnzPara), kFresh);
    EXPECT_EQ(popups->count(), 0);
    CloseCom(2);
    ::unsetenv("KIVREL_COM2");
}
