// What the tool keeps: live recordings in CSV, written at least once a second and ended
// cleanly, and the parameter journal's row for every kind of transfer.
#include "sensor_fixture.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

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
        qunsetenv("XDG_DATA_HOME");
    }
    void startRecording(const QString &path)
    {
        popups->answerFileDialog(path);
        click(PANEL_REC);
        ASSERT_EQ(intValue(PANEL_REC), 1) << status().toStdString();
    }
    QTemporaryDir dir;
};

} // namespace

// Every record shown is a row, in order, field for field; the timeout that ends polling ends
// the file too. Cancelling the dialog leaves REC off.
TEST_F(HistoryTest, RecordingHoldsEveryRecordShownAndEndsWithPolling)
{
    popups->cancelFileDialog();
    click(PANEL_REC);
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
    click(BUTTON_GO); // polls the 25, then the sensor falls silent: TIMEOUT
    EXPECT_EQ(reports(), 1);
    EXPECT_EQ(intValue(PANEL_REC), 0) << "the timeout ended the recording";
    EXPECT_EQ(widget(PANEL_REC)->property("text").toString(), "REC   F7");

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
    after(3000, [&] {
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
TEST_F(HistoryTest, RecordsUntilKilled)
{
    const QByteArray path = qgetenv("KIVREL_RECORD_UNTIL_KILLED");
    if (path.isEmpty()) GTEST_SKIP() << "the child of RecordingSurvivesAKill";
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
                {"--gtest_filter=HistoryTest.RecordsUntilKilled"});
    ASSERT_TRUE(child.waitForStarted(5000));
    ASSERT_TRUE(spinUntil([&] { return !completeRows(path).isEmpty(); }, 20.0));
    const Stopwatch recording; // the header is written as the recording starts
    spin(3.0);
    child.kill();
    child.waitForFinished(5000);
    const double killedAfter = recording.seconds();

    const QStringList rows = completeRows(path);
    ASSERT_GT(rows.size(), 1);
    EXPECT_EQ(rows[0], kHeader);
    double last = 0.0;
    for (const QString &row : rows.mid(1))
        EXPECT_TRUE(parses(row, &last)) << row.toStdString();
    EXPECT_GT(last, killedAfter - 1.5) << "more than the last second was lost";
}

// One row per transfer, with where it went or came from and the 15 bytes on the wire.
TEST_F(HistoryTest, TheJournalHasARowForEveryKindOfTransfer)
{
    const QString file = dir.filePath("set,1.dat"); // a comma the CSV must quote
    const QString port = "1," + QString::fromStdString(peer->slavePath()).mid(5);
    auto values = [](const Bytes &b) {
        QStringList v;
        for (unsigned char x : b)
            v << QString::number(x);
        return v.join(',');
    };
    Bytes saved = kFresh;
    saved[2] = 46 - (100 * (46 - 23) / 46) * 46 / 100; // power through percent and back
    const struct {
        std::function<void()> transfer;
        QString expected;
    } cases[] = {
        {[] {}, "read,RAM," + port + "," + values(kParams)}, // the connect in SetUp
        {[&] { click(PANEL_EEPROM), peer->answer(4, Reply(kFresh)), click(BUTTON_GET); },
         "read,EEPROM," + port + "," + values(kFresh)},
        {[&] { click(BUTTON_SEND); }, "write,EEPROM," + port + "," + values(saved)},
        {[&] { click(PANEL_EEPROM), click(BUTTON_SEND); },
         "write,RAM," + port + "," + values(saved)},
        {[&] { click(PANEL_FILE), popups->answerFileDialog(file), click(BUTTON_SEND); },
         "write,FILE,,\"" + file + "\"," + values(saved)},
        {[&] { popups->answerFileDialog(file), click(BUTTON_GET); },
         "read,FILE,,\"" + file + "\"," + values(saved)},
    };
    for (const auto &c : cases)
        c.transfer();
    const QString journal =
        dir.filePath("data/kivrel/journal/" + QDate::currentDate().toString(Qt::ISODate) + ".csv");
    const QStringList rows = completeRows(journal);
    ASSERT_EQ(rows.size(), int(std::size(cases)) + 1) << journal.toStdString();
    EXPECT_EQ(rows[0], "time,direction,target,port,device,threshold,hysteresis,power,pmod,hold,"
                       "trigger,backlim,regcnt,average,deadtimemode,deadtime,outmode,trshmod,"
                       "deltatrsh,frei15");
    for (std::size_t i = 0; i < std::size(cases); i++)
        EXPECT_EQ(rows[int(i) + 1].section(',', 1), cases[i].expected) << "transfer " << i;
    EXPECT_EQ(reports(), 0);
}
