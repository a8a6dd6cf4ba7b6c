// Commands inside commands: every wait processes events, so the operator's next action runs
// inside the command still waiting. Driven through the real buttons, keys and window.
#include "popup_holder.h"
#include "sim_fixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <thread>

using namespace kivrel;
using namespace kivrel::test;

namespace
{

int countOrder(const std::vector<Telegram> &t, int order)
{
    int n = 0;
    for (const auto &g : t)
        n += g.order() == order;
    return n;
}

} // namespace

class Nested : public SimTest
{
  protected:
    void SetUp() override
    {
        SimTest::SetUp();
        connect();
        peer->answerAlways(5, Reply(record(9, 9)));
    }
    static void closeWindow() { window()->close(); }
};

TEST_F(Nested, GoInsideGoFromTheKeyboardEndsWithOneStop)
{
    window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window(), 2000)) << "F-keys need the active window";
    int nestedReturned = 0;
    after(300, [&] {
        pressKey(Qt::Key_F11); // Go, run inside the first Go's loop
        nestedReturned = 1;
    });
    after(900, [] { pressKey(Qt::Key_F12); }); // Stop
    const Stopwatch watch;
    click(BUTTON_GO);
    EXPECT_EQ(nestedReturned, 1);
    EXPECT_LT(watch.seconds(), 0.9 + kMarginSeconds);
    EXPECT_EQ(poll, 0);
    EXPECT_GE(countOrder(telegrams(), 5), 5);
    EXPECT_EQ(popups->count(), 0);
    spin(0.2);
    const std::size_t n = telegrams().size();
    spin(0.3);
    EXPECT_EQ(telegrams().size(), n) << "both loops ended";
}

// Send, Get, GetBuff and a connect each clear poll; the polling loop ends once they return.
struct DuringPolling {
    const char *name;
    int order; // of the command's own telegram
    std::function<void(SensorPeer &)> script;
    std::function<void()> press;
};

class CommandDuringPolling : public Nested, public testing::WithParamInterface<int>
{
};

TEST_P(CommandDuringPolling, EndsPolling)
{
    const DuringPolling cases[] = {
        {"Send", 1, [](SensorPeer &) {}, [] { click(BUTTON_SEND); }},
        {"Get", 3, [](SensorPeer &p) { p.answer(3, Reply(kFresh)); }, [] { click(BUTTON_GET); }},
        {"GetBuff", 6, [](SensorPeer &p) { p.answer(6, Reply(kMinima)); },
         [] { click(BUTTON_GETBUFF); }},
        {"Connect", 3,
         [](SensorPeer &p) {
             p.answer(7, Reply(kLineOk));
             p.answer(3, Reply(kFresh));
         },
         [] { pickPort(1); }},
    };
    const DuringPolling &c = cases[GetParam()];
    SCOPED_TRACE(c.name);
    c.script(*peer);
    SetCtrlVal(panel, PANEL_THRESHOLD, 66);
    double pressedAt = 0.0;
    const auto polled = [this] { return countOrder(telegrams(), 5) >= 3; };
    when(polled, [&] {
        // Pressed while no poll reply is on its way: such a reply has no framing and would be
        // read as the command's own (see docs/RELIABILITY.md). Blocking here holds the
        // program, so the last request is answered and lands before the command's flush.
        std::this_thread::sleep_for(milliseconds(200));
        pressedAt = Timer();
        c.press();
    });
    click(BUTTON_GO);
    const double ended = Timer();
    ASSERT_GT(pressedAt, 0.0);
    EXPECT_LT(ended - pressedAt, 0.1 + kMarginSeconds);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(popups->count(), 0);
    spin(0.3);
    const auto t = telegrams();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back().order(), c.order) << "no poll after the command";
    EXPECT_GE(countOrder(t, 5), 3);
    if (c.order == 1) {
        EXPECT_EQ(t.back().bytes[2], 66) << "the panel's values were sent";
    } else if (c.order == 3) {
        EXPECT_EQ(Bytes(pp, pp + AnzPara), kFresh);
        EXPECT_EQ(byteValue(PANEL_THRESHOLD), 140);
    } else {
        EXPECT_EQ(Bytes(jumpbuf, jumpbuf + 16), kMinima);
    }
    if (GetParam() == 3) {
        EXPECT_EQ(status(), kLineOkText);
        EXPECT_EQ(countOrder(t, 7), 1);
    }
}

static std::string commandName(const testing::TestParamInfo<int> &i)
{
    static const char *const names[] = {"Send", "Get", "GetBuff", "Connect"};
    return names[i.param];
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandDuringPolling, testing::Range(0, 4), commandName);

TEST_F(Nested, ClosingTheWindowDuringPollingEndsTheProgramLoop)
{
    after(50, [] { click(BUTTON_GO); });
    after(500, closeWindow);
    const Stopwatch watch;
    EXPECT_TRUE(runProgramLoop(10.0)) << "the program loop ended by itself";
    EXPECT_LT(watch.seconds(), 0.5 + kMarginSeconds);
    EXPECT_EQ(poll, 0);
    EXPECT_GE(countOrder(telegrams(), 5), 3);
    EXPECT_EQ(popups->count(), 0);
}

// Get and GetBuff finish their read, then the program loop ends.
TEST_F(Nested, ClosingDuringTheSettleWaitLetsGetAndGetBuffFinish)
{
    click(PANEL_EEPROM); // 1.5 s settle wait
    ASSERT_EQ(target, EEPROM);
    for (int button : {BUTTON_GET, BUTTON_GETBUFF}) {
        SCOPED_TRACE(button);
        peer->clearReceived();
        peer->answer(4, Reply(kFresh));
        peer->answer(6, Reply(kMinima));
        after(50, [button] { click(button); });
        after(600, closeWindow);
        const Stopwatch watch;
        EXPECT_TRUE(runProgramLoop(10.0)) << "the program loop ended by itself";
        EXPECT_GT(watch.seconds(), 1.5);
        EXPECT_LT(watch.seconds(), 0.05 + 1.5 + kMarginSeconds);
        const auto t = telegrams();
        ASSERT_EQ(t.size(), 1u);
        EXPECT_EQ(t[0].order(), button == BUTTON_GET ? 4 : 6);
        if (button == BUTTON_GET)
            EXPECT_EQ(Bytes(pp, pp + AnzPara), kFresh);
        else
            EXPECT_EQ(Bytes(jumpbuf, jumpbuf + 16), kMinima);
        EXPECT_EQ(popups->count(), 0);
    }
}

// The close clears poll before Go's loop has set it: polling still starts and runs until the
// operator stops it; only then does the program loop end.
TEST_F(Nested, ClosingDuringGosSettleWaitStillPollsUntilStopped)
{
    click(PANEL_EEPROM);
    std::size_t pollsBeforeStop = 0;
    after(50, [] { click(BUTTON_GO); });
    after(600, closeWindow);
    after(2600, [&] {
        pollsBeforeStop = telegrams().size();
        click(BUTTON_STOP);
    });
    const Stopwatch watch;
    EXPECT_TRUE(runProgramLoop(15.0)) << "the program loop ended by itself";
    EXPECT_GT(watch.seconds(), 2.5);
    EXPECT_LT(watch.seconds(), 2.6 + kMarginSeconds);
    EXPECT_GE(pollsBeforeStop, 5u) << "polling ran after the close";
    spin(0.3);
    EXPECT_LE(telegrams().size(), pollsBeforeStop + 1);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(popups->count(), 0);
}

// A help popup open during polling: no telegram goes out while it is open; polling goes on
// once it closes.
TEST_F(Nested, AHelpPopupDuringPollingHoldsTheTelegrams)
{
    popups.reset();
    PopupHolder holder(500);
    after(400, [] { rightClick(BUTTON_STOP); });
    after(1800, [] { click(BUTTON_STOP); });
    click(BUTTON_GO);
    EXPECT_EQ(poll, 0);
    ASSERT_EQ(holder.held().size(), 1u);
    const auto &h = holder.held()[0];
    EXPECT_EQ(h.title, "Info");
    EXPECT_EQ(h.text, QString::fromLatin1(kInfoButtonStop));
    const auto t = telegrams();
    int during = 0, afterwards = 0;
    for (const auto &g : t) {
        during += g.time > h.opened + milliseconds(60) && g.time < h.closed;
        afterwards += g.time > h.closed;
    }
    EXPECT_EQ(during, 0);
    EXPECT_GE(afterwards, 3) << "polling resumed";
    EXPECT_GE(countOrder(t, 5), 6);
}

// While a help popup holds polling the status line says so; once it closes, the line shows
// what it said before, unless something wrote it meanwhile: that newer text stays.
TEST_F(Nested, APopupsPauseGivesWayToATextWrittenMeanwhile)
{
    popups.reset();
    const struct {
        const char *name;
        const char *meanwhile; // written while the popup is open; null: nothing
        QString after;
    } rows[] = {
        {"nothing written meanwhile", nullptr, kLineOkText},
        {"a text written meanwhile", "Journal not written: disk full",
         "Journal not written: disk full"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        SetCtrlVal(panel, PANEL_STATUS, kLineOkText);
        QString during;
        PopupHolder holder(300, [&] {
            during = status();
            if (row.meanwhile) SetCtrlVal(panel, PANEL_STATUS, row.meanwhile);
        });
        after(300, [] { rightClick(BUTTON_STOP); });
        when([&] { return holder.held().size() == 1 && !QApplication::activeModalWidget(); },
             [] { click(BUTTON_STOP); });
        click(BUTTON_GO);
        ASSERT_EQ(holder.held().size(), 1u);
        EXPECT_EQ(during, "Polling paused");
        EXPECT_EQ(status(), row.after);
    }
}

// The operator closes the window while a help popup is open during polling: the popup stays
// until answered, then polling and the program loop end.
TEST_F(Nested, ClosingWhileAHelpPopupIsOpenEndsOnceItIsAnswered)
{
    popups.reset();
    PopupHolder holder(600, closeWindow, 200);
    after(50, [] { click(BUTTON_GO); });
    after(400, [] { rightClick(PANEL_THRESHOLD); });
    const Stopwatch watch;
    const bool ended = runProgramLoop(10.0);
    const double took = watch.seconds();
    EXPECT_TRUE(ended) << "the program loop ended by itself";
    EXPECT_EQ(poll, 0);
    ASSERT_EQ(holder.held().size(), 1u);
    EXPECT_EQ(holder.held()[0].text, QString::fromLatin1(kInfoEditThreshold));
    EXPECT_GT(took, 0.4 + 0.55);
    EXPECT_LT(took, 1.0 + kMarginSeconds);
    const auto t = telegrams();
    ASSERT_FALSE(t.empty());
    EXPECT_LT(t.back().time, holder.held()[0].closed + milliseconds(60))
        << "no poll after the popup closed";
}

// The file dialog of a file Send or Get holds polling while open; polling goes on afterwards,
// since file transfers leave poll alone.
TEST_F(Nested, TheFileDialogDuringPollingLeavesPollingRunning)
{
    QTemporaryDir dir;
    setProjectDir(dir.path());
    click(PANEL_FILE);
    ASSERT_EQ(target, DATFILE);
    const QString file = dir.filePath("during.dat");
    SetCtrlVal(panel, PANEL_THRESHOLD, 77);
    // Each step once polling has asked three times more, however slow the machine: polling
    // that stopped at a dialog would never get there, and the deadline would fail the test.
    std::size_t atSend = 0, atGet = 0;
    const auto polled3 = [this](const std::size_t *from) {
        return [this, from] { return telegrams().size() >= *from + 3; };
    };
    when([this] { return telegrams().size() >= 3; },
         [&] {
             popups->answerFileDialog(file);
             click(BUTTON_SEND);
             atSend = telegrams().size();
             SetCtrlVal(panel, PANEL_THRESHOLD, 5); // an edit the load replaces
             when(polled3(&atSend), [&] {
                 popups->answerFileDialog(file);
                 click(BUTTON_GET);
                 atGet = telegrams().size();
                 when(polled3(&atGet), [] { click(BUTTON_STOP); });
             });
         });
    click(BUTTON_GO);
    EXPECT_EQ(poll, 0);
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 77) << "the saved file was loaded back";
    // One look at what the sensor received: a request polling sent before the Stop may still
    // arrive after it.
    const std::vector<Telegram> sent = telegrams();
    EXPECT_GE(atGet, atSend + 3) << "polling ran between the two dialogs";
    EXPECT_GE(sent.size(), atGet + 3) << "polling ran after the second dialog";
    EXPECT_EQ(countOrder(sent, 5), int(sent.size())) << "files never talk to the sensor";
    ASSERT_EQ(popups->count(), 2);
    EXPECT_EQ(popups->popups()[0].kind, RecordedPopup::Kind::FileDialog);
    EXPECT_EQ(popups->popups()[1].kind, RecordedPopup::Kind::FileDialog);
}

// With real wire timing a connect pressed during polling is handled inside the poll's wait,
// with a reply on its way: the connect waits the settle time before it sets up the port, so
// the reply lands before the flush and the line check reads only its own answer.
TEST_F(Nested, ConnectDuringPollingOnAWireTimedLineReportsNothing)
{
    ASSERT_NO_FATAL_FAILURE(startSim({})); // no --fast: 4800-baud timing
    InitRS232(com);
    ASSERT_EQ(status(), kLineOkText);
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        popups->clear();
        after(500 + 13 * i, [] { pickPort(1); });
        click(BUTTON_GO);
        EXPECT_EQ(popups->count(), 0);
        EXPECT_EQ(status(), kLineOkText);
    }
}
