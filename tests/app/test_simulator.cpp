// The program in process against the simulated sensor: connect, read, poll, and a parameter
// change that shows in the records.
#include "sim_fixture.h"

#include <QTemporaryDir>

using namespace kivrel;
using namespace kivrel::test;

namespace
{

class SimulatorTest : public SimTest
{
  protected:
    void SetUp() override
    {
        SimTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(startSim({"--fast", "--eeprom", dir.filePath("eeprom.dat")}));
    }
    // Presses Go and Stop `seconds` later. Go's settle wait also gives a telegram just sent
    // the time to cross the line before polling flushes the queues.
    void pollFor(double seconds)
    {
        after(int(seconds * 1000), [] { kivrel::poll = 0; });
        CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(SimulatorTest, ConnectsReadsPollsAndFollowsASentThreshold)
{
    InitRS232(com);
    EXPECT_EQ(status(), kLineOkText);
    ASSERT_EQ(popups->count(), 0);
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 120) << "the simulator's factory set";

    pollFor(1.0);
    EXPECT_EQ(popups->count(), 0);
    EXPECT_GT(dataDat0, 20);
    EXPECT_GT(dataDat1, 20);
    ASSERT_GT(dataDat0 + dataDat1, 0) << "the norm below divides by it";
    EXPECT_EQ(dataNorm, dataDat0 * 255 / (dataDat0 + dataDat1)) << "averaging over 1 value";
    EXPECT_EQ(dataTrshWork, 120);
    EXPECT_EQ(byteValue(PANEL_DISPTRSH), 120);

    // A new threshold sent to RAM is what the sensor works with from then on.
    SetCtrlVal(panel, PANEL_THRESHOLD, 60);
    SendPara();
    pollFor(0.5);
    EXPECT_EQ(dataTrshWork, 60);
    EXPECT_EQ(alldata[498], 60.0) << "the strip chart's threshold trace";

    // Less light: a weaker transmitter lowers both receivers.
    const int brightDat1 = dataDat1;
    SetCtrlVal(panel, PANEL_POWER, 30);
    SendPara();
    pollFor(0.5);
    EXPECT_LT(dataDat1, brightDat1);

    // Read back from RAM: the sensor holds what was sent. (Stop may leave a record on its way;
    // an operator's next click comes later than it does.)
    spin(0.2);
    SetCtrlVal(panel, PANEL_THRESHOLD, 1);
    GetPara();
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 60);
    EXPECT_EQ(popups->count(), 0);
}

TEST_F(SimulatorTest, EepromKeepsASentSetOverARestart)
{
    InitRS232(com);
    SetCtrlVal(panel, PANEL_HOLD, 33);
    target = EEPROM;
    SendPara();
    CloseCom(com);
    ASSERT_TRUE(sim->stop());

    ASSERT_NO_FATAL_FAILURE(startSim({"--fast", "--eeprom", dir.filePath("eeprom.dat")}));
    target = RAM; // RAM starts as a copy of EEPROM at power-up
    SetCtrlVal(panel, PANEL_HOLD, 1);
    InitRS232(com);
    EXPECT_EQ(byteValue(PANEL_HOLD), 33);
    EXPECT_EQ(popups->count(), 0);
}
