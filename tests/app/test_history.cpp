// What the tool keeps: live recordings in CSV, written at least once a second and ended
// cleanly, and the parameter journal's row for every kind of transfer.
#include "sensor_fixture.h"

#include "columns.h"
#include "journal.h"
#include "recording.h"
#include "recordingview.h"
#include "runhistory.h"

#include "timeview_test.h"
#include "utility.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>

#include <csignal>
#include <pwd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace kivrel;
using namespace kivrel::test;

namespace
{

const char kHeader[] = "time,seconds,dat0,dat1,norm,threshold,hysteresis,in0_period,"
                       "active_window,edge_time,active_percent,edge_percent";

// Record i of a run: every field different, and every fifth without an IN0 period.
Bytes numbered(int i)
{
    const int in0 = i % 5 == 0 ? 0 : 1000 + 37 * i, window = 600 + i, edge = 250 + 11 * i;
    return Bytes{static_cast<unsigned char>(10 + i),      static_cast<unsigned char>(200 - i),
                 static_cast<unsigned char>(3 * i),       static_cast<unsigned char>(edge & 0xFF),
                 static_cast<unsigned char>(edge >> 8),   static_cast<unsigned char>(in0 & 0xFF),
                 static_cast<unsigned char>(in0 >> 8),    static_cast<unsigned char>(window & 0xFF),
                 static_cast<unsigned char>(window >> 8), static_cast<unsigned char>(100 + i),
                 static_cast<unsigned char>(150 + i)};
}

// The row the recording must hold for a record, from the time stamp's end on.
QString expectedRow(const Bytes &r)
{
    const unsigned edge = r[3] + 256u * r[4], in0 = r[5] + 256u * r[6], win = r[7] + 256u * r[8];
    QStringList f;
    for (int i : {0, 1, 2, 9, 10})
        f << QString::number(r[std::size_t(i)]);
    f << QString::number(in0) << QString::number(win) << QString::number(edge);
    f << (in0 ? QString::number(100 * win / in0) : "")
      << (in0 ? QString::number(100 * edge / in0) : "");
    return f.join(',');
}

// Complete rows of a recording (a line cut short by a crash is not one), header first.
QStringList completeRows(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(f.readAll());
    text.truncate(text.lastIndexOf('\n') + 1);
    QStringList rows = text.split('\n');
    rows.removeLast();
    return rows;
}

// Time stamp and seconds of a row that parses: ISO 8601 with milliseconds and UTC offset.
bool parses(const QString &row, double *seconds)
{
    static const QRegularExpression re(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d,(\d+\.\d{3})(,\d+){8}(,\d*){2}$)");
    const QRegularExpressionMatch m = re.match(row);
    if (m.hasMatch() && seconds) *seconds = m.captured(1).toDouble();
    return m.hasMatch();
}

// The journal's folder for today, under a data folder.
QString journalIn(const QString &dataHome)
{
    return dataHome + "/kivrel/journal/" + QDate::currentDate().toString(Qt::ISODate) + ".csv";
}

// Who and where, as each journal row ends: login, host, program.
QString whoAndWhere()
{
    const passwd *pw = getpwuid(geteuid());
    return QString("%1,%2,kivrel").arg(pw ? pw->pw_name : "", QSysInfo::machineHostName());
}

// What the status line said whenever a message box came up.
class StatusAtPopups : public QObject
{
  public:
    StatusAtPopups() { qApp->installEventFilter(this); }
    ~StatusAtPopups() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QMessageBox *>(object))
            statuses << status();
        return false;
    }
    QStringList statuses;
};

class HistoryTest : public SensorTest
{
  protected:
    void SetUp() override
    {
        SensorTest::SetUp();
        qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
        setProjectDir(dir.path());
        connect();
    }
    void TearDown() override
    {
        SensorTest::TearDown();
        qputenv("XDG_DATA_HOME", dataHome);
    }
    void startRecording(const QString &path)
    {
        popups->answerFileDialog(path);
        click(PANEL_REC);
        ASSERT_TRUE(popups->waitForDialogs());
        ASSERT_EQ(intValue(PANEL_REC), 1) << status().toStdString();
    }
    QString recLabel() const { return widget(PANEL_REC)->property("text").toString(); }
    // When the sensor was asked for a record after `from`: until `to`, and the first time after.
    std::vector<SteadyTime> polls(SteadyTime from, SteadyTime to) const
    {
        std::vector<SteadyTime> times;
        for (const Telegram &t : telegrams())
            if (t.order() == 5 && t.time > from && (times.empty() || times.back() < to))
                times.push_back(t.time);
        return times;
    }
    QTemporaryDir dir;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
};

} // namespace

// Every record shown is a row, in order, field for field; the timeout that ends polling ends
// the file too. Cancelling the dialog leaves REC off.
TEST_F(HistoryTest, RecordingHoldsEveryRecordShownAndEndsWithPolling)
{
    popups->cancelFileDialog();
    click(PANEL_REC);
    ASSERT_TRUE(popups->waitForDialogs());
    EXPECT_EQ(intValue(PANEL_REC), 0);

    const QString path = dir.filePath("run.csv");
    startRecording(path);
    EXPECT_TRUE(QRegularExpression(R"(^kivrel-\d{4}-\d\d-\d\d-\d{6}\.csv$)")
                    .match(popups->popups().back().text)
                    .hasMatch())
        << "proposed name " << popups->popups().back().text.toStdString();
    const int n = 25;
    for (int i = 0; i < n; i++)
        peer->answer(5, Reply(numbered(i)));
    const StatusAtPopups seen;
    click(BUTTON_GO); // polls the 25, then the sensor falls silent: TIMEOUT
    EXPECT_EQ(reports(), 1);
    EXPECT_EQ(intValue(PANEL_REC), 0) << "the timeout ended the recording";
    EXPECT_EQ(widget(PANEL_REC)->property("text").toString(), "REC   F7");
    EXPECT_EQ(seen.statuses, QStringList{"TIMEOUT"}) << "while the report is open";
    EXPECT_EQ(status(), "Recording ended: TIMEOUT; run.csv holds 25 rows");

    const QStringList rows = completeRows(path);
    ASSERT_EQ(rows.size(), n + 1);
    EXPECT_EQ(rows[0], kHeader);
    double last = -1.0;
    for (int i = 0; i < n; i++) {
        SCOPED_TRACE(rows[i + 1].toStdString());
        double seconds = 0.0;
        ASSERT_TRUE(parses(rows[i + 1], &seconds));
        EXPECT_GT(seconds, last);
        last = seconds;
        EXPECT_TRUE(rows[i + 1].endsWith("," + expectedRow(numbered(i))));
    }

    // Without REC the timeout's text stays.
    peer->answer(5, Reply(numbered(1)));
    click(BUTTON_GO);
    EXPECT_EQ(reports(), 2);
    EXPECT_EQ(status(), "TIMEOUT");
}

// Polling goes on behind the dialogs of REC, Open recording... and Export..., each held open
// 1.5 s: the sensor is asked all the while, Go shows pressed, and the recording has no hole.
TEST_F(HistoryTest, PollingGoesOnBehindTheDialogs)
{
    peer->answerAlways(5, Reply(numbered(3)));
    pollDeadline = 60.0;
    ShowHistory();
    platform::TimeViewWindow *history = platform::timeViewWindow(HistoryView());
    auto *go = qobject_cast<QAbstractButton *>(widget(BUTTON_GO));
    auto clicks = [](QAbstractButton *button) {
        return [button] { QTest::mouseClick(button, Qt::LeftButton); };
    };
    const std::pair<QString, std::function<void()>> dialogs[] = {
        {dir.filePath("run.csv"), clicks(qobject_cast<QAbstractButton *>(widget(PANEL_REC)))},
        {dir.filePath("run.csv"), clicks(probe(history).openButton())}, // the one being recorded
        {dir.filePath("shot.png"),
         [history] { probe(history).exportMenu()->actions()[0]->trigger(); }}};
    std::vector<std::pair<SteadyTime, SteadyTime>> open; // each, less 0.2 s at either end
    std::function<void()> next = [&] {
        if (open.size() == std::size(dialogs)) return void(kivrel::poll = 0);
        popups->answerFileDialog(dialogs[open.size()].first, 1500);
        dialogs[open.size()].second();
        EXPECT_TRUE(go->isDown()) << "Go shows that it polls";
        open.push_back({std::chrono::steady_clock::now() + milliseconds(200), {}});
        when([&] { return !popups->fileDialogOpen() && !RecordingLoading(); },
             [&] {
                 open.back().second = std::chrono::steady_clock::now() - milliseconds(200);
                 next();
             });
    };
    after(500, next);
    click(BUTTON_GO);
    EXPECT_FALSE(go->isDown());
    StopRecording();

    ASSERT_EQ(open.size(), 3u);
    const char *titles[] = {"Record live data", "Open a recording", "Picture 1920 × 1080 (PNG)"};
    for (std::size_t i = 0; i < open.size(); i++) {
        EXPECT_EQ(popups->popups()[i].title, titles[i]);
        EXPECT_GE(polls(open[i].first, open[i].second).size(), 6u) << "asked behind " << titles[i];
    }
    EXPECT_EQ(probe(history).status(), "Exported: shot.png");
    double previous = -1.0, longest = 0.0;
    for (const QString &row : completeRows(dir.filePath("run.csv")).mid(1)) {
        const double seconds = row.section(',', 1, 1).toDouble();
        if (previous >= 0) longest = std::max(longest, seconds - previous);
        previous = seconds;
    }
    EXPECT_GT(previous, 2.5) << "the recording ran behind two dialogs";
    EXPECT_LT(longest, 0.5) << "no hole in the recording";
}

// A large recording read while polling: polling waits at most a step behind the reading, and
// every row arrives.
TEST_F(HistoryTest, ALargeRecordingIsReadWhilePolling)
{
    // 32 MB: 500 000 records 100 ms apart from 2026-12-08 00:00 on, a mark every fifth.
    std::string bytes = std::string(kHeader) + "\n";
    char row[128];
    for (long i = 0; i < 500000; i++) {
        std::snprintf(row, sizeof row, "2026-12-08T%02ld:%02ld:%02ld.%ld00+01:00,%ld.%ld00,%s\n",
                      i / 36000, i / 600 % 60, i / 10 % 60, i % 10, i / 10, i % 10,
                      i % 5 ? "166,97,160,120,150,0,0,0,," : "60,88,100,120,150,0,0,0,,");
        bytes += row;
    }
    const QString path = dir.filePath("large.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), qint64(bytes.size()));
    file.close();
    peer->answerAlways(5, Reply(numbered(3)));
    pollDeadline = 120.0;
    SteadyTime opened, read;
    after(500, [&] {
        opened = std::chrono::steady_clock::now();
        OpenRecordingView(path.toLocal8Bit().constData());
        when([] { return !RecordingLoading(); },
             [&] {
                 read = std::chrono::steady_clock::now();
                 after(500, [] { kivrel::poll = 0; });
             });
    });
    click(BUTTON_GO);

    ASSERT_EQ(probe(platform::timeViewWindow(RecordingView())).pointCount(), 500000);
    std::vector<SteadyTime> asked = polls(opened, read);
    asked.insert(asked.begin(), opened);
    long longest = 0;
    for (std::size_t i = 1; i < asked.size(); i++)
        longest = std::max(long((asked[i] - asked[i - 1]) / milliseconds(1)), longest);
    // Read in one go, it would leave no request between the opening and the end.
    EXPECT_GE(asked.size(), 3u) << "polling went on while it read";
    EXPECT_LT(longest, 400) << "the longest wait between two requests";
}

// A recording the disk stops taking ends with one status line; polling goes on.
TEST_F(HistoryTest, AFailedWriteEndsTheRecordingButNotPolling)
{
    peer->answerAlways(5, Reply(numbered(7)));
    startRecording(dir.filePath("full.csv"));
    std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of ending the process
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 600; // the header and a few rows
    setrlimit(RLIMIT_FSIZE, &small);
    std::size_t seen = 0;
    when([&] { return intValue(PANEL_REC) == 0 && telegrams().size() > 30; },
         [&] {
             seen = telegrams().size();
             click(BUTTON_STOP);
         });
    click(BUTTON_GO);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(status(), "Recording ended: cannot write full.csv");
    EXPECT_EQ(intValue(PANEL_REC), 0);
    EXPECT_GT(seen, 30u) << "polling went on to the Stop";
    EXPECT_EQ(reports(), 0);
    for (const QString &row : completeRows(dir.filePath("full.csv")).mid(1))
        EXPECT_TRUE(parses(row, nullptr)) << row.toStdString();
}

// Run by the next test in a process of its own, which it kills mid-recording.
TEST_F(HistoryTest, DISABLED_RecordsUntilKilled)
{
    const QByteArray path = qgetenv("KIVREL_RECORD_UNTIL_KILLED");
    ASSERT_FALSE(path.isEmpty()) << "the child of Recording.SurvivesAKill";
    peer->answerAlways(5, Reply(numbered(3)));
    pollDeadline = 60.0;
    startRecording(QString::fromLocal8Bit(path));
    click(BUTTON_GO);
}

// Killed, the program loses at most the last second of rows, and every complete row parses.
TEST(Recording, SurvivesAKill)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("killed.csv");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KIVREL_RECORD_UNTIL_KILLED", path);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=HistoryTest.DISABLED_RecordsUntilKilled",
                 "--gtest_also_run_disabled_tests"});
    ASSERT_TRUE(child.waitForStarted(5000));
    // Killed once it has recorded for two seconds by its own count, whatever the load.
    auto recorded = [&] {
        double seconds = 0.0;
        const QStringList rows = completeRows(path);
        return rows.size() > 1 && parses(rows.last(), &seconds) ? seconds : 0.0;
    };
    ASSERT_TRUE(spinUntil([&] { return recorded() >= 2.0; }, 30.0));
    child.kill();
    const QDateTime killed = QDateTime::currentDateTime(); // the rows' clock, the system's
    child.waitForFinished(5000);

    const QStringList rows = completeRows(path);
    ASSERT_GT(rows.size(), 1);
    EXPECT_EQ(rows[0], kHeader);
    for (const QString &row : rows.mid(1))
        EXPECT_TRUE(parses(row, nullptr)) << row.toStdString();
    const QDateTime last = QDateTime::fromString(rows.last().section(',', 0, 0), Qt::ISODateWithMs);
    ASSERT_TRUE(last.isValid()) << rows.last().toStdString();
    EXPECT_LT(last.msecsTo(killed), 1500) << "more than the last second was lost";
}

// One row per transfer, with where it went or came from and the 15 bytes on the wire.
TEST_F(HistoryTest, TheJournalHasARowForEveryKindOfTransfer)
{
    const QString file = dir.filePath("set,1.dat"); // a comma the CSV must quote
    const QString quoted = "\"" + file + "\"";
    const QString port = "1," + QString::fromStdString(peer->slavePath()).mid(5);
    auto values = [](const Bytes &b) {
        QStringList v;
        for (unsigned char x : b)
            v << QString::number(x);
        return v.join(',');
    };
    const Bytes saved = kFresh; // POWER went through the panel's percent and back
    const QString read = "," + whoAndWhere() + ",read,"; // and no note
    const QString written = "," + whoAndWhere() + ",written without verification,";
    const struct {
        std::function<void()> transfer;
        QString expected;
    } cases[] = {
        {[] {}, "read,RAM," + port + "," + values(kParams) + read}, // the connect in SetUp
        {[&] { click(PANEL_EEPROM), peer->answer(4, Reply(kFresh)), click(BUTTON_GET); },
         "read,EEPROM," + port + "," + values(kFresh) + read},
        {[&] { click(BUTTON_SEND); }, "write,EEPROM," + port + "," + values(saved) + written},
        {[&] { click(PANEL_EEPROM), click(BUTTON_SEND); },
         "write,RAM," + port + "," + values(saved) + written},
        {[&] { click(PANEL_FILE), popups->answerFileDialog(file), click(BUTTON_SEND); },
         "write,FILE,," + quoted + "," + values(saved) + written},
        {[&] { popups->answerFileDialog(file), click(BUTTON_GET); },
         "read,FILE,," + quoted + "," + values(saved) + read},
    };
    for (const auto &c : cases)
        c.transfer();
    const QString journal = journalIn(dir.filePath("data"));
    const QStringList rows = completeRows(journal);
    ASSERT_EQ(rows.size(), int(std::size(cases)) + 1) << journal.toStdString();
    EXPECT_EQ(rows[0], "time,direction,target,port,device,threshold,hysteresis,power,pmod,hold,"
                       "trigger,backlim,regcnt,average,deadtimemode,deadtime,outmode,trshmod,"
                       "deltatrsh,frei15,user,host,program,outcome,note");
    for (std::size_t i = 0; i < std::size(cases); i++)
        EXPECT_EQ(rows[int(i) + 1].section(',', 1), cases[i].expected) << "transfer " << i;
    EXPECT_EQ(reports(), 0);
}

// However polling ends, every record shown is in the file at once; a port change also ends the
// recording, since one file holds one sensor.
TEST_F(HistoryTest, PollingEndedByAnyPathHandsItsRowsOver)
{
    const struct {
        const char *name;
        std::function<void()> end;
        bool recording; // REC still on afterwards
    } enders[] = {
        {"Send", [] { click(BUTTON_SEND); }, true},
        {"Get", [&] { peer->answer(3, Reply(kParams)), click(BUTTON_GET); }, true},
        {"GetBuff", [&] { peer->answer(6, Reply(kMinima)), click(BUTTON_GETBUFF); }, true},
        {"port change",
         [&] { peer->answer(7, Reply(kLineOk)), peer->answer(3, Reply(kParams)), pickPort(1); },
         false},
    };
    for (const auto &e : enders) {
        SCOPED_TRACE(e.name);
        const QString path = dir.filePath(QString(e.name) + ".csv");
        startRecording(path);
        for (int i = 0; i < 100; i++)
            peer->answer(5, Reply(numbered(i)));
        // Well inside the first second, before any batch of rows would be due by itself.
        after(500, e.end);
        click(BUTTON_GO);
        const int shown = byteValue(PANEL_DISPDAT0) - 10 + 1; // record i shows DAT0 10 + i
        EXPECT_GT(shown, 1);
        EXPECT_EQ(completeRows(path).size(), shown + 1) << "every record shown, in the file";
        EXPECT_EQ(intValue(PANEL_REC), e.recording ? 1 : 0);
        EXPECT_EQ(recLabel(), e.recording ? QString("REC %1  F7").arg(shown) : "REC   F7");
        StopRecording();
        peer->forgetAnswers();
    }
    EXPECT_EQ(status(), kLineOkText);
    EXPECT_EQ(reports(), 0);
}

// The recording's dialog asks before it replaces a file and proposes a name no file has; a name
// the program cannot use says why; F7 turns REC on and off every time.
TEST_F(HistoryTest, TheDialogAsksAndF7TogglesEveryTime)
{
    // Files under the names the next seconds would propose, and one to keep or replace.
    for (int s = 0; s < 5; s++)
        QFile(dir.filePath(QDateTime::currentDateTime().addSecs(s).toString(
                  "'kivrel-'yyyy-MM-dd-HHmmss'.csv'")))
            .open(QIODevice::WriteOnly);
    const QString old = dir.filePath("old.csv"), deep = dir.filePath(QString(120, 'd'));
    QDir().mkpath(deep + "/" + QString(120, 'e'));
    const struct {
        QString path, answer; // the name chosen; the button that answers the question
        int on;
        QString status; // empty: as it was
    } cases[] = {
        {old, "No", 0, ""},
        {old, "Yes", 1, ""},
        {deep + "/" + QString(120, 'e') + "/" + QString(30, 'f') + ".csv", "", 0,
         "Recording not started: the path is longer than 259 bytes"},
        {dir.filePath("Messung-ü-測定.csv"), "", 1, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.right(20).toStdString() + " " + c.answer.toStdString());
        QFile keep(old);
        keep.open(QIODevice::WriteOnly), keep.write("keep me\n"), keep.close();
        SetCtrlVal(panel, PANEL_STATUS, "before");
        popups->clear();
        popups->answerFileDialog(c.path);
        if (!c.answer.isEmpty()) popups->answerMessage(c.answer);
        click(PANEL_REC);
        ASSERT_TRUE(popups->waitForDialogs());
        ASSERT_GE(popups->count(), 1);
        const QString proposed = popups->popups()[0].text;
        EXPECT_TRUE(QRegularExpression(R"(^kivrel-\d{4}-\d\d-\d\d-\d{6}(-\d+)?\.csv$)")
                        .match(proposed)
                        .hasMatch())
            << proposed.toStdString();
        EXPECT_FALSE(QFile::exists(dir.filePath(proposed))) << "proposed a file that exists";
        EXPECT_EQ(intValue(PANEL_REC), c.on);
        EXPECT_EQ(status(), c.status.isEmpty() ? "before" : c.status);
        StopRecording();
        if (QFile::exists(c.path)) {
            EXPECT_EQ(completeRows(c.path).value(0), c.on ? kHeader : "keep me")
                << "kept, replaced";
        }
    }

    for (int round = 0; round < 3; round++)
        for (int on : {1, 0}) {
            SCOPED_TRACE(testing::Message() << "round " << round << " on " << on);
            window()->activateWindow(); // F-keys need the window, back from the file dialog
            ASSERT_TRUE(QTest::qWaitForWindowActive(window(), 2000));
            if (on) popups->answerFileDialog(dir.filePath(QString("f7-%1.csv").arg(round)));
            pressKey(Qt::Key_F7);
            EXPECT_TRUE(spinUntil([on] { return intValue(PANEL_REC) == on; }));
            EXPECT_TRUE(popups->waitForDialogs());
            EXPECT_EQ(recLabel(), on ? "REC 0  F7" : "REC   F7");
        }
}

// A journal that cannot be written says so once in the status line, until it takes a row again;
// the transfers themselves go on.
TEST_F(HistoryTest, AJournalThatCannotBeWrittenSaysSoOnce)
{
    QFile(dir.filePath("not-a-folder")).open(QIODevice::WriteOnly);
    const struct {
        const char *dataHome;
        QString status; // after a Send to RAM, which leaves the status line alone
    } steps[] = {
        {"not-a-folder",
         "Journal not written: " + dir.filePath("not-a-folder") + " is not a folder"},
        {"not-a-folder", "unchanged"},
        {"data", "unchanged"},
        {"not-a-folder",
         "Journal not written: " + dir.filePath("not-a-folder") + " is not a folder"},
    };
    int sent = 0;
    for (const auto &step : steps) {
        SCOPED_TRACE(step.dataHome);
        qputenv("XDG_DATA_HOME", dir.filePath(step.dataHome).toLocal8Bit());
        SetCtrlVal(panel, PANEL_STATUS, "unchanged");
        click(BUTTON_SEND);
        EXPECT_TRUE(spinUntil([&] { return int(telegrams().size()) > sent; }));
        sent = int(telegrams().size());
        EXPECT_EQ(status(), step.status);
    }
    EXPECT_EQ(completeRows(journalIn(dir.filePath("data"))).size(), 3) << "header, connect, Send";
    EXPECT_EQ(reports(), 0);
}

// Run by the next test, twice at once, in processes of their own.
TEST(Journal, DISABLED_WritesRowsAsAChild)
{
    const int rows = qEnvironmentVariableIntValue("KIVREL_JOURNAL_ROWS");
    ASSERT_GT(rows, 0) << "the child of Journal.TwoProgramsWriteOneFile";
    std::snprintf(file_name, sizeof file_name, "%s", qgetenv("KIVREL_JOURNAL_FILE").constData());
    qputenv("XDG_DATA_HOME", qgetenv("KIVREL_JOURNAL_DATA")); // the parent's, not the own home
    if (qEnvironmentVariableIsSet("KIVREL_JOURNAL_READY"))
        QFile(qEnvironmentVariable("KIVREL_JOURNAL_READY")).open(QIODevice::WriteOnly);
    for (int i = 0; i < rows; i++) {
        pp[0] = static_cast<unsigned char>(i);
        ASSERT_EQ(JournalTransfer(TRANSFER_WRITE, DATFILE), 0);
    }
}

// Two programs doing their first transfer of the day at once: one header, then whole rows.
TEST(Journal, TwoProgramsWriteOneFile)
{
    QTemporaryDir dir;
    const int rows = 300;
    // File names with what CSV must quote: a comma, and quotes that are doubled.
    // Named relative to the folder the writers run in, by their absolute paths in the journal.
    const QString names[] = {"line 3, \"A\".dat", "line 4, \"B\".dat"};
    const QString here = QDir::currentPath() + "/";
    const QString quoted[] = {"\"" + here + "line 3, \"\"A\"\".dat\"",
                              "\"" + here + "line 4, \"\"B\"\".dat\""};
    QProcess writers[2];
    for (int w = 0; w < 2; w++) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KIVREL_JOURNAL_DATA", dir.filePath("data"));
        env.insert("KIVREL_JOURNAL_ROWS", QString::number(rows));
        env.insert("KIVREL_JOURNAL_FILE", names[w]);
        writers[w].setProcessEnvironment(env);
        writers[w].start(QCoreApplication::applicationFilePath(),
                         {"--gtest_filter=Journal.DISABLED_WritesRowsAsAChild",
                          "--gtest_also_run_disabled_tests"});
    }
    for (QProcess &w : writers) {
        ASSERT_TRUE(w.waitForFinished(60000));
        EXPECT_EQ(w.exitCode(), 0) << w.readAllStandardOutput().toStdString();
    }
    const QStringList lines = completeRows(journalIn(dir.filePath("data")));
    ASSERT_EQ(lines.size(), 2 * rows + 1);
    EXPECT_TRUE(lines[0].startsWith("time,direction,")) << lines[0].toStdString();
    int seen[2] = {0, 0};
    for (const QString &line : lines.mid(1)) {
        const int w = line.contains(quoted[1]);
        ASSERT_TRUE(line.contains(quoted[w])) << line.toStdString();
        const QStringList f = QString(line).replace(quoted[w], "file").split(',');
        ASSERT_EQ(f.size(), 25) << line.toStdString();
        EXPECT_EQ(f[5].toInt(), seen[w]++ % 256) << "each writer's rows in its order";
    }
    EXPECT_EQ(seen[0], rows);
    EXPECT_EQ(seen[1], rows);
}

// The journal's clock in the next test: one reading a call, the last one again once they run out.
static std::vector<LocalDateTime> clockReadings;
static std::size_t clockCalls;
static void readingsClock(LocalDateTime *now)
{
    *now = clockReadings[std::min(clockCalls++, clockReadings.size() - 1)];
}

// A row written just before midnight goes into the file of the day its own time stamp names,
// however the clock moves between choosing the file and stamping the row under its lock.
TEST(Journal, ARowJustBeforeMidnightGoesIntoTheFileOfItsOwnDay)
{
    QTemporaryDir dir;
    const struct Restore {
        QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        ~Restore() { qputenv("XDG_DATA_HOME", dataHome); }
    } restore;
    qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
    std::snprintf(file_name, sizeof file_name, "%s", "midnight.dat");
    const LocalDateTime before{2026, 12, 8, 23, 59, 59, 900, 60};
    const LocalDateTime after{2026, 12, 9, 0, 0, 0, 10, 60};
    const struct {
        const char *what;
        std::vector<LocalDateTime> readings;
        QString day, stamp;
    } cases[] = {
        {"the clock at 23:59:59.9", {before}, "2026-12-08", "2026-12-08T23:59:59.900+01:00"},
        {"midnight passes under the lock",
         {before, after},
         "2026-12-09",
         "2026-12-09T00:00:00.010+01:00"},
        {"the clock set back over midnight",
         {after, before},
         "2026-12-08",
         "2026-12-08T23:59:59.900+01:00"},
        {"a clock that keeps jumping",
         {before, after, before, after, before, after, before},
         "2026-12-09",
         "2026-12-09T00:00:00.010+01:00"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(dir.filePath("data")).removeRecursively();
        clockReadings = c.readings;
        clockCalls = 0;
        SetJournalClock(readingsClock);
        EXPECT_EQ(JournalTransfer(TRANSFER_WRITE, DATFILE), 0);
        SetJournalClock(nullptr);
        for (const char *day : {"2026-12-08", "2026-12-09"}) {
            const QStringList rows =
                completeRows(dir.filePath("data/kivrel/journal/") + day + ".csv");
            if (c.day != day) {
                EXPECT_TRUE(rows.isEmpty()) << "a row in the file of " << day;
                continue;
            }
            ASSERT_EQ(rows.size(), 2) << day;
            EXPECT_EQ(rows[1].section(',', 0, 0), c.stamp);
        }
    }
}

// A writer waits for the lock another program holds, and stamps its row once it has it; a row a
// full disk cut short is ended before the next one, so a reader loses only that one.
TEST(Journal, WaitsForTheLockAndEndsARowCutShort)
{
    QTemporaryDir dir;
    const QString day = QDate::currentDate().toString(Qt::ISODate);
    ASSERT_TRUE(QDir().mkpath(dir.filePath("data/kivrel/journal")));
    const QString path = dir.filePath("data/kivrel/journal/" + day + ".csv");
    QFile journal(path);
    ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
    journal.write(QByteArray(JournalHeader) + day.toLatin1() + "T09:00:00.000+01:00,read,RAM,1,tt");
    journal.flush();
    ASSERT_EQ(flock(journal.handle(), LOCK_EX), 0);

    QProcess writer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KIVREL_JOURNAL_DATA", dir.filePath("data"));
    env.insert("KIVREL_JOURNAL_ROWS", "1");
    env.insert("KIVREL_JOURNAL_FILE", "x.dat");
    env.insert("KIVREL_JOURNAL_READY", dir.filePath("ready"));
    writer.setProcessEnvironment(env);
    writer.start(
        QCoreApplication::applicationFilePath(),
        {"--gtest_filter=Journal.DISABLED_WritesRowsAsAChild", "--gtest_also_run_disabled_tests"});
    ASSERT_TRUE(spinUntil([&] { return QFile::exists(dir.filePath("ready")); }, 60.0));
    spin(0.5); // time enough to write a row, were the lock not taken
    const QDateTime released = QDateTime::currentDateTime();
    flock(journal.handle(), LOCK_UN);
    ASSERT_TRUE(writer.waitForFinished(60000));
    EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardOutput().toStdString();

    const QStringList rows = completeRows(path);
    ASSERT_EQ(rows.size(), 3) << "the header, the row cut short, the new row";
    EXPECT_TRUE(rows[1].endsWith(",tt")) << rows[1].toStdString();
    const QDateTime stamped = QDateTime::fromString(rows[2].section(',', 0, 0), Qt::ISODateWithMs);
    EXPECT_LE(stamped.msecsTo(released), 0)
        << "stamped under the lock, once it was let go: " << rows[2].toStdString();
}

// A transfer's line in HISTORY brings its set back for review: the panel marks what differs and
// sends nothing until Send, which sends exactly that set; polling goes on behind the menu. A
// Send to RAM that EEPROM does not hold is said until EEPROM is seen to hold it.
TEST_F(HistoryTest, AnEarlierSetComesBackFromItsLineAndRamAgainstEepromIsSaid)
{
    const QString ramDiffers =
        "RAM differs from EEPROM in %1: Send to EE keeps them over a power cut";
    auto send = [this](int order) { // the set Send sent, its first telegram of `order`
        peer->clearReceived();
        click(BUTTON_SEND);
        spinUntil([this] { return !telegrams().empty(); });
        const std::vector<Telegram> sent = telegrams();
        EXPECT_TRUE(!sent.empty() && sent[0].order() == order);
        return sent.empty() ? Bytes{} : Bytes(sent[0].bytes.begin() + 2, sent[0].bytes.end());
    };
    click(PANEL_EEPROM), peer->answer(4, Reply(kFresh)), click(BUTTON_GET); // EEPROM holds kFresh
    click(PANEL_RAM);
    SetCtrlVal(panel, PANEL_THRESHOLD, 99);
    click(BUTTON_SEND);
    EXPECT_EQ(status(), ramDiffers.arg("threshold"));

    ShowHistory();
    platform::TimeViewWindow *history = platform::timeViewWindow(HistoryView());
    // The last three: the connect's read of RAM, EEPROM's read, the Send (the run's earlier
    // tests left theirs).
    const QList<platform::TimeViewProbe::Marker> all = probe(history).markers();
    const QList<platform::TimeViewProbe::Marker> lines =
        all.mid(std::max<qsizetype>(0, all.size() - 3));
    ASSERT_EQ(lines.size(), 3);
    ASSERT_EQ(lines[0].label, "read RAM");
    for (const auto &line : lines)
        EXPECT_EQ(line.item, "Load this set into the panel") << line.label.toStdString();
    QCustomPlot *plot = probe(history).plot();
    history->setFollow(false);
    plot->xAxis->setRange(lines[0].time - 5, lines[2].time + 5);
    plot->replot();
    const QPoint onFirst(int(plot->xAxis->coordToPixel(lines[0].time)),
                         plot->axisRect()->rect().center().y());

    peer->answerAlways(5, Reply(numbered(3)));
    QMenu *menu = nullptr;
    std::size_t sentBefore = 0;
    SteadyTime opened{};
    after(300, [&] {
        QContextMenuEvent right(QContextMenuEvent::Mouse, onFirst, plot->mapToGlobal(onFirst));
        QCoreApplication::sendEvent(plot, &right);
        menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        opened = std::chrono::steady_clock::now();
        when([&] { return polls(opened, std::chrono::steady_clock::now()).size() >= 4; },
             [&] {
                 sentBefore = telegrams().size();
                 if (menu)
                     QTest::mouseClick(menu, Qt::LeftButton, {},
                                       menu->actionGeometry(menu->actions().value(0)).center());
                 kivrel::poll = 0;
             });
    });
    click(BUTTON_GO);
    ASSERT_TRUE(menu) << "a right click on the line opens its menu";
    EXPECT_GE(polls(opened, std::chrono::steady_clock::now()).size(), 4u) << "behind the menu";
    EXPECT_TRUE(QRegularExpression(R"(^Loaded the set of read RAM \d{4}-\d\d-\d\d \d\d:\d\d:\d\d$)")
                    .match(status())
                    .hasMatch())
        << status().toStdString();
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 120);
    EXPECT_TRUE(window()->isWindowModified()) << "the sensor holds 99";
    for (std::size_t i = sentBefore; i < telegrams().size(); i++)
        EXPECT_EQ(telegrams()[i].order(), 5) << "nothing but polls before Send";

    EXPECT_EQ(send(1), kParams); // RAM: the loaded set exactly, frei15 too
    EXPECT_EQ(status(), ramDiffers.arg("threshold, frei15"));
    click(PANEL_EEPROM);
    EXPECT_EQ(send(2), kParams);
    EXPECT_EQ(status(), "") << "EEPROM holds what RAM holds";
    EXPECT_EQ(reports(), 0);
    CloseHistory();
}
