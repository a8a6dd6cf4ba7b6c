// Measuring in the HISTORY window: the cursors on a recording whose marks lie at known times,
// and the limits that keep zooming and panning within the data.
#include "panel_fixture.h"

#include "recordingview.h"
#include "runhistory.h"

#include "timemeasure.h"
#include "timeview.h"
#include "timeview_test.h"
#include "userint.h"

#include <qcustomplot.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

using namespace kivrel;
using namespace kivrel::test;
using platform::TimeViewWindow;

namespace
{

constexpr int kRows = 400;
constexpr double kPeriod = 0.110; // between rows

// Rows 0.110 s apart from 09:00 local today; of every 20, the first three are a mark.
QString writeMarks(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write("time,seconds,dat0,dat1,norm,threshold,hysteresis,in0_period,active_window,"
            "edge_time,active_percent,edge_percent\n");
    const QDateTime start(QDate::currentDate(), QTime(9, 0));
    const int offset = start.offsetFromUtc() / 60;
    const QString zone = QStringLiteral("%1%2:%3")
                             .arg(offset < 0 ? '-' : '+')
                             .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
                             .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
    for (int i = 0; i < kRows; i++) {
        const bool mark = i % 20 < 3;
        f.write(QStringLiteral("%1,%2,%3,97,%4,120,150,0,0,0,,\n")
                    .arg(start.addMSecs(110 * i).toString("yyyy-MM-ddTHH:mm:ss.zzz") + zone)
                    .arg(i * kPeriod, 0, 'f', 3)
                    .arg(mark ? 60 : 167)
                    .arg(mark ? 90 : 161)
                    .toUtf8());
    }
    return path;
}

QPoint at(TimeViewWindow *w, double time, double value = 128)
{
    return QPoint(int(std::lround(probe(w).plot()->xAxis->coordToPixel(time))),
                  int(std::lround(probe(w).plot()->yAxis->coordToPixel(value))));
}

void wheel(TimeViewWindow *w, int notches, Qt::KeyboardModifiers modifiers)
{
    const QPointF pos = probe(w).plot()->axisRect()->center();
    QWheelEvent event(pos, probe(w).plot()->mapToGlobal(pos), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(probe(w).plot(), &event);
}

class HistoryMeasureTest : public PanelTest
{
  protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        OpenRecordingView(writeMarks(dir.filePath("marks.csv")).toLocal8Bit().constData());
        ASSERT_TRUE(spinUntil([] { return !RecordingLoading(); }));
        w = platform::timeViewWindow(RecordingView());
        ASSERT_NE(w, nullptr);
        ASSERT_EQ(probe(w).pointCount(), kRows);
        w->activateWindow();
        spin(0.1); // laid out
    }
    void TearDown() override
    {
        CloseRecordingView();
        PanelTest::TearDown();
    }
    double row(int i) const { return probe(w).time(i); }
    QCPRange shown() const { return probe(w).plot()->xAxis->range(); }
    void clickAt(double time)
    {
        QTest::mouseClick(probe(w).plot(), Qt::LeftButton, Qt::NoModifier, at(w, time));
        spin(QApplication::doubleClickInterval() / 1000.0 + 0.1); // a click, not half a double
    }

    QTemporaryDir dir;
    TimeViewWindow *w = nullptr;
};

} // namespace

// A click sets the nearer cursor on its record; Shift and an arrow move the cursor set last a
// record at a time; a cursor's line drags. Δt is then a mark's width, or the marks' period.
TEST_F(HistoryMeasureTest, CursorsGiveAMarksWidthAndPeriod)
{
    probe(w).plot()->xAxis->setRange(row(15), row(70));
    probe(w).plot()->replot();
    clickAt(row(20) + kPeriod / 4); // the mark's first record
    EXPECT_TRUE(probe(w).cursorReadout().startsWith(
        "A " +
        QDateTime::fromMSecsSinceEpoch(qint64(std::llround(row(20) * 1000)))
            .toString("hh:mm:ss.zzz") +
        "   DAT0 60   DAT1 97   NORM 90"))
        << probe(w).cursorReadout().toStdString();
    clickAt(row(22) - kPeriod / 4);
    QTest::keyClick(probe(w).plot(), Qt::Key_Right, Qt::ShiftModifier); // the first record after it
    EXPECT_TRUE(probe(w).cursorReadout().contains("B ") &&
                probe(w).cursorReadout().contains("NORM 161"));
    EXPECT_TRUE(probe(w).cursorReadout().endsWith("Δt 0.330 s   1/Δt 3.03 Hz"))
        << probe(w).cursorReadout().toStdString();

    QTest::mousePress(probe(w).plot(), Qt::LeftButton, Qt::NoModifier, at(w, row(23)));
    QTest::mouseMove(probe(w).plot(), at(w, row(40)));
    QTest::mouseRelease(probe(w).plot(), Qt::LeftButton, Qt::NoModifier, at(w, row(40)));
    EXPECT_TRUE(probe(w).cursorReadout().endsWith("Δt 2.200 s   1/Δt 0.4545 Hz"))
        << probe(w).cursorReadout().toStdString();
    EXPECT_DOUBLE_EQ(probe(w).plot()->xAxis->range().lower, row(15)) << "the drag moved the view";
    // A span exported as CSV is the one between the cursors.
    double from = 0, to = 0;
    ASSERT_EQ(GetTimeViewSpan(RecordingView(), &from, &to), 0);
    EXPECT_EQ(from, row(20));
    EXPECT_EQ(to, row(40));

    // B set on a record before A's: the same interval, the same rate.
    QTest::keyClick(probe(w).plot(), Qt::Key_Escape);
    clickAt(row(23));
    clickAt(row(20));
    EXPECT_TRUE(probe(w).cursorReadout().endsWith("Δt 0.330 s   1/Δt 3.03 Hz"))
        << probe(w).cursorReadout().toStdString();

    // A double click shows everything and sets no cursor; Esc removes both.
    const QString before = probe(w).cursorReadout();
    QTest::mouseDClick(probe(w).plot(), Qt::LeftButton, Qt::NoModifier, at(w, row(60)));
    spin(QApplication::doubleClickInterval() / 1000.0 + 0.1);
    EXPECT_EQ(probe(w).cursorReadout(), before);
    EXPECT_LE(shown().lower, row(0));
    QTest::keyClick(probe(w).plot(), Qt::Key_Escape);
    EXPECT_EQ(probe(w).cursorReadout(), "");
}

// However far the operator zooms or pans, the view keeps to the data and a small margin, and
// to the values the view was made for; a zoom box goes from the whole to a second in one drag.
TEST_F(HistoryMeasureTest, ZoomAndPanStayWithinTheData)
{
    const double first = row(0), last = row(kRows - 1);
    const double margin = std::max(1.0, (last - first) * 0.02);
    auto within = [&] {
        return shown().lower >= first - margin - 1e-6 && shown().upper <= last + margin + 1e-6;
    };
    auto everything = [&] {
        return within() && shown().lower <= first && shown().upper >= last &&
               probe(w).plot()->yAxis->range() == QCPRange(0, 255);
    };
    auto zoomIn = [&] {
        for (int i = 0; i < 5; i++)
            QTest::keyClick(probe(w).plot(), Qt::Key_Plus);
        wheel(w, 6, Qt::ControlModifier);
    };
    const struct {
        const char *what;
        std::function<void()> act;
        std::function<bool()> holds;
    } cases[] = {
        {"wheel out 30 notches", [&] { wheel(w, -30, Qt::NoModifier); }, within},
        {"40 times left",
         [&] {
             for (int i = 0; i < 40; i++)
                 QTest::keyClick(probe(w).plot(), Qt::Key_Left);
         },
         [&] { return within() && shown().lower <= first - margin + 1e-6; }},
        {"40 times +",
         [&] {
             for (int i = 0; i < 40; i++)
                 QTest::keyClick(probe(w).plot(), Qt::Key_Plus);
         },
         [&] { return std::abs(shown().size() - 0.05) < 1e-6; }},
        {"Home", [&] { QTest::keyClick(probe(w).plot(), Qt::Key_Home); },
         [&] { return within() && shown().lower <= first && shown().upper >= last; }},
        {"Ctrl+wheel out", [&] { wheel(w, -30, Qt::ControlModifier); },
         [&] {
             const QCPRange v = probe(w).plot()->yAxis->range();
             return v.lower >= -5.11 - 1e-6 && v.upper <= 260.11 + 1e-6;
         }},
        {"Ctrl+wheel in", [&] { wheel(w, 60, Qt::ControlModifier); },
         [&] { return std::abs(probe(w).plot()->yAxis->range().size() - 4) < 1e-6; }},
        // Home, Show all and a double click show everything, as the window opened: the whole
        // time span and the values 0 to 255, a value zoom undone too.
        {"Home", [&] { QTest::keyClick(probe(w).plot(), Qt::Key_Home); }, everything},
        {"zoomed in, Show all", [&] { zoomIn(), probe(w).wholeButton()->click(); }, everything},
        {"zoomed in, a double click",
         [&] {
             zoomIn();
             QTest::mouseDClick(probe(w).plot(), Qt::LeftButton, Qt::NoModifier, at(w, row(150)));
             spin(QApplication::doubleClickInterval() / 1000.0 + 0.1);
         },
         everything},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        c.act();
        EXPECT_TRUE(c.holds()) << shown().lower - first << " " << shown().upper - last << " "
                               << probe(w).plot()->yAxis->range().lower << " "
                               << probe(w).plot()->yAxis->range().upper;
    }
    probe(w).fitButton()->click();
    EXPECT_NEAR(probe(w).plot()->yAxis->range().lower, 60 - 5.35, 1e-6);
    EXPECT_NEAR(probe(w).plot()->yAxis->range().upper, 167 + 5.35, 1e-6);

    const QPoint from = at(w, row(100), 170), to = at(w, row(109), 50);
    QTest::mousePress(probe(w).plot(), Qt::LeftButton, Qt::ControlModifier, from);
    QTest::mouseMove(probe(w).plot(), to);
    QTest::mouseRelease(probe(w).plot(), Qt::LeftButton, Qt::ControlModifier, to);
    EXPECT_NEAR(shown().lower, row(100), 0.06);
    EXPECT_NEAR(shown().upper, row(109), 0.06);
    EXPECT_NEAR(probe(w).plot()->yAxis->range().center(), 110, 3);
}
