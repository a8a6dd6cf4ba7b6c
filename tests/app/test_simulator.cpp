// The program in process against the simulated sensor: connect, read, poll, and a parameter
// change that shows in the records.
#include "app_fixture.h"

#include "Kivrelv40.h"
#include "com232.h"
#include "sensor.h"

#include "rs232.h"
#include "utility.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

using namespace kivrel;
using apptest::PanelTest;

namespace
{

class SimulatorTest : public PanelTest
{
  protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        sim.start(KIVREL_SIM, {"--fast", "--eeprom", dir.filePath("eeprom.dat")});
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(sim.waitForReadyRead(5000));
        const QByteArray path = sim.readLine().trimmed();
        ASSERT_TRUE(path.startsWith("/dev/"));
        qputenv("KIVREL_COM1", path);
        InitVars();
    }
    void TearDown() override
    {
        kivrel::poll = 0;
        CloseCom(com);
        qunsetenv("KIVREL_COM1");
        sim.terminate();
        sim.waitForFinished(5000);
        PanelTest::TearDown();
    }
    // Presses Go and Stop `seconds` later. Go's settle wait also gives a telegram just sent
    // the time to cross the line before polling flushes the queues.
    static void pollFor(double seconds)
    {
        QTimer::singleShot(int(seconds * 1000), [] { kivrel::poll = 0; });
        CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    }

    QTemporaryDir dir;
    QProcess sim;
    PopupRecorder popups;
};

} // namespace

TEST_F(SimulatorTest, ConnectsReadsPollsAndFollowsASentThreshold)
{
    InitRS232(com);
    EXPECT_EQ(status(), "LINE OK                              V4.0");
    ASSERT_EQ(popups.count(), 0);
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 120) << "the simulator's factory set";

    pollFor(1.0);
    EXPECT_EQ(popups.count(), 0);
    EXPECT_GT(dataDat0, 20);
    EXPECT_GT(dataDat1, 20);
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
    const double stopped = Timer();
    while (Timer() - stopped < 0.2)
        ProcessSystemEvents();
    SetCtrlVal(panel, PANEL_THRESHOLD, 1);
    GetPara();
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 60);
    EXPECT_EQ(popups.count(), 0);
}

TEST_F(SimulatorTest, EepromKeepsASentSetOverARestart)
{
    InitRS232(com);
    SetCtrlVal(panel, PANEL_HOLD, 33);
    target = EEPROM;
    SendPara();
    CloseCom(com);
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));

    sim.start(KIVREL_SIM, {"--fast", "--eeprom", dir.filePath("eeprom.dat")});
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    qputenv("KIVREL_COM1", sim.readLine().trimmed());
    target = RAM; // RAM starts as a copy of EEPROM at power-up
    SetCtrlVal(panel, PANEL_HOLD, 1);
    InitRS232(com);
    EXPECT_EQ(byteValue(PANEL_HOLD), 33);
    EXPECT_EQ(popups.count(), 0);
}
