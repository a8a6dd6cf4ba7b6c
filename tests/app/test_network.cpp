// The panel and the simulated sensor behind ser2net on loopback, over RFC 2217: named by its
// address, polled, a server stopped in the middle of polling and started again, Go while it is
// away; buttons pressed while a scripted server answers the open late.
#include "device_server.h"
#include "sim_fixture.h"

#include "livering.h"
#include "ser2net.h"

#include <QComboBox>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace kivrel;
using namespace kivrel::test;

namespace
{

class NetworkSensor : public SimTest
{
  protected:
    // The simulator with `args`, behind ser2net, as COM 1.
    void startBehindSer2net(const QStringList &args)
    {
        ASSERT_NO_FATAL_FAILURE(startSim(args));
        server = std::make_unique<Ser2net>(sim->path(), true, dir.path().toStdString());
        ASSERT_TRUE(server->start()) << "ser2net (scripts/deps installs it)";
        address = QString::fromStdString(server->address());
        coms.map(1, server->address());
    }

    QTemporaryDir dir;
    std::unique_ptr<Ser2net> server;
    QString address;
    ComMapping coms;
};

} // namespace

TEST_F(NetworkSensor, ConnectsPollsAndIsNamedByItsAddress)
{
    ASSERT_NO_FATAL_FAILURE(startBehindSer2net({"--fast"}));
    InitRS232(com);
    EXPECT_EQ(status(), kLineOkText);
    ASSERT_EQ(popups->count(), 0);
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 120) << "the simulator's factory set, read over it";
    EXPECT_TRUE(window()->windowTitle().contains("COM1 (" + address + ")"))
        << window()->windowTitle().toStdString();
    auto *box = qobject_cast<QComboBox *>(widget(PANEL_COMPORT));
    EXPECT_EQ(box->itemText(box->findData(1)), "COM1  " + address);

    const int before = HistoryRecordCount();
    after(1000, [] { kivrel::poll = 0; });
    CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(popups->count(), 0);
    EXPECT_GE(HistoryRecordCount() - before, 5) << "records polled in a second";
    EXPECT_EQ(dataTrshWork, 120) << "a record as the sensor sent it";
}

// ser2net stopped while polling and started again, as a technician restarts a device server:
// TIMEOUT, then polling again, and the first good reply replaces TIMEOUT in the status line.
TEST_F(NetworkSensor, Ser2netStoppedAndStartedWhilePollingTheStatusLineSaysSo)
{
    ASSERT_NO_FATAL_FAILURE(startBehindSer2net({"--fast"}));
    InitRS232(com);
    ASSERT_EQ(status(), kLineOkText);
    const int before = HistoryRecordCount();
    when([&] { return HistoryRecordCount() >= before + 3; }, [this] { server->stop(); });
    CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(reports(), 1);
    EXPECT_EQ(status(), "TIMEOUT");

    ASSERT_TRUE(server->start());
    const int again = HistoryRecordCount();
    when([&] { return HistoryRecordCount() >= again + 3; }, [] { kivrel::poll = 0; });
    CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(reports(), 1) << "no second timeout report";
    EXPECT_GE(HistoryRecordCount(), again + 3) << "records flow again";
    EXPECT_EQ(status(), "Sensor answers again");
}

// The server goes while the sensor's reply to a poll is on its way: TIMEOUT. Started again,
// it hands on that reply first; the next Get connects again and takes its own reply alone.
TEST_F(NetworkSensor, Ser2netStoppedWhilePollingThenAGetConnectsAgain)
{
    ASSERT_NO_FATAL_FAILURE(startBehindSer2net({"--fast", "--delay", "0.4", "--fault-order", "5"}));
    InitRS232(com);
    ASSERT_EQ(status(), kLineOkText);
    const Snapshot before = snapshot();

    after(300, [this] { server->stop(); }); // Go's settle wait, then the first request
    const Stopwatch watch;
    CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    expectOneTimeoutReport(before, watch.seconds(), 0.3 + 0.1 + TIMEOUT_REPLY + kMarginSeconds);

    spin(0.5); // the late reply reaches the line meanwhile
    ASSERT_TRUE(server->start());
    SetCtrlVal(panel, PANEL_THRESHOLD, 1);
    GetPara();
    EXPECT_EQ(reports(), 1) << "no second timeout report";
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 120);
    EXPECT_EQ(pp[1], 150) << "the parameter set, not the late measurement record";
}

// Go while the server is still away: stderr says why at once, the timeout report follows, and
// after it the status line says why in the system's words, until the sensor answers again.
TEST_F(NetworkSensor, GoWhileTheServerIsAwaySaysWhyAfterTheReport)
{
    ASSERT_NO_FATAL_FAILURE(startBehindSer2net({"--fast"}));
    InitRS232(com);
    ASSERT_EQ(status(), kLineOkText);
    server->stop();
    ::testing::internal::CaptureStderr();
    CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    // The offscreen platform's own complaints about the popup aside.
    const QStringList said = QString::fromStdString(::testing::internal::GetCapturedStderr())
                                 .split('\n')
                                 .filter(QRegularExpression("^kivrel"));
    EXPECT_EQ(said, QStringList{"kivrel: COM1 (" + address + "): cannot open: Connection refused"});
    EXPECT_EQ(reports(), 1);
    EXPECT_EQ(popups->count(), 1);
    EXPECT_EQ(status(), "Cannot open port (Connection refused)");
    // Back again: the first good reply says so, over the reason as over TIMEOUT.
    ASSERT_TRUE(server->start());
    const int again = HistoryRecordCount();
    when([&] { return HistoryRecordCount() >= again + 3; }, [] { kivrel::poll = 0; });
    CBF_ButtonGo(panel, 0, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(status(), "Sensor answers again");
}

// A button pressed in the first turn of an open whose server answers once the button's command
// is under way: its telegram waits for the line, and the open ends as it would have.
TEST_F(NetworkSensor, AButtonPressedDuringASlowOpenWaitsForTheLine)
{
    peer.reset();
    for (const auto &[button, log] : {std::pair{BUTTON_SEND, "1"}, {BUTTON_GET, "purge,3"}}) {
        ScriptedServer server({{.held = true, .purges = "", .replyPrefix = "", .hangUpAfter = 0}});
        coms.map(1, server.address());
        after(0, [&, button = button] {
            after(0, [&] { server.release(); });
            click(button);
        });
        InitRS232(com);
        EXPECT_EQ(status(), kLineOkText);
        EXPECT_EQ(popups->count(), 0);
        EXPECT_EQ(server.log(), "line set,purge," + std::string(log) + ",purge,7,purge,3");
        CloseCom(com);
    }
}
