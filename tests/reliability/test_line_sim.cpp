// Line faults against the simulator's fault flags: every reading operation with --silent,
// --short, --long, --noise and --delay, and the line dropped with --drop-after.
#include "line_faults.h"

using namespace kivrel;
using namespace reltest;

namespace
{

// --fault-order limits a fault to the operation under test, so the connect before it works.
// Seed 2 makes the first noisy answer 27 bytes, longer than any reply.
QStringList simArgs(Op op, Fault f)
{
    QStringList args{"--fast", "--seed", "2", "--fault-order", QString::number(orderOf(op))};
    switch (f) {
    case Fault::Silence: args << "--silent"; break;
    case Fault::Short: args << "--short"; break;
    case Fault::Long: args << "--long"; break;
    case Fault::Noise: args << "--noise"; break;
    case Fault::Late: args << "--delay" << QString::number(kLateSeconds); break;
    }
    return args;
}

} // namespace

class SimLineFault : public RelTest, public testing::WithParamInterface<FaultCase>
{
};

TEST_P(SimLineFault, EndsInOneTimeoutReportAndChangesNothing)
{
    const auto [op, fault] = GetParam();
    SimProcess sim(simArgs(op, fault));
    ASSERT_TRUE(sim.ok()) << sim.path();
    sim.mapToCom(1);
    SetCtrlVal(panel, PANEL_THRESHOLD, 33); // an unsent edit a failed read must keep

    // Up to the operation: nothing for the line check; for the RAM read the connect itself
    // is the operation (its line check passes, its read meets the fault).
    if (op != Op::LineCheck && op != Op::GetRam) {
        InitRS232(com);
        ASSERT_EQ(status(), kLineOkText);
        SetCtrlVal(panel, PANEL_THRESHOLD, 33);
    }
    if (op == Op::GetEeprom) {
        click(PANEL_EEPROM);
        ASSERT_EQ(target, EEPROM);
    }
    ASSERT_EQ(popups->count(), 0);
    const Snapshot before = snapshot();

    const Stopwatch watch;
    switch (op) {
    case Op::LineCheck:
    case Op::GetRam: InitRS232(com); break;
    case Op::GetEeprom: GetPara(); break; // the button's 1.5 s settle wait is tested elsewhere
    case Op::Polling: click(BUTTON_GO); break;
    case Op::JumpBuffer: click(BUTTON_GETBUFF); break;
    }
    const double took = watch.seconds();

    expectOneTimeoutReport(before, took,
                           settleOf(op) + 3.0 + (op == Op::GetRam ? 0.5 : 0.0) + kMargin);
    spin(0.2);
    EXPECT_EQ(popups->count(), 1) << "no second report later";
}

INSTANTIATE_TEST_SUITE_P(AllReads, SimLineFault,
                         testing::Combine(testing::ValuesIn(kOps), testing::ValuesIn(kFaults)),
                         caseName);

using SimLineDrop = RelTest;

TEST_F(SimLineDrop, DropAfterReportsOnceThenANewSimulatorConnects)
{
    // The connect takes two telegrams; the line goes after the tenth poll.
    auto sim = std::make_unique<SimProcess>(QStringList{"--fast", "--drop-after", "12"});
    ASSERT_TRUE(sim->ok());
    sim->mapToCom(1);
    InitRS232(com);
    ASSERT_EQ(status(), kLineOkText);
    const Bytes connected(pp, pp + AnzPara);

    const Stopwatch watch;
    click(BUTTON_GO);
    EXPECT_LT(watch.seconds(), 0.1 + 10 * 0.2 + 3.0 + kMargin);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(reports(), 1);
    EXPECT_EQ(popups->count(), 1);
    EXPECT_EQ(status(), "TIMEOUT");
    EXPECT_EQ(Bytes(pp, pp + AnzPara), connected);
    EXPECT_GT(byteValue(PANEL_DISPDAT0), 0) << "the polls before the drop were shown";
    int code = -1;
    const Stopwatch exitWait;
    while (!sim->ended(&code) && exitWait.seconds() < 5.0)
        spin(0.05);
    EXPECT_EQ(code, 0) << "the simulator hangs up and exits normally";

    // A new simulator on the same COM number; the operator picks the port again.
    sim.reset();
    sim = std::make_unique<SimProcess>(QStringList{"--fast"});
    ASSERT_TRUE(sim->ok());
    sim->mapToCom(1);
    popups->clear();
    pickPort(1);
    EXPECT_EQ(status(), kLineOkText);
    EXPECT_EQ(popups->count(), 0);
    SetCtrlVal(panel, PANEL_DISPDAT0, 0);
    after(400, [] { click(BUTTON_STOP); });
    click(BUTTON_GO);
    EXPECT_EQ(popups->count(), 0);
    EXPECT_GT(byteValue(PANEL_DISPDAT0), 0) << "records flow again";
}
