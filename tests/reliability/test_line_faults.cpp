// Line faults, against a scripted sensor and against the simulator's fault flags: every
// reading operation meets a silent, short, long, noisy and late reply. Then the line dropped
// during polling and the device back, and a port another program holds.
#include "sim_fixture.h"

#include <QProcess>

#include <functional>
#include <tuple>

using namespace kivrel;
using namespace kivrel::test;

namespace
{

enum class Line { Peer, Sim };
enum class Op { LineCheck, GetRam, GetEeprom, Polling, JumpBuffer };
enum class Fault { Silence, Short, Long, Noise, Late };

const Op kOps[] = {Op::LineCheck, Op::GetRam, Op::GetEeprom, Op::Polling, Op::JumpBuffer};
const Fault kFaults[] = {Fault::Silence, Fault::Short, Fault::Long, Fault::Noise, Fault::Late};
const char *const kFaultNames[] = {"Silence", "Short", "Long", "Noise", "Late"};

// Each operation's request, the settle wait its button adds before the read, and the reply a
// sound sensor gives.
struct Reading {
    const char *name;
    int order;
    double settle;
    Bytes reply;
};

const Reading &reading(Op op)
{
    static const Reading readings[] = {
        {"LineCheck", 7, 0.0, kLineOk},  {"GetRam", 3, 0.1, kFresh},
        {"GetEeprom", 4, 1.5, kFresh},   {"Polling", 5, 0.1, record(90, 101)},
        {"JumpBuffer", 6, 0.1, kMinima},
    };
    return readings[int(op)];
}

// A late reply comes this long after its request: past the 3 s limit, with room for a
// loaded machine to notice the limit first.
constexpr double kLateSeconds = 3.6;

// The fault as the scripted sensor plays it, in place of the reply `good`.
Reply faulty(Fault f, Bytes good)
{
    switch (f) {
    case Fault::Silence: return Reply::silence();
    case Fault::Short: good.pop_back(); return Reply(good);
    case Fault::Long: good.push_back(0x5A); return Reply(good);
    // Longer than any reply; line noise of exactly a reply's length is a valid reply to a
    // protocol without framing.
    case Fault::Noise: return Reply(pseudoRandom(23, 0x2545F491u));
    case Fault::Late: return Reply(good).after(kLateSeconds);
    }
    return {};
}

// The fault as the simulator plays it. --fault-order limits it to the operation's order code,
// so the connect before it works. Seed 2 makes the first noisy answer 27 bytes, longer than
// any reply.
QStringList simArgs(Op op, Fault f)
{
    QStringList args{"--fast", "--seed", "2", "--fault-order", QString::number(reading(op).order)};
    switch (f) {
    case Fault::Silence: args << "--silent"; break;
    case Fault::Short: args << "--short"; break;
    case Fault::Long: args << "--long"; break;
    case Fault::Noise: args << "--noise"; break;
    case Fault::Late: args << "--delay" << QString::number(kLateSeconds); break;
    }
    return args;
}

using FaultCase = std::tuple<Line, Op, Fault>;

std::string caseName(const testing::TestParamInfo<FaultCase> &info)
{
    const auto [line, op, fault] = info.param;
    return std::string(reading(op).name) + "_" + kFaultNames[int(fault)];
}

} // namespace

class LineFault : public SimTest, public testing::WithParamInterface<FaultCase>
{
};

TEST_P(LineFault, EndsInOneTimeoutReportAndChangesNothing)
{
    const auto [line, op, fault] = GetParam();
    const bool onPeer = line == Line::Peer;
    // The simulator's fault holds from its start, so a line check or RAM read that meets it is
    // the connect's own (the RAM read's connect passes its line check first).
    const bool connectMeetsFault = !onPeer && (op == Op::LineCheck || op == Op::GetRam);
    if (!onPeer) {
        ASSERT_NO_FATAL_FAILURE(startSim(simArgs(op, fault)));
    }
    if (!connectMeetsFault) {
        ASSERT_NO_FATAL_FAILURE(connect());
    }
    if (op == Op::GetEeprom) {
        click(PANEL_EEPROM);
        ASSERT_EQ(target, EEPROM);
    }
    SetCtrlVal(panel, PANEL_THRESHOLD, 33); // an unsent edit a failed read must keep
    if (onPeer) peer->answer(reading(op).order, faulty(fault, reading(op).reply));
    ASSERT_EQ(popups->count(), 0);
    const Snapshot before = snapshot();

    const Stopwatch watch;
    switch (op) {
    case Op::LineCheck: InitRS232(com); break;
    case Op::GetRam: onPeer ? click(BUTTON_GET) : InitRS232(com); break;
    // The button's 1.5 s settle wait is timed against the scripted sensor only.
    case Op::GetEeprom: onPeer ? click(BUTTON_GET) : GetPara(); break;
    case Op::Polling: click(BUTTON_GO); break;
    case Op::JumpBuffer: click(BUTTON_GETBUFF); break;
    }
    const double took = watch.seconds();

    const double connectWait = connectMeetsFault && op == Op::GetRam ? 0.5 : 0.0;
    expectOneTimeoutReport(before, took, reading(op).settle + connectWait + 3.0 + kMarginSeconds);
    if (onPeer) {
        const auto sent = telegrams();
        ASSERT_EQ(sent.size(), 1u) << "one request, nothing after the failure";
        EXPECT_EQ(sent[0].order(), reading(op).order);
    }

    // No second report turns up later, not even once a late reply has arrived.
    spin(fault == Fault::Late ? kLateSeconds - took + 0.3 : 0.2);
    EXPECT_EQ(popups->count(), 1) << "no second report later";
    // The scripted fault was one reply, so the line serves the next read; the simulator's
    // stays on for its order code.
    if (!onPeer) return;
    peer->answer(3, Reply(kFresh));
    target = RAM;
    GetPara();
    EXPECT_EQ(popups->count(), 1);
    EXPECT_EQ(Bytes(pp, pp + AnzPara), kFresh);
}

// Two halves of about a minute each, run side by side by ctest with a filter on "Sim".
INSTANTIATE_TEST_SUITE_P(Peer, LineFault,
                         testing::Combine(testing::Values(Line::Peer), testing::ValuesIn(kOps),
                                          testing::ValuesIn(kFaults)),
                         caseName);
INSTANTIATE_TEST_SUITE_P(Sim, LineFault,
                         testing::Combine(testing::Values(Line::Sim), testing::ValuesIn(kOps),
                                          testing::ValuesIn(kFaults)),
                         caseName);

// ---- The line dropped and back ---------------------------------------------------------------

class LineDrop : public SensorTest
{
  protected:
    // The adapter plugged in again: a new sensor on the same COM number that answers a connect
    // with the fresh parameter set.
    void plugInAgain()
    {
        ASSERT_NO_FATAL_FAILURE(replacePeer());
        peer->answer(7, Reply(kLineOk));
        peer->answer(3, Reply(kFresh));
    }
};

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
    EXPECT_LT(afterDrop, 3.0 + kMarginSeconds);
    EXPECT_EQ(byteValue(PANEL_DISPDAT0), 9) << "the last good record stays on show";

    // The device comes back on the same COM number; the operator picks the port again.
    ASSERT_NO_FATAL_FAILURE(plugInAgain());
    popups->clear();
    pickPort(1);
    EXPECT_EQ(status(), kLineOkText);
    EXPECT_EQ(Bytes(pp, pp + AnzPara), kFresh);
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 140);

    peer->answerAlways(5, Reply(record(44, 45)));
    when([this] { return telegrams().size() >= 4; }, [] { click(BUTTON_STOP); });
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
        EXPECT_LT(watch.seconds(), 0.1 + 3.0 + kMarginSeconds) << button;
    }
    EXPECT_EQ(describe(before, snapshot()), "unchanged");

    ASSERT_NO_FATAL_FAILURE(plugInAgain());
    popups->clear();
    pickPort(1);
    EXPECT_EQ(status(), kLineOkText);
    EXPECT_EQ(popups->count(), 0);
}

// After a TIMEOUT the first good reply says so in the status line, whichever reading brought
// it; a write, which has no reply, and a read that fails again leave TIMEOUT; any other text
// stays as it is.
TEST_F(LineDrop, TheFirstGoodReplyAfterATimeoutSaysTheSensorAnswersAgain)
{
    connect();
    peer->answerAlways(5, Reply(record(44, 45)));
    const auto poll3 = [this] {
        const std::size_t from = telegrams().size();
        when([=, this] { return telegrams().size() >= from + 3; }, [] { click(BUTTON_STOP); });
        click(BUTTON_GO);
    };
    const struct {
        const char *name;
        const char *before;
        std::function<void()> action;
        const char *after;
    } rows[] = {
        {"Go", "TIMEOUT", poll3, "Sensor answers again"},
        {"Get", "TIMEOUT", [this] { peer->answer(3, Reply(kFresh)), click(BUTTON_GET); },
         "Sensor answers again"},
        {"GetBuff", "TIMEOUT", [this] { peer->answer(6, Reply(kMinima)), click(BUTTON_GETBUFF); },
         "Sensor answers again"},
        {"Send", "TIMEOUT", [] { click(BUTTON_SEND); }, "TIMEOUT"},
        {"Get that fails", "TIMEOUT", [this] { peer->silent(3), click(BUTTON_GET); }, "TIMEOUT"},
        {"Go after another text", "File saved: init.dat", poll3, "File saved: init.dat"},
    };
    // The first TIMEOUT is a real one: the sensor does not answer a jump buffer read.
    peer->silent(6);
    click(BUTTON_GETBUFF);
    ASSERT_EQ(reports(), 1);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        if (&row != rows) SetCtrlVal(panel, PANEL_STATUS, row.before); // the first: the real one
        ASSERT_EQ(status(), row.before);
        row.action();
        EXPECT_EQ(status(), row.after);
    }
    EXPECT_EQ(byteValue(PANEL_DISPDAT0), 44) << "records were shown";
    EXPECT_EQ(Bytes(jumpbuf, jumpbuf + 16), kMinima);
}

// ---- A port another program holds ------------------------------------------------------------

using LineBusy = SensorTest;

TEST_F(LineBusy, APortHeldByAnotherProgramFailsToOpenChangesNothingAndOpensOnceFree)
{
    connect();
    peer->answer(7, Reply(kLineOk));
    peer->answer(3, Reply(kParams));
    QProcess holder;
    holder.setProcessEnvironment(programEnvironment(*peer));
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

using SimLineDrop = SimTest;

TEST_F(SimLineDrop, DropAfterReportsOnceThenANewSimulatorConnects)
{
    // The connect takes two telegrams; the line goes after the tenth poll.
    ASSERT_NO_FATAL_FAILURE(startSim({"--fast", "--drop-after", "12"}));
    InitRS232(com);
    ASSERT_EQ(status(), kLineOkText);
    const Bytes connected(pp, pp + AnzPara);

    const Stopwatch watch;
    click(BUTTON_GO);
    EXPECT_LT(watch.seconds(), 0.1 + 10 * 0.2 + 3.0 + kMarginSeconds);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(reports(), 1);
    EXPECT_EQ(popups->count(), 1);
    EXPECT_EQ(status(), "TIMEOUT");
    EXPECT_EQ(Bytes(pp, pp + AnzPara), connected);
    EXPECT_GT(byteValue(PANEL_DISPDAT0), 0) << "the polls before the drop were shown";
    int code = -1;
    spinUntil([&] { return sim->ended(&code); }, 5.0);
    EXPECT_EQ(code, 0) << "the simulator hangs up and exits normally";

    // A new simulator on the same COM number; the operator picks the port again.
    ASSERT_NO_FATAL_FAILURE(startSim({"--fast"}));
    popups->clear();
    pickPort(1);
    EXPECT_EQ(status(), kLineOkText);
    EXPECT_EQ(popups->count(), 0);
    SetCtrlVal(panel, PANEL_DISPDAT0, 0);
    when([] { return byteValue(PANEL_DISPDAT0) > 0; }, [] { click(BUTTON_STOP); });
    click(BUTTON_GO);
    EXPECT_EQ(popups->count(), 0);
    EXPECT_GT(byteValue(PANEL_DISPDAT0), 0) << "records flow again";
}
