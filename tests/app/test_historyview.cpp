// Looking back: the recording reader on good and bad files, the HISTORY window after polling
// the simulated sensor, recordings opened with the journal's transfers, and the exports.
#include "sim_fixture.h"

#include "csv.h"
#include "journal.h"
#include "journalset.h"
#include "recreader.h"
#include "recordingview.h"
#include "runhistory.h"

#include "timeview_test.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <map>

#include <sys/stat.h>

using namespace kivrel;
using namespace kivrel::test;
using platform::TimeViewProbe;
using platform::TimeViewWindow;

namespace
{

const std::string kHeader = "time,seconds,dat0,dat1,norm,threshold,hysteresis,in0_period,"
                            "active_window,edge_time,active_percent,edge_percent\n";
const std::string kRow1 = "2026-12-08T09:16:05.420+01:00,10.629,166,97,160,120,150,0,0,0,,\n";
const std::string kRow2 = "2026-12-08T09:16:05.532+01:00,10.741,50,90,91,120,150,2000,1200,"
                          "600,60,30\n";
const std::string kRow3 = "2026-12-08T09:16:06.645-03:30,10.853,166,97,160,60,150,0,0,0,,\n";

std::string crlf(std::string text)
{
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.insert(at, 1, '\r');
    return text;
}

struct Read {
    RecTally tally{};
    std::vector<RecRow> rows;
};

// A reader's sink: the row, kept in the std::vector<RecRow> `rows`.
void keepRow(const RecRow *row, void *rows)
{
    static_cast<std::vector<RecRow> *>(rows)->push_back(*row);
}

// The reader fed `bytes` in chunks of `chunk` bytes.
Read readRecording(const std::string &bytes, std::size_t chunk)
{
    Read r;
    RecReader reader;
    BeginRecReading(&reader, keepRow, &r.rows);
    for (std::size_t at = 0; at < bytes.size(); at += chunk)
        FeedRecReading(&reader, bytes.data() + at, int(std::min(chunk, bytes.size() - at)));
    EndRecReading(&reader, &r.tally);
    return r;
}

double epoch(const char *isoTime)
{
    return double(QDateTime::fromString(isoTime, Qt::ISODateWithMs).toMSecsSinceEpoch()) / 1000;
}

std::string fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

void writeFile(const QString &path, const std::string &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), qint64(bytes.size()));
}

const char kJournalHeader[] =
    "time,direction,target,port,device,threshold,hysteresis,power,pmod,hold,trigger,backlim,"
    "regcnt,average,deadtimemode,deadtime,outmode,trshmod,deltatrsh,frei15,user,host,program,"
    "outcome\n";

// A journal row of the panel's: `what` is "read,RAM,1,ttyUSB0"; the set begins with `threshold`.
std::string journalRow(const char *time, const char *what, int threshold,
                       const char *outcome = "read")
{
    return std::string(time) + "," + what + "," + std::to_string(threshold) +
           ",150,23,0,10,0,10,10,1,1,5,0,1,20,77,anna,line3,kivrel," + outcome + "\n";
}

// Journal days under `dataHome`, each a header and the rows given.
void writeJournalDays(const QString &dataHome, const std::map<QString, std::string> &days)
{
    QDir(dataHome + "/kivrel/journal").removeRecursively();
    ASSERT_TRUE(QDir().mkpath(dataHome + "/kivrel/journal"));
    for (const auto &[day, rows] : days)
        writeFile(dataHome + "/kivrel/journal/" + day + ".csv", kJournalHeader + rows);
}

struct Ran {
    int code;
    QString out, err;
};

// `program` as a script from cron runs it, without a display, in a fixed time zone an hour
// ahead of UTC, with its data and run-time folders in `home`.
Ran run(const QString &program, const QStringList &args, const QString &home)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *display : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(display);
    env.insert("TZ", "KVT-1");
    env.insert("XDG_DATA_HOME", home + "/data");
    env.insert("XDG_RUNTIME_DIR", home);
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(30000)) return {-1, "", "still running"};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

// Each file as a whole and a byte at a time: the good rows are read, the others counted by
// why; a file that is no recording is refused after its first line.
TEST(RecordingReader, ReadsTheGoodRowsAndCountsTheRest)
{
    const struct {
        const char *what;
        std::string bytes;
        int isRecording, rows, cutShort, extraColumns, unreadable;
    } cases[] = {
        {"as REC writes it", kHeader + kRow1 + kRow2 + kRow3, 1, 3, 0, 0, 0},
        {"saved again: BOM, CR LF", crlf("\xEF\xBB\xBF" + kHeader + kRow1 + kRow2), 1, 2, 0, 0, 0},
        {"killed mid-row", kHeader + kRow1 + kRow2.substr(0, 40), 1, 1, 1, 0, 0},
        {"killed in the last field", kHeader + kRow1 + kRow2.substr(0, kRow2.size() - 2), 1, 1, 1,
         0, 0},
        {"killed between rows", kHeader + kRow1 + kRow2, 1, 2, 0, 0, 0},
        {"a column too many", kHeader + kRow1 + kRow2.substr(0, kRow2.size() - 1) + ",7\n", 1, 1, 0,
         1, 0},
        {"a column too few", kHeader + "2026-12-08T09:16:05.420+01:00,1.0,1,2\n" + kRow1, 1, 1, 0,
         0, 0},
        {"a byte not UTF-8",
         kHeader + kRow1 +
             "2026-12-08T09:16:05.420+01:00,1.0,1\xFF,2,3,4,5,0,"
             "0,0,,\n",
         1, 1, 0, 0, 1},
        {"256 in a byte field", kHeader + "2026-12-08T09:16:05.420+01:00,1.0,256,2,3,4,5,0,0,0,,\n",
         1, 0, 0, 0, 1},
        {"a 31st of November", kHeader + "2026-11-31T09:16:05.420+01:00,1.0,1,2,3,4,5,0,0,0,,\n", 1,
         0, 0, 0, 1},
        {"a line of 5000 bytes", kHeader + std::string(5000, '7') + "\n" + kRow3, 1, 1, 0, 0, 1},
        {"blank lines", kHeader + "\n" + kRow1 + "\n\n", 1, 1, 0, 0, 0},
        {"the header alone", kHeader, 1, 0, 0, 0, 0},
        {"empty", "", 0, 0, 0, 0, 0},
        {"the parameter journal", "time,direction,target,port,device,threshold\n" + kRow1, 0, 0, 0,
         0, 0},
        {"a header without a column", kHeader.substr(0, kHeader.size() - 14) + "\n" + kRow1, 0, 0,
         0, 0, 0},
        {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + kRow1, 0, 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const Read whole = readRecording(c.bytes, std::max<std::size_t>(1, c.bytes.size()));
        const RecTally &t = whole.tally;
        EXPECT_EQ(t.isRecording, c.isRecording);
        EXPECT_EQ(t.rows, c.rows);
        EXPECT_EQ(int(whole.rows.size()), c.rows);
        EXPECT_EQ(t.cutShort, c.cutShort);
        EXPECT_EQ(t.extraColumns, c.extraColumns);
        EXPECT_EQ(t.unreadable, c.unreadable);
        EXPECT_EQ(t.empty, c.bytes.empty());
        EXPECT_EQ(t.isJournal, c.bytes.starts_with("time,direction,"));
        const Read bytewise = readRecording(c.bytes, 1);
        const RecTally &b = bytewise.tally;
        EXPECT_EQ(
            (std::vector<int>{b.isRecording, b.rows, b.cutShort, b.extraColumns, b.unreadable}),
            (std::vector<int>{t.isRecording, t.rows, t.cutShort, t.extraColumns, t.unreadable}))
            << "a byte at a time";
        ASSERT_EQ(bytewise.rows.size(), whole.rows.size());
        for (std::size_t i = 0; i < whole.rows.size(); i++) {
            EXPECT_EQ(bytewise.rows[i].time, whole.rows[i].time) << i;
            EXPECT_EQ(bytewise.rows[i].norm, whole.rows[i].norm) << i;
        }
    }
    // Lines that are no rows are told apart from a write a kill cut off, by their line numbers.
    const struct {
        const char *what;
        std::string bytes;
        int notARow, cutShort;
        std::vector<int> lines;
    } notRows[] = {
        {"a column too few",
         kHeader + "2026-12-08T09:16:05.420+01:00,1.0,1,2\n" + kRow1,
         1,
         0,
         {2}},
        {"notes between rows, killed mid-row",
         kHeader + kRow1 + "pause\n" + "a,b\n" + kRow2 + "restart\n" + "x\n" + kRow3.substr(0, 20),
         4,
         1,
         {3, 4, 6}},
    };
    for (const auto &c : notRows) {
        SCOPED_TRACE(c.what);
        for (std::size_t chunk : {std::size_t(1), c.bytes.size()}) {
            const RecTally t = readRecording(c.bytes, chunk).tally;
            EXPECT_EQ((std::vector<int>{t.notARow, t.cutShort}),
                      (std::vector<int>{c.notARow, c.cutShort}));
            EXPECT_EQ(std::vector<int>(t.notARowLines, t.notARowLines + c.lines.size()), c.lines);
        }
    }

    // Every field of a row, times with their offsets from UTC.
    const Read r = readRecording(kHeader + kRow1 + kRow2 + kRow3, 5);
    ASSERT_EQ(r.rows.size(), 3u);
    EXPECT_DOUBLE_EQ(r.rows[0].time, epoch("2026-12-08T09:16:05.420+01:00"));
    EXPECT_DOUBLE_EQ(r.rows[2].time, epoch("2026-12-08T09:16:06.645-03:30"));
    EXPECT_DOUBLE_EQ(r.rows[1].seconds, 10.741);
    const RecRow &b = r.rows[1];
    EXPECT_EQ((std::vector<unsigned>{b.dat0, b.dat1, b.norm, b.threshold, b.hysteresis, b.in0Period,
                                     b.activeWindow, b.edgeTime}),
              (std::vector<unsigned>{50, 90, 91, 120, 150, 2000, 1200, 600}));
    EXPECT_STREQ(r.tally.lastStamp, "2026-12-08T09:16:06.645-03:30");

    // Written on a German desktop before numbers kept their point: the seconds in two fields.
    auto comma = [](std::string row) { return row.replace(row.find("10."), 3, "10,"); };
    const Read german = readRecording(kHeader + comma(kRow1) + comma(kRow2) + kRow3, 7);
    EXPECT_EQ((std::vector<int>{german.tally.rows, german.tally.mended, german.tally.extraColumns}),
              (std::vector<int>{3, 2, 0}));
    ASSERT_EQ(german.rows.size(), 3u);
    EXPECT_DOUBLE_EQ(german.rows[1].seconds, 10.741);
    EXPECT_EQ(german.rows[1].in0Period, 2000u) << "the columns after the seconds in place";
    // Field by field as the same rows written with points, the last column included.
    const Read points = readRecording(kHeader + kRow1 + kRow2 + kRow3, 7);
    auto fields = [](const RecRow &r) {
        return std::vector<double>{r.time,
                                   r.seconds,
                                   double(r.dat0),
                                   double(r.dat1),
                                   double(r.norm),
                                   double(r.threshold),
                                   double(r.hysteresis),
                                   double(r.in0Period),
                                   double(r.activeWindow),
                                   double(r.edgeTime),
                                   double(r.activePercent),
                                   double(r.edgePercent)};
    };
    ASSERT_EQ(points.rows.size(), 3u);
    for (std::size_t i = 0; i < 3; i++)
        EXPECT_EQ(fields(german.rows[i]), fields(points.rows[i])) << "row " << i;
    EXPECT_EQ((std::vector<int>{points.rows[1].activePercent, points.rows[1].edgePercent}),
              (std::vector<int>{60, 30}));
    EXPECT_EQ(points.rows[0].edgePercent, -1) << "no IN0 period, no percentage";
}

// Two files read at once, a byte of each in turn: each reader makes of its file what it makes
// of it alone.
TEST(RecordingReader, TwoFilesReadAtOnceStayApart)
{
    const std::string files[2] = {kHeader + kRow1 + kRow2, kHeader + kRow3 + "a note\n" + kRow1};
    RecReader readers[2];
    std::vector<RecRow> rows[2];
    for (int f = 0; f < 2; f++)
        BeginRecReading(&readers[f], keepRow, &rows[f]);
    for (std::size_t at = 0; at < std::max(files[0].size(), files[1].size()); at++)
        for (int f = 0; f < 2; f++)
            if (at < files[f].size()) FeedRecReading(&readers[f], &files[f][at], 1);
    for (int f = 0; f < 2; f++) {
        RecTally tally{};
        EndRecReading(&readers[f], &tally);
        const Read alone = readRecording(files[f], 4096);
        EXPECT_EQ(tally.rows, alone.tally.rows) << f;
        EXPECT_EQ(tally.notARow, alone.tally.notARow) << f;
        ASSERT_EQ(rows[f].size(), alone.rows.size()) << f;
        for (std::size_t i = 0; i < rows[f].size(); i++)
            EXPECT_EQ(rows[f][i].time, alone.rows[i].time) << f << " " << i;
    }
    EXPECT_EQ(rows[1].size(), 2u);
}

// A time written back in the local time it was taken in: across midnight, a year's end, a leap
// day, offsets west and east, and read back to the millisecond.
TEST(RecordingWriter, StampsATimeInItsOwnOffset)
{
    const struct {
        const char *stamp;
        int offset;
    } cases[] = {
        {"2026-12-08T23:59:59.999+01:00", 60},  {"2026-12-09T00:00:00.000-03:30", -210},
        {"1999-12-31T23:59:59.500+00:00", 0},   {"2028-02-29T12:00:00.001+05:45", 345},
        {"2026-03-01T00:30:00.250+14:00", 840},
    };
    for (const auto &c : cases) {
        double time = 0;
        ASSERT_EQ(ParseTimeStamp(c.stamp, int(std::strlen(c.stamp)), &time), 0) << c.stamp;
        char text[40];
        CsvTimeStampAt(text, sizeof text, time, c.offset);
        EXPECT_STREQ(text, c.stamp);
    }
}

// The journal's answers: which sensors a span names, and the set in force at a time, for a
// device and a memory, over days, never from a row whose verification failed.
TEST(JournalSets, TheSensorsOfASpanAndTheSetInForceAtATime)
{
    QTemporaryDir dir;
    const struct Restore {
        QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        ~Restore() { qputenv("XDG_DATA_HOME", dataHome); }
    } restore;
    qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
    writeJournalDays(
        dir.filePath("data"),
        {{"2026-05-20", journalRow("2026-05-20T08:00:00.000+01:00", "read,RAM,1,ttyUSB0", 101)},
         {"2026-06-14", journalRow("2026-06-14T22:00:00.000+01:00", "write,EEPROM,1,ttyUSB0", 102,
                                   "written without verification")},
         {"2026-06-15",
          journalRow("2026-06-15T05:58:12.000+01:00", "read,RAM,1,ttyUSB0", 103) +
              journalRow("2026-06-15T06:01:00.000+01:00", "write,RAM,2,ttyUSB1", 104, "verified") +
              journalRow("2026-06-15T06:01:30.000+01:00", "write,RAM,1,ttyUSB0", 105,
                         "verification failed") +
              journalRow("2026-06-15T06:02:00.000+01:00", "write,FILE,,/tmp/x.dat", 106,
                         "written without verification") +
              journalRow("2026-06-15T07:00:00.000+01:00", "read,RAM,1,ttyUSB0", 107)}});
    const struct {
        const char *device;
        int memory;
        const char *at;
        int threshold; // of the row found; 0: none
    } sets[] = {
        {"ttyUSB0", JOURNAL_EITHER_MEMORY, "2026-06-15T06:00:00.000+01:00", 103},
        {"ttyUSB0", JOURNAL_EITHER_MEMORY, "2026-06-15T06:01:45.000+01:00", 103},
        {"ttyUSB0", EEPROM, "2026-06-15T06:00:00.000+01:00", 102},
        {"ttyUSB0", RAM, "2026-06-15T05:00:00.000+01:00", 101},
        {"ttyUSB0", RAM, "2026-06-15T07:00:00.000+01:00", 107},
        {"ttyUSB0", RAM, "2026-07-14T12:00:00.000+01:00", 107},
        {"ttyUSB0", RAM, "2026-07-20T12:00:00.000+01:00", 0}, // more than 31 days back
        {"ttyUSB0", JOURNAL_EITHER_MEMORY, "2026-05-20T07:59:59.000+01:00", 0},
        {"ttyUSB1", RAM, "2026-06-15T06:00:59.999+01:00", 0},
        {"ttyUSB1", RAM, "2026-06-15T06:01:00.000+01:00", 104},
        {"ttyUSB1", EEPROM, "2026-06-15T08:00:00.000+01:00", 0},
    };
    for (const auto &c : sets) {
        SCOPED_TRACE(std::string(c.device) + " " + std::to_string(c.memory) + " " + c.at);
        JournalRow row{};
        EXPECT_EQ(JournalSetAt(c.device, c.memory, epoch(c.at), JournalLookBackDays, &row),
                  c.threshold != 0);
        if (c.threshold) {
            EXPECT_EQ(row.values[0], c.threshold);
        }
    }
    const struct {
        const char *first, *last;
        std::vector<std::string> sensors;
    } spans[] = {
        {"2026-06-15T06:00:00.000+01:00", "2026-06-15T06:00:30.000+01:00", {"ttyUSB0"}},
        {"2026-06-15T06:00:00.000+01:00", "2026-06-15T06:02:48.000+01:00", {"ttyUSB1", "ttyUSB0"}},
        {"2026-06-15T06:01:40.000+01:00", "2026-06-15T06:02:30.000+01:00", {"ttyUSB0"}},
        {"2026-07-01T10:00:00.000+01:00", "2026-07-01T11:00:00.000+01:00", {"ttyUSB0"}},
        {"2026-04-01T10:00:00.000+01:00", "2026-04-01T11:00:00.000+01:00", {}},
        {"2026-08-01T10:00:00.000+01:00", "2026-08-01T11:00:00.000+01:00", {}},
    };
    for (const auto &c : spans) {
        SCOPED_TRACE(c.first);
        char devices[3][JournalDeviceSize];
        const int n = JournalSensorsOf(epoch(c.first), epoch(c.last), devices, 3);
        ASSERT_EQ(n, int(c.sensors.size()));
        for (int i = 0; i < n; i++)
            EXPECT_EQ(devices[i], c.sensors[std::size_t(i)]);
    }
}

// A recording whose clock was set back: its pauses are found in the order its rows were
// written, on both sides of the step, and no line joins across the step.
TEST_F(PanelTest, ARecordingWhoseClockWasSetBackKeepsItsPauses)
{
    QTemporaryDir dir;
    // 10 000 rows from 10:00 with a pause of 300 s after the 5000th; then the clock back at 09:00,
    // 10 000 more with a pause after the 240th, where the window takes a new batch of rows.
    std::string bytes = kHeader;
    std::vector<double> times;
    const double ten = epoch("2026-06-15T10:00:00.000+01:00");
    for (int i = 0; i < 20000; i++) {
        const int k = i % 10000;
        times.push_back((i < 10000 ? ten : ten - 3600) + k * 0.11 +
                        (k >= (i < 10000 ? 5000 : 240) ? 300 : 0));
        char stamp[40];
        CsvTimeStampAt(stamp, sizeof stamp, times.back(), 60);
        bytes += std::string(stamp) + ",1.000,30,97,160,120,200,0,0,0,,\n";
    }
    const QString path = dir.filePath("setback.csv");
    writeFile(path, bytes);
    OpenRecordingView(path.toLocal8Bit().constData());
    TimeViewWindow *w = platform::timeViewWindow(RecordingView());
    ASSERT_TRUE(spinUntil([] { return !RecordingLoading(); }, 30.0));
    ASSERT_EQ(probe(w).pointCount(), 20000);
    const QList<QPair<double, double>> gaps = probe(w).gaps();
    const std::pair<int, int> pauses[] = {{10239, 10240}, {4999, 5000}}; // in order of time
    ASSERT_EQ(gaps.size(), 2);
    for (int i = 0; i < 2; i++) {
        EXPECT_NEAR(gaps[i].first, times[std::size_t(pauses[i].first)], 0.001);
        EXPECT_NEAR(gaps[i].second, times[std::size_t(pauses[i].second)], 0.001);
    }
    spin(0.3); // laid out, the last redraw done
    ShowWholeTimeView(RecordingView());
    const QImage image = probe(w).plot()->toPixmap().toImage();
    // DAT0's colour at its value, in the column of `time`.
    auto dat0At = [&](double time) {
        const int x = int(probe(w).plot()->xAxis->coordToPixel(time));
        const int y = int(probe(w).plot()->yAxis->coordToPixel(30));
        int n = 0;
        for (int dy = -3; dy <= 3; dy++)
            n += image.pixel(x, y + dy) == qRgb(0x1F, 0x77, 0xB4);
        return n;
    };
    EXPECT_GT(dat0At(times[1000]), 0);
    EXPECT_GT(dat0At(times[11000]), 0);
    EXPECT_EQ(dat0At((times[4999] + times[5000]) / 2), 0) << "drawn in the pause before the step";
    EXPECT_EQ(dat0At((times[10239] + times[10240]) / 2), 0) << "drawn in the pause after it";
    EXPECT_EQ(dat0At((times[19999] + times[0]) / 2), 0) << "joined across the step";
    CloseRecordingView();
}

// A replot before the window has caught up with new points (a resize while a recording is read)
// names the file alone, never a span of 1970; the redraw then names the points' span.
TEST_F(PanelTest, TheCaptionNeverNames1970BeforeTheWindowCatchesUp)
{
    const int red = 0xFF0000;
    const int view = NewTimeView(1, "NORM", &red, 0, 255, 60, nullptr);
    SetTimeViewText(view, TIMEVIEW_CAPTION, "run.csv");
    DisplayTimeView(view);
    const double time = epoch("2026-06-15T12:00:00.000+00:00"), value = 150;
    AddTimeViewPoints(view, &time, &value, 1);
    TimeViewWindow *w = platform::timeViewWindow(view);
    probe(w).plot()->replot();
    EXPECT_EQ(probe(w).caption(), "run.csv");
    spin(0.3);
    EXPECT_TRUE(probe(w).caption().startsWith("run.csv   2026-06-15 "))
        << probe(w).caption().toStdString();
    DiscardTimeView(view);
}

namespace
{

class HistoryViewTest : public SimTest
{
  protected:
    void SetUp() override
    {
        SimTest::SetUp();
        qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
        setProjectDir(dir.path());
        ForgetHistory();
        ASSERT_NO_FATAL_FAILURE(startSim({"--fast", "--eeprom", dir.filePath("eeprom.dat")}));
        InitRS232(com);
        ASSERT_EQ(status(), kLineOkText);
    }
    void TearDown() override
    {
        CloseHistory();
        SimTest::TearDown();
        qputenv("XDG_DATA_HOME", dataHome);
    }
    TimeViewWindow *live() const { return platform::timeViewWindow(HistoryView()); }
    TimeViewWindow *file() const { return platform::timeViewWindow(RecordingView()); }
    // The recording chosen in the dialog has been read into its window.
    bool opened() const
    {
        return popups->waitForDialogs() && spinUntil([] { return !RecordingLoading(); });
    }
    void pollFor(double seconds)
    {
        after(int(seconds * 1000), [] { kivrel::poll = 0; });
        click(BUTTON_GO);
    }
    // The pointer at `time`, in the middle of the plot's height; what the read-out then says.
    static QString hoverAt(TimeViewWindow *w, double time)
    {
        QCustomPlot *plot = probe(w).plot();
        const QPointF pos(plot->xAxis->coordToPixel(time), plot->axisRect()->center().y());
        QMouseEvent move(QEvent::MouseMove, pos, plot->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &move);
        return probe(w).readout();
    }

    // Export's choice `kind` (its place in the menu) into `path`, as the operator picks it.
    void exportFrom(TimeViewWindow *w, int kind, const QString &path)
    {
        popups->answerFileDialog(path);
        QTest::mouseClick(probe(w).exportButton(), Qt::LeftButton);
        ASSERT_TRUE(spinUntil([w] { return probe(w).exportMenu()->isVisible(); }));
        probe(w).exportMenu()->actions().at(kind)->trigger();
        probe(w).exportMenu()->close();
        ASSERT_TRUE(popups->waitForDialogs());
    }

    // A day's journal, begun with the header rows had before they named their outcome.
    void writeJournal(const char *day, const std::string &rows)
    {
        ASSERT_TRUE(QDir().mkpath(dir.filePath("data/kivrel/journal")));
        writeFile(dir.filePath(QString("data/kivrel/journal/%1.csv").arg(day)),
                  "time,direction,target,port,device,threshold,hysteresis,power,pmod,hold,"
                  "trigger,backlim,regcnt,average,deadtimemode,deadtime,outmode,trshmod,"
                  "deltatrsh,frei15,user,host,program\n" +
                      rows);
    }

    QTemporaryDir dir;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
};

enum { BUTTON_HISTORY = 48 };
// Export's menu.
enum { kPicture, kPdfPage = 2, kPngPage, kSpanCsv };

} // namespace

// What the window shows is what polling showed: the records a recording of the same run holds,
// value for value, and a line for each transfer saying what changed. Closed and opened again it
// shows the same.
TEST_F(HistoryViewTest, ShowsTheRecordsPolledAndTheTransfers)
{
    window()->activateWindow(); // F-keys need the window
    ASSERT_TRUE(QTest::qWaitForWindowActive(window(), 2000));
    pressKey(Qt::Key_F5);
    ASSERT_TRUE(spinUntil([this] { return live() != nullptr; }));
    EXPECT_TRUE(live()->isVisible());
    EXPECT_TRUE(live()->windowTitle().startsWith("History — COM1 ("));
    popups->answerFileDialog(dir.filePath("run.csv"));
    click(PANEL_REC);
    ASSERT_TRUE(popups->waitForDialogs());
    pollFor(1.0);
    SetCtrlVal(panel, PANEL_THRESHOLD, 60);
    click(BUTTON_SEND);
    pollFor(1.0);
    // Never over the file REC is writing, by any name: it would lose what REC writes after.
    ASSERT_TRUE(QFile::link(dir.filePath("run.csv"), dir.filePath("link.csv")));
    popups->answerMessage("Yes"); // replace it
    exportFrom(live(), kSpanCsv, dir.filePath("link.csv"));
    EXPECT_EQ(probe(live()).status(), "Not exported: link.csv is the recording being made");
    click(PANEL_REC);
    spin(0.3);

    const Read rec = readRecording(fileBytes(dir.filePath("run.csv")), 4096);
    ASSERT_GT(rec.rows.size(), 20u);
    EXPECT_EQ(status(), QString("Recording ended: run.csv holds %1 rows").arg(rec.rows.size()));
    auto sameAsRecording = [&](TimeViewWindow *w) {
        ASSERT_EQ(probe(w).pointCount(), int(rec.rows.size()));
        for (int i = 0; i < probe(w).pointCount(); i++) {
            const RecRow &r = rec.rows[std::size_t(i)];
            EXPECT_NEAR(probe(w).time(i), r.time, 0.02) << i;
            const double values[] = {double(r.dat0), double(r.dat1), double(r.norm),
                                     double(r.threshold), double(r.hysteresis)};
            for (int t = 0; t < 5; t++)
                EXPECT_EQ(probe(w).value(t, i), values[t]) << i << " " << t;
        }
        const QList<TimeViewProbe::Marker> m = probe(w).markers();
        ASSERT_EQ(m.size(), 2);
        EXPECT_EQ(m[0].label, "read RAM");
        EXPECT_TRUE(m[0].detail.contains("set: threshold 120, hysteresis 150, power 78 %"))
            << m[0].detail.toStdString();
        EXPECT_EQ(m[1].label, "write RAM");
        // Only what the operator changed: POWER went through the panel's percent and back.
        EXPECT_TRUE(m[1].detail.endsWith("\nthreshold 120 → 60")) << m[1].detail.toStdString();
        EXPECT_LT(m[0].time, probe(w).time(0));
        EXPECT_GT(m[1].time, probe(w).time(0));
        EXPECT_LT(m[1].time, probe(w).time(probe(w).pointCount() - 1));
    };
    sameAsRecording(live());
    EXPECT_GT(probe(live()).replots(), 0);
    // The span shown, written as REC writes it, reads back as the recording's rows.
    ShowWholeTimeView(HistoryView());
    exportFrom(live(), kSpanCsv, dir.filePath("span.csv"));
    EXPECT_EQ(probe(live()).status(), QString("Exported %1 rows: span.csv").arg(rec.rows.size()));
    const Read span = readRecording(fileBytes(dir.filePath("span.csv")), 4096);
    ASSERT_EQ(span.rows.size(), rec.rows.size());
    for (std::size_t i = 0; i < span.rows.size(); i++) {
        const RecRow &a = span.rows[i], &b = rec.rows[i];
        EXPECT_NEAR(a.time, b.time, 0.01) << i;
        EXPECT_NEAR(a.seconds, a.time - span.rows[0].time, 0.0015) << i;
        EXPECT_EQ((std::vector<unsigned>{a.dat0, a.dat1, a.norm, a.threshold, a.hysteresis,
                                         a.in0Period, a.activeWindow, a.edgeTime}),
                  (std::vector<unsigned>{b.dat0, b.dat1, b.norm, b.threshold, b.hysteresis,
                                         b.in0Period, b.activeWindow, b.edgeTime}))
            << i;
    }
    // The report page names the sensor and the set the Send left.
    exportFrom(live(), kPdfPage, dir.filePath("live.pdf"));
    const QString page = run("pdftotext", {dir.filePath("live.pdf"), "-"}, dir.path()).out;
    for (const char *says :
         {"Sensor on COM1 (pts/", "end of the span: write RAM ", "threshold 60,"})
        EXPECT_TRUE(page.contains(says)) << says << "\n" << page.toStdString();
    EXPECT_TRUE(probe(live()).caption().startsWith("COM1 ("))
        << probe(live()).caption().toStdString();
    const double write = probe(live()).markers()[1].time;
    EXPECT_TRUE(hoverAt(live(), write).contains("write RAM; COM1 (pts/"));
    // Near the newest record the points lie closer than a pixel: the readout names the record
    // it found by its time, and gives that record's values.
    const QString values = hoverAt(live(), probe(live()).time(probe(live()).pointCount() - 1));
    int found = -1;
    for (int i = 0; i < probe(live()).pointCount(); i++)
        if (QDateTime::fromMSecsSinceEpoch(qint64(std::llround(probe(live()).time(i) * 1000)))
                .toString("hh:mm:ss.zzz") == values.section(' ', 0, 0))
            found = i;
    ASSERT_GE(found, probe(live()).pointCount() - 10) << values.toStdString();
    EXPECT_TRUE(values.contains(QString("NORM %1 ").arg(probe(live()).value(2, found))))
        << values.toStdString();

    live()->close();
    EXPECT_EQ(HistoryView(), -1);
    click(BUTTON_HISTORY);
    ASSERT_NE(live(), nullptr);
    sameAsRecording(live());
}

// A recording opened from the window: all its rows, the journal's transfers of its span, each
// against the row before it, and a status line that says what was skipped. A file that is no
// recording shows nothing and says why; so does one that cannot be read at all.
TEST_F(HistoryViewTest, OpensARecordingWithTheJournalsTransfers)
{
    ASSERT_TRUE(QDir().mkpath(dir.filePath("runs")));
    const QString recording = dir.filePath("runs/rec.csv");
    writeFile(recording, kHeader + kRow1 + kRow2 + "2026-12-08T09:16:07.000+01:00,11.5,1,2,3\n" +
                             "2026-12-08T09:16:09.000+01:00,12,000,166,97,160,60,150,0,0,0,,\n");
    const std::string set120 = "120,150,23,0,10,0,10,10,1,1,5,0,1,20,77";
    const std::string set60 = "60,150,23,0,10,0,10,10,1,1,5,0,1,20,77";
    // Two sensors in one journal, a file, and rows of both forms: each transfer is compared with
    // the row before it of its own device and memory. The day's file began before rows named
    // their outcome; the last row names it, and its port has no COM number.
    writeJournal("2026-12-08", "2026-12-08T09:10:00.000+01:00,read,RAM,1,ttyUSB0," + set120 +
                                   ",anna,line3,kivrel\n" +
                                   "2026-12-08T09:11:00.000+01:00,read,RAM,2,"
                                   "\"pts/3,\"\"x\"\"\"," +
                                   set120 + ",anna,line3,kivrel\n" +
                                   "2026-12-08T09:12:00.000+01:00,write,FILE,,/tmp/init.dat," +
                                   set60 + ",bo,line4,kivrel\n" +
                                   "2026-12-08T09:16:06.000+01:00,write,RAM,2,"
                                   "\"pts/3,\"\"x\"\"\"," +
                                   set60 + ",anna,line3,kivrel\n" +
                                   "2026-12-08T09:16:08.000+01:00,read,FILE,,/tmp/init.dat," +
                                   set60 + ",bo,line4,kivrel\n" +
                                   "2026-12-08T09:16:08.500+01:00,read,RAM,,ttyUSB0," + set120 +
                                   ",anna,line3,kivrel-cli,read\n" +
                                   "2026-12-08T09:20:00.000+01:00,write,EEPROM,1,ttyUSB0," +
                                   set120 + ",anna,line3,kivrel\n");
    click(BUTTON_HISTORY);
    popups->answerFileDialog(recording);
    QTest::mouseClick(probe(live()).openButton(), Qt::LeftButton);
    ASSERT_TRUE(opened());
    EXPECT_EQ(probe(file()).pointCount(), 3);
    EXPECT_EQ(probe(file()).status(),
              "rec.csv: 3 rows from 2026-12-08 09:16:05 to 09:16:09, 3 "
              "parameter transfers; skipped 1 row: 1 not a row (line 4); 1 row "
              "mended "
              "(seconds written with a comma)");
    const QList<TimeViewProbe::Marker> m = probe(file()).markers();
    ASSERT_EQ(m.size(), 3);
    EXPECT_EQ(m[0].label, "write RAM");
    EXPECT_EQ(m[0].detail, "COM2 (pts/3,\"x\") · by anna@line3\nthreshold 120 → 60");
    EXPECT_EQ(m[1].label, "read FILE");
    EXPECT_EQ(m[1].detail, "init.dat · by bo@line4\nno parameter changed");
    EXPECT_EQ(m[2].detail, "ttyUSB0 · by anna@line3\nno parameter changed");
    EXPECT_DOUBLE_EQ(m[0].time, epoch("2026-12-08T09:16:06.000+01:00"));
    EXPECT_FALSE(probe(file()).following());
    // A line's menu brings its set to the panel for review, as HISTORY's lines do.
    QCustomPlot *plot = probe(file()).plot();
    const QPoint at(int(plot->xAxis->coordToPixel(m[0].time)),
                    plot->axisRect()->rect().center().y());
    QContextMenuEvent right(QContextMenuEvent::Mouse, at, plot->mapToGlobal(at));
    QCoreApplication::sendEvent(plot, &right);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->actions().value(0)->text(), "Load this set into the panel");
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions()[0]).center());
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 60);
    EXPECT_TRUE(status().startsWith("Loaded the set of write RAM 2026-12-08 "))
        << status().toStdString();

    // A span of it as a file: the rows shown in it, as the file holds them, the mended one as
    // REC writes it now, after the header; nothing else.
    const std::string last = "2026-12-08T09:16:09.000+01:00,12.000,166,97,160,60,150,0,0,0,,\n";
    const struct {
        const char *from, *to;
        std::string bytes;
    } spans[] = {
        {"2026-12-08T09:16:00.000+01:00", "2026-12-08T09:16:20.000+01:00",
         kHeader + kRow1 + kRow2 + last},
        {"2026-12-08T09:16:05.500+01:00", "2026-12-08T09:16:08.000+01:00", kHeader + kRow2},
    };
    for (const auto &c : spans) {
        SCOPED_TRACE(c.from);
        probe(file()).plot()->xAxis->setRange(epoch(c.from), epoch(c.to));
        exportFrom(file(), kSpanCsv, dir.filePath("span.csv"));
        EXPECT_EQ(fileBytes(dir.filePath("span.csv")), c.bytes);
        QFile::remove(dir.filePath("span.csv"));
    }
    exportFrom(file(), kSpanCsv, dir.filePath("gone/span.csv"));
    EXPECT_EQ(probe(file()).status(),
              "Not exported: cannot write span.csv (" +
                  QString::fromLocal8Bit(std::strerror(ENOENT)) +
                  ")"); // the system's words, in the suite's locale
    // The recording itself by any other name is refused before anything is written.
    const std::string held = fileBytes(recording);
    ASSERT_TRUE(QFile::link(recording, dir.filePath("link.csv")));
    ASSERT_EQ(::link(QFile::encodeName(recording), QFile::encodeName(dir.filePath("hard.csv"))), 0);
    ASSERT_TRUE(QFile::link(dir.filePath("runs"), dir.filePath("linked")));
    for (const char *name : {"link.csv", "hard.csv", "linked/rec.csv", "runs/rec.csv"}) {
        popups->answerMessage("Yes");
        exportFrom(file(), kSpanCsv, dir.filePath(name));
        EXPECT_EQ(
            probe(file()).status(),
            QString("Not exported: %1 is the recording shown").arg(QFileInfo(name).fileName()));
        EXPECT_EQ(fileBytes(recording), held);
    }

    writeFile(dir.filePath("other.csv"), "time;value\n1;2\n");
    ASSERT_EQ(mkfifo(dir.filePath("pipe.csv").toLocal8Bit().constData(), 0600), 0);
    const struct {
        QString path, status;
    } refused[] = {
        {dir.filePath("other.csv"), "Not a recording: other.csv does not begin with the header "
                                    "REC writes"},
        {dir.filePath("pipe.csv"), "Not opened: pipe.csv: not a regular file"},
    };
    for (const auto &c : refused) {
        popups->answerFileDialog(c.path);
        QTest::mouseClick(probe(file()).openButton(), Qt::LeftButton);
        ASSERT_TRUE(opened());
        EXPECT_EQ(probe(file()).status(), c.status);
        EXPECT_EQ(popups->popups().back().directory, dir.filePath("runs")) << "the last one's";
        EXPECT_EQ(probe(file()).pointCount(), 0);
        EXPECT_TRUE(probe(file()).markers().isEmpty());
    }
}

// The transfers of the whole span a recording covers: across midnight, from both days' files;
// after the clock jumped back, from the earliest row to the latest, not the first to the last.
TEST_F(HistoryViewTest, ShowsTheTransfersOfTheRecordingsWholeSpan)
{
    const std::string set = "120,150,23,0,10,0,10,10,1,1,5,0,1,20,77";
    auto row = [](const char *time) { return std::string(time) + ",1.000,1,2,3,4,5,0,0,0,,\n"; };
    auto transfer = [&](const char *time) {
        return std::string(time) + ",read,RAM,1,ttyUSB0," + set + ",anna,line3,kivrel\n";
    };
    const struct {
        const char *what;
        std::string rows;
        std::vector<const char *> transfers; // one a day's file each, in span
        const char *status = "";
    } cases[] = {
        {"across midnight",
         row("2026-12-08T23:59:58.000+01:00") + row("2026-12-09T00:00:03.000+01:00"),
         {"2026-12-08T23:59:59.000+01:00", "2026-12-09T00:00:01.000+01:00"},
         "across midnight.csv: 2 rows from 2026-12-08 23:59:58 to 2026-12-09 00:00:03, 2 "
         "parameter transfers"},
        {"the clock jumped back",
         row("2026-12-10T09:16:05.000+01:00") + row("2026-12-10T09:16:09.000+01:00") +
             row("2026-12-10T09:15:00.000+01:00") + row("2026-12-10T09:15:30.000+01:00"),
         {"2026-12-10T09:15:10.000+01:00"}},
    };
    click(BUTTON_HISTORY);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        for (const char *t : c.transfers)
            writeJournal(QByteArray(t, 10).constData(), transfer(t));
        const QString recording = dir.filePath(QString(c.what) + ".csv");
        writeFile(recording, kHeader + c.rows);
        popups->answerFileDialog(recording);
        QTest::mouseClick(probe(live()).openButton(), Qt::LeftButton);
        ASSERT_TRUE(opened());
        const QList<TimeViewProbe::Marker> m = probe(file()).markers();
        ASSERT_EQ(m.size(), int(c.transfers.size())) << probe(file()).status().toStdString();
        if (*c.status) {
            EXPECT_EQ(probe(file()).status(), c.status);
        }
        for (int i = 0; i < m.size(); i++)
            EXPECT_DOUBLE_EQ(m[i].time, epoch(c.transfers[std::size_t(i)]));
    }
}

// The report page of a recording names the set in force from the journal: that of the sensor
// whose transfers lie in the recording's span, else of the last transfer before it (the read at
// start-up), as it stood at the span's end. With two sensors in the span, which one the
// recording watched is not known.
TEST_F(HistoryViewTest, TheReportPageTakesTheSetInForceFromTheJournal)
{
    const QString data = dir.filePath("report"); // this test's journal, not the connect's
    qputenv("XDG_DATA_HOME", data.toLocal8Bit());
    std::string rows;
    for (int s = 0; s <= 168; s += 12)
        rows += QDateTime::fromString("2026-06-15T06:00:00.000+01:00", Qt::ISODateWithMs)
                    .addSecs(s)
                    .toOffsetFromUtc(3600)
                    .toString(Qt::ISODateWithMs)
                    .toStdString() +
                "," + std::to_string(s) + ".000,30,97,160,120,150,0,0,0,,\n";
    const QString recording = dir.filePath("run.csv");
    writeFile(recording, kHeader + rows);
    const std::string earlier =
        journalRow("2026-06-14T22:00:00.000+01:00", "write,EEPROM,1,ttyUSB0", 100,
                   "written without verification");
    const std::string startUp =
        journalRow("2026-06-15T05:58:12.000+01:00", "read,RAM,1,ttyUSB0", 110);
    const std::string write = journalRow("2026-06-15T06:01:00.000+01:00", "write,RAM,1,ttyUSB0", 90,
                                         "written without verification");
    const std::string other = journalRow("2026-06-15T06:02:00.000+01:00", "read,RAM,2,ttyUSB1", 70);
    const std::string later = journalRow("2026-06-15T06:05:00.000+01:00", "read,RAM,1,ttyUSB0", 50);
    auto local = [](const char *iso) {
        return QDateTime::fromString(iso, Qt::ISODateWithMs)
            .toLocalTime()
            .toString("yyyy-MM-dd hh:mm:ss");
    };
    const struct {
        const char *what;
        std::map<QString, std::string> journal;
        QString settings, set;
    } cases[] = {
        {"the read at start-up before the span",
         {{"2026-06-14", earlier}, {"2026-06-15", startUp + later}},
         "read RAM " + local("2026-06-15T05:58:12.000+01:00") + ", COM1 (ttyUSB0)",
         "threshold 110, hysteresis 150"},
        {"a write in the span",
         {{"2026-06-14", earlier}, {"2026-06-15", startUp + write + later}},
         "write RAM " + local("2026-06-15T06:01:00.000+01:00") + ", COM1 (ttyUSB0)",
         "threshold 90, hysteresis 150"},
        {"two sensors in the span",
         {{"2026-06-15", startUp + write + other}},
         "not known (the journal names ttyUSB0 and ttyUSB1)",
         ""},
        {"nothing in the 31 days before",
         {{"2026-05-14", startUp}},
         "no transfer known before it",
         ""},
    };
    click(BUTTON_HISTORY);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        writeJournalDays(data, c.journal);
        popups->answerFileDialog(recording);
        QTest::mouseClick(probe(live()).openButton(), Qt::LeftButton);
        ASSERT_TRUE(opened());
        exportFrom(file(), kPdfPage, dir.filePath("run.pdf"));
        const QString page = run("pdftotext", {dir.filePath("run.pdf"), "-"}, dir.path()).out;
        EXPECT_TRUE(page.contains("Parameter set in force at the end of the span: " + c.settings))
            << page.toStdString();
        EXPECT_EQ(page.contains("threshold "), !c.set.isEmpty());
        if (!c.set.isEmpty()) {
            EXPECT_TRUE(page.contains(c.set)) << page.toStdString();
        }
        QFile::remove(dir.filePath("run.pdf"));
    }
}

// Export writes what is shown as a picture of a size the operator picks, or an A4 page; a name
// that does not say what was picked is refused.
TEST_F(HistoryViewTest, ExportsWhatIsShownAsPicturesAndPages)
{
    pollFor(0.5);
    click(BUTTON_HISTORY);
    const struct {
        const char *name;
        int kind;
        QByteArray starts;
        QSize pixels;
        const char *status;
    } cases[] = {
        {"shot.png", kPicture, "\x89PNG\r\n", {1920, 1080}, "Exported: shot.png"},
        {"large.png", kPicture + 1, "\x89PNG\r\n", {3840, 2160}, "Exported: large.png"},
        {"page.png", kPngPage, "\x89PNG\r\n", {3508, 2480}, "Exported: page.png"},
        {"report.pdf", kPdfPage, "%PDF-", {}, "Exported: report.pdf"},
        {"shot.pdf", kPicture, "", {}, "Not exported: shot.pdf: name it .png"},
        {"shot", kPdfPage, "", {}, "Not exported: shot: name it .pdf"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        exportFrom(live(), c.kind, dir.filePath(c.name));
        EXPECT_EQ(probe(live()).status(), c.status);
        const QString written = dir.filePath(QString(c.status).section(": ", 1));
        if (c.starts.isEmpty()) {
            EXPECT_FALSE(QFile::exists(dir.filePath(c.name)));
            continue;
        }
        const std::string bytes = fileBytes(written);
        EXPECT_GT(bytes.size(), 2000u);
        EXPECT_TRUE(bytes.starts_with(c.starts.toStdString()));
        if (c.pixels.isValid()) {
            EXPECT_EQ(QImage(written).size(), c.pixels);
        }
    }
    EXPECT_TRUE(popups->popups().back().text.startsWith("kivrel-history-"));
    QTest::keyClick(live(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(1920, 1080));
}

// kivrel --view FILE --export OUT, as a script files a report for a recording: the A4 page
// with what it must say, the rows, a picture; exit 0 only with the file written, else one line
// on stderr that says why.
TEST(RecordingExport, WritesTheReportWithoutAWindow)
{
    // A folder whose name a font would shape into ligatures: the page spells the path as it is.
    QTemporaryDir top;
    ASSERT_TRUE(QDir(top.path()).mkdir("office-files-flow"));
    const QDir dir(top.filePath("office-files-flow"));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString recording = dir.filePath("night.csv");
    const std::string rows = "2026-12-08T23:59:58.000+01:00,0.000,166,97,160,120,150,0,0,0,,\n"
                             "2026-12-09T00:00:03.500+01:00,5.500,50,90,91,60,150,0,0,0,,\n";
    writeFile(recording, kHeader + rows);
    ASSERT_TRUE(QDir().mkpath(dir.filePath("data/kivrel/journal")));
    writeFile(dir.filePath("data/kivrel/journal/2026-12-08.csv"),
              "time,direction,target,port,device,threshold,hysteresis,power,pmod,hold,trigger,"
              "backlim,regcnt,average,deadtimemode,deadtime,outmode,trshmod,deltatrsh,frei15,"
              "user,host,program\n2026-12-08T23:59:59.000+01:00,write,RAM,1,ttyUSB0,"
              "60,150,23,0,10,0,10,10,1,1,5,0,1,20,77,anna,line3,kivrel\n");
    const struct {
        const char *view, *out;
        int code;
        QString err;
    } cases[] = {
        {"night.csv", "night.pdf", 0, ""},
        {"night.csv", "night-rows.csv", 0, ""},
        {"night.csv", "night.png", 0, ""},
        {"night.csv", "night.txt", 1,
         "kivrel: not exported: " + dir.filePath("night.txt") + ": name it .pdf, .png or .csv\n"},
        {"gone.csv", "gone.pdf", 1, "kivrel: no such file: " + dir.filePath("gone.csv") + "\n"},
        {"other.csv", "other.pdf", 1,
         "kivrel: Not a recording: other.csv does not begin with the header REC writes\n"},
        {"night.csv", "full.pdf", 1,
         "kivrel: not exported: " + dir.filePath("full.pdf") + ": " +
             QString::fromLocal8Bit(std::strerror(ENOSPC)) + "\n"},
        {"blank.csv", "blank.pdf", 1,
         "kivrel: not exported: " + dir.filePath("blank.pdf") + ": " + dir.filePath("blank.csv") +
             " holds no rows\n"},
    };
    ASSERT_TRUE(QFile::link("/dev/full", dir.filePath("full.pdf"))); // a disk that is full
    writeFile(dir.filePath("other.csv"), "time;value\n1;2\n");
    writeFile(dir.filePath("blank.csv"), kHeader);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.out);
        const Ran r =
            run(KIVREL_PROGRAM, {"--view", dir.filePath(c.view), "--export", dir.filePath(c.out)},
                dir.path());
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(QFileInfo(dir.filePath(c.out)).isFile(), c.code == 0);
    }
    EXPECT_EQ(fileBytes(dir.filePath("night-rows.csv")), kHeader + rows);
    const struct {
        QStringList args;
        const char *err;
    } usage[] = {
        {{"--export", dir.filePath("x.pdf")}, "kivrel: --export needs --view FILE.csv\nUsage: "},
        {{"--view", recording, "--export", dir.filePath("x.pdf"), "--export",
          dir.filePath("y.pdf")},
         "kivrel: --export given twice\nUsage: "},
    };
    for (const auto &c : usage) {
        const Ran r = run(KIVREL_PROGRAM, c.args, dir.path());
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.startsWith(c.err)) << r.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("x.pdf")) ||
                 QFileInfo::exists(dir.filePath("y.pdf")));
    EXPECT_EQ(QImage(dir.filePath("night.png")).size(), QSize(1920, 1080));

    const Ran info = run("pdfinfo", {dir.filePath("night.pdf")}, dir.path());
    EXPECT_TRUE(info.out.contains("842 x 595 pts (A4)")) << info.out.toStdString();
    const QString page =
        run("pdftotext", {"-layout", dir.filePath("night.pdf"), "-"}, dir.path()).out;
    for (const QString &says :
         {QString("KIVREL-Vired — History"), "Recording " + recording,
          QString("Span 2026-12-08 23:59:58.000 to 2026-12-09 "
                  "00:00:03.500 (5.500 s)"),
          QString("Signal (sensor counts, 0 to 255)"), QString("DAT0"), QString("HYST"),
          QString("Parameter set in force at the end of the span: write "
                  "RAM 2026-12-08 23:59:59, COM1 (ttyUSB0)"),
          QString("threshold 60, hysteresis 150, power"), QString("Exported 20"),
          " by " + qEnvironmentVariable("USER")})
        EXPECT_TRUE(page.contains(says)) << says.toStdString() << "\n" << page.toStdString();
}

// HISTORY breaks its line where records pause for more than three times their recent period,
// and nowhere else: not in the adjustment view's period of over a second, not where the pace
// changes. In the gap nothing is drawn.
TEST_F(PanelTest, TimeViewsDrawAPauseAsAGap)
{
    const struct {
        const char *what;
        double period1, pause, period2; // 100 records, the pause, 100 more
        bool gap;
    } cases[] = {
        {"polling stopped for 70 s", 0.11, 70, 0.11, true},
        {"the adjustment view, held 5 s", 1.1, 5, 1.1, true},
        {"strip chart, then the adjustment view", 0.11, 0, 1.1, false},
        // The interval over the pause against the median of 0.12 s before it.
        {"2.5 times the period", 0.11, 0.18, 0.11, false},
        {"3.5 times the period", 0.11, 0.30, 0.11, true},
    };
    const int red = 0xFF0000;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const int view = NewTimeView(1, "NORM", &red, 0, 255, 60, nullptr);
        std::vector<double> times;
        for (int i = 0; i < 200; i++) // with a little jitter, one by one as polling adds them
            times.push_back((times.empty() ? 1.8e9 : times.back()) + (i == 100 ? c.pause : 0) +
                            (i < 100 ? c.period1 : c.period2) + (i % 3) * 0.01);
        const double value = 150;
        for (double &t : times)
            AddTimeViewPoints(view, &t, &value, 1);
        TimeViewWindow *w = platform::timeViewWindow(view);
        using Gaps = QList<QPair<double, double>>;
        const Gaps expected = c.gap ? Gaps{{times[99], times[100]}} : Gaps{};
        EXPECT_EQ(probe(w).gaps(), expected);
        DisplayTimeView(view);
        spin(0.1); // laid out
        ShowWholeTimeView(view);
        const QImage image = probe(w).plot()->toPixmap().toImage();
        auto redAt = [&](double time) {
            const int x = int(probe(w).plot()->xAxis->coordToPixel(time));
            int n = 0;
            for (int y = 0; y < image.height(); y++)
                n += image.pixel(x, y) == qRgb(255, 0, 0);
            return n;
        };
        EXPECT_GT(redAt((times[10] + times[11]) / 2), 0);
        EXPECT_EQ(redAt((times[99] + times[100]) / 2) == 0, c.gap) << "drawn in the gap";
        DiscardTimeView(view);
    }
}
