// Graph controls: x/y plots against the index, markers, and the scrolling strip chart whose
// traces stay one screen long.
#include "graph.h"
#include "userint.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using kivrel::platform::GraphControl;

namespace
{

constexpr int kTraces = 5;
constexpr int kPps = 101;
constexpr int kValuesPerCall = 500;

void makeStripChart(GraphControl &g, int pps = kPps)
{
    g.setProperty("graphKind", QStringLiteral("stripchart"));
    g.setProperty("traces", kTraces);
    g.setProperty("traceNames", QStringLiteral("Signal, Threshold,Hysteresis,Reserve,Level"));
    g.setProperty("traceColors", QStringLiteral("0x0000FF,0xFF0000,0x008000,0xFF8000,0x800080"));
    g.setProperty("yMin", 0.0);
    g.setProperty("yMax", 1000000.0);
    g.setProperty("pointsPerScreen", pps);
    g.setup();
}

// Values numbered across calls so the newest point of every trace is known.
std::vector<double> block(int call)
{
    std::vector<double> v(kValuesPerCall);
    for (int k = 0; k < kValuesPerCall; k++)
        v[static_cast<std::size_t>(k)] = call * kValuesPerCall + k;
    return v;
}

void expectWindow(GraphControl &g, int calls)
{
    const int perTrace = kValuesPerCall / kTraces;
    const int total = calls * perTrace;
    for (int t = 1; t <= kTraces; t++) {
        const auto data = g.graph(t - 1)->data();
        ASSERT_EQ(g.tracePointCount(t), std::min(total, kPps)) << "trace " << t;
        // Newest value last: the last value this trace took in the last call.
        const double newest = (calls - 1) * kValuesPerCall + (perTrace - 1) * kTraces + (t - 1);
        EXPECT_DOUBLE_EQ((data->constEnd() - 1)->value, newest) << "trace " << t;
        EXPECT_DOUBLE_EQ((data->constEnd() - 1)->key, total - 1);
        // Keys consecutive, values a trace's stride apart within one call.
        for (auto it = data->constBegin() + 1; it != data->constEnd(); ++it)
            EXPECT_DOUBLE_EQ(it->key, (it - 1)->key + 1);
    }
    const double lastKey = total - 1;
    EXPECT_DOUBLE_EQ(g.xAxis->range().upper, std::max(lastKey, kPps - 1.0));
    EXPECT_DOUBLE_EQ(g.xAxis->range().upper - g.xAxis->range().lower, kPps - 1.0);
}

bool isRed(QRgb p)
{
    return qRed(p) > 150 && qGreen(p) < 100 && qBlue(p) < 100;
}

} // namespace

TEST(GraphControl, DefaultsWithoutProperties)
{
    GraphControl g;
    EXPECT_EQ(g.kind(), GraphControl::Kind::Graph);
    EXPECT_EQ(g.plotCount(), 0);
    EXPECT_EQ(g.traceCount(), 0);
    EXPECT_EQ(g.pointsPerScreen(), 100);
}

TEST(GraphControl, PlotYBytesAgainstIndex)
{
    GraphControl g;
    unsigned char a[16], b[16];
    for (int i = 0; i < 16; i++) {
        a[i] = static_cast<unsigned char>(i * 16);
        b[i] = static_cast<unsigned char>(255 - i);
    }
    const int h1 = g.plotY(a, 16, VAL_UNSIGNED_CHAR, 0, 0, 0, 1, 0x0000FF);
    const int h2 = g.plotY(b, 16, VAL_UNSIGNED_CHAR, 0, 0, 0, 1, 0x000000);
    EXPECT_GT(h1, 0);
    EXPECT_GT(h2, 0);
    EXPECT_NE(h1, h2);
    EXPECT_EQ(g.plotCount(), 2);
    ASSERT_EQ(g.graphCount(), 2);
    const auto da = g.graph(0)->data();
    const auto db = g.graph(1)->data();
    ASSERT_EQ(da->size(), 16);
    ASSERT_EQ(db->size(), 16);
    for (int i = 0; i < 16; i++) {
        EXPECT_DOUBLE_EQ(da->at(i)->key, i);
        EXPECT_DOUBLE_EQ(da->at(i)->value, a[i]);
        EXPECT_DOUBLE_EQ(db->at(i)->key, i);
        EXPECT_DOUBLE_EQ(db->at(i)->value, b[i]);
    }
    EXPECT_EQ(g.graph(0)->pen().color(), QColor(0, 0, 255));
    EXPECT_EQ(g.graph(1)->pen().color(), QColor(0, 0, 0));
    EXPECT_EQ(g.graph(0)->lineStyle(), QCPGraph::lsLine);
}

TEST(GraphControl, PlotYDoublesAgainstIndex)
{
    GraphControl g;
    std::vector<double> v(101);
    for (int i = 0; i <= 100; i++)
        v[static_cast<std::size_t>(i)] = std::sin(i * 0.1) * 50.0 + 60.0;
    const int h = g.plotY(v.data(), 101, VAL_DOUBLE, 0, 0, 0, 1, 0x0000FF);
    EXPECT_GT(h, 0);
    const auto data = g.graph(0)->data();
    ASSERT_EQ(data->size(), 101);
    for (int i = 0; i <= 100; i++) {
        EXPECT_DOUBLE_EQ(data->at(i)->key, i);
        EXPECT_DOUBLE_EQ(data->at(i)->value, v[static_cast<std::size_t>(i)]);
    }
}

TEST(GraphControl, PlotYRejectsBadArguments)
{
    GraphControl g;
    double v[4] = {1, 2, 3, 4};
    EXPECT_EQ(g.plotY(v, 4, 3, 0, 0, 0, 1, 0), UIE_INVALID_ARGUMENT); // int, not supported
    EXPECT_EQ(g.plotY(v, 4, 7, 0, 0, 0, 1, 0), UIE_INVALID_ARGUMENT);
    EXPECT_EQ(g.plotY(v, 0, VAL_DOUBLE, 0, 0, 0, 1, 0), UIE_INVALID_ARGUMENT);
    EXPECT_EQ(g.plotY(v, -3, VAL_DOUBLE, 0, 0, 0, 1, 0), UIE_INVALID_ARGUMENT);
    EXPECT_EQ(g.plotY(nullptr, 4, VAL_DOUBLE, 0, 0, 0, 1, 0), UIE_INVALID_ARGUMENT);
    EXPECT_EQ(g.plotCount(), 0);
    EXPECT_EQ(g.graphCount(), 0);
    EXPECT_LT(g.plotStripChart(v, 4, 0, 0, VAL_DOUBLE), 0); // not a strip chart
}

TEST(GraphControl, DeletePlotOneAndAll)
{
    GraphControl g;
    double v[3] = {1, 2, 3};
    const int h1 = g.plotY(v, 3, VAL_DOUBLE, 0, 0, 0, 1, 0x0000FF);
    const int h2 = g.plotY(v, 3, VAL_DOUBLE, 0, 0, 0, 1, 0xFF0000);
    const int h3 = g.plotY(v, 3, VAL_DOUBLE, 5, 0, 0, 1, 0xFF0000);
    EXPECT_EQ(g.deletePlot(h2, 0), 0);
    EXPECT_EQ(g.plotCount(), 2);
    EXPECT_EQ(g.graphCount(), 2);
    EXPECT_LT(g.deletePlot(h2, 0), 0); // already gone
    EXPECT_LT(g.deletePlot(9999, 0), 0);
    EXPECT_LT(g.deletePlot(0, 0), 0);
    EXPECT_EQ(g.deletePlot(-1, 1), 0);
    EXPECT_EQ(g.plotCount(), 0);
    EXPECT_EQ(g.graphCount(), 0);
    EXPECT_LT(g.deletePlot(h1, 0), 0);
    EXPECT_LT(g.deletePlot(h3, 0), 0);
    EXPECT_EQ(g.deletePlot(-1, 0), 0); // nothing left is fine
    // Plotting again after a clear gives working handles.
    const int h4 = g.plotY(v, 3, VAL_DOUBLE, 0, 0, 0, 1, 0x0000FF);
    EXPECT_GT(h4, 0);
    EXPECT_EQ(g.plotCount(), 1);
}

TEST(GraphControl, MarkerIsVerticalFeatureAtItsIndex)
{
    GraphControl g;
    g.setProperty("xMin", 0.0);
    g.setProperty("xMax", 100.0);
    g.setProperty("yMin", 0.0);
    g.setProperty("yMax", 200.0);
    g.setup();
    double marker[101] = {};
    marker[60] = 150;
    const int h = g.plotY(marker, 101, VAL_DOUBLE, 5, 0, 0, 1, 0xFF0000);
    ASSERT_GT(h, 0);
    QCPGraph *graph = g.graph(0);
    EXPECT_EQ(graph->lineStyle(), QCPGraph::lsStepCenter);
    EXPECT_DOUBLE_EQ(graph->data()->at(60)->value, 150);
    EXPECT_DOUBLE_EQ(g.xAxis->range().lower, 0);
    EXPECT_DOUBLE_EQ(g.xAxis->range().upper, 100);

    g.resize(1000, 400);
    g.setViewport(QRect(0, 0, 1000, 400));
    g.replot();
    const QImage image = g.toPixmap(1000, 400).toImage();
    ASSERT_EQ(image.width(), 1000);
    const int x60 = qRound(g.xAxis->coordToPixel(60));
    const int x20 = qRound(g.xAxis->coordToPixel(20));
    // High up: between 120 and 140, well above zero, below the top of the marker.
    int redAt60 = 0, redAt20 = 0;
    for (int v = 120; v <= 140; v += 5) {
        const int y = qRound(g.yAxis->coordToPixel(v));
        bool hit = false;
        // The bar is one unit wide, its edges half a unit either side of 60.
        for (int dx = -7; dx <= 7; dx++)
            hit = hit || isRed(image.pixel(x60 + dx, y));
        redAt60 += hit;
        for (int dx = -2; dx <= 2; dx++)
            redAt20 += isRed(image.pixel(x20 + dx, y));
    }
    EXPECT_EQ(redAt60, 5);
    EXPECT_EQ(redAt20, 0);
    // Nothing red anywhere high up except near the marker column.
    const int yHigh = qRound(g.yAxis->coordToPixel(100));
    for (int x = 0; x < image.width(); x++)
        if (std::abs(x - x60) > 7) {
            ASSERT_FALSE(isRed(image.pixel(x, yHigh))) << "x " << x;
        }
}

TEST(GraphControl, SetupReadsPropertiesAndIsIdempotent)
{
    GraphControl g;
    makeStripChart(g);
    g.setup();
    EXPECT_EQ(g.kind(), GraphControl::Kind::StripChart);
    EXPECT_EQ(g.traceCount(), kTraces);
    EXPECT_EQ(g.graphCount(), kTraces);
    EXPECT_EQ(g.pointsPerScreen(), kPps);
    EXPECT_EQ(g.legend->itemCount(), kTraces);
    EXPECT_TRUE(g.legend->visible());
    EXPECT_EQ(g.graph(0)->name(), QStringLiteral("Signal"));
    EXPECT_EQ(g.graph(1)->name(), QStringLiteral("Threshold"));
    EXPECT_EQ(g.graph(4)->name(), QStringLiteral("Level"));
    EXPECT_EQ(g.graph(1)->pen().color(), QColor(255, 0, 0));
    for (int i = 0; i < kTraces; i++)
        for (int j = i + 1; j < kTraces; j++)
            EXPECT_NE(g.graph(i)->pen().color(), g.graph(j)->pen().color());
    for (int i = 0; i < kTraces; i++) {
        EXPECT_TRUE(g.graph(i)->pen().isCosmetic());
        EXPECT_EQ(g.tracePointCount(i + 1), 0);
    }
    EXPECT_DOUBLE_EQ(g.yAxis->range().upper, 1000000.0);
    EXPECT_EQ(g.plotY(nullptr, 1, VAL_DOUBLE, 0, 0, 0, 1, 0) < 0, true);
    double v[1] = {1};
    EXPECT_LT(g.plotY(v, 1, VAL_DOUBLE, 0, 0, 0, 1, 0), 0); // not an x/y graph
}

TEST(GraphControl, StripChartWithoutNamesOrColoursUsesDistinctDefaults)
{
    GraphControl g;
    g.setProperty("graphKind", QStringLiteral("stripchart"));
    g.setProperty("traces", 5);
    g.setup();
    EXPECT_EQ(g.traceCount(), 5);
    EXPECT_EQ(g.pointsPerScreen(), 100);
    for (int i = 0; i < 5; i++) {
        EXPECT_FALSE(g.graph(i)->name().isEmpty());
        for (int j = i + 1; j < 5; j++)
            EXPECT_NE(g.graph(i)->pen().color(), g.graph(j)->pen().color());
    }
}

TEST(GraphControl, StripChartInterleavesValuesOntoTracesInOrder)
{
    GraphControl g;
    makeStripChart(g);
    const std::vector<double> v = block(0);
    ASSERT_EQ(g.plotStripChart(v.data(), kValuesPerCall, 0, 0, VAL_DOUBLE), 0);
    for (int t = 1; t <= kTraces; t++) {
        const auto data = g.graph(t - 1)->data();
        ASSERT_EQ(data->size(), 100);
        for (int j = 0; j < 100; j++) {
            EXPECT_DOUBLE_EQ(data->at(j)->key, j);
            EXPECT_DOUBLE_EQ(data->at(j)->value, j * kTraces + (t - 1));
        }
    }
}

TEST(GraphControl, StripChartHonoursStartAndSkipAndBytes)
{
    GraphControl g;
    g.setProperty("graphKind", QStringLiteral("stripchart"));
    g.setProperty("traces", 2);
    g.setup();
    // Start at 1, take every second element: 10, 11, 12, 13 with junk between.
    const unsigned char a[] = {99, 10, 99, 11, 99, 12, 99, 13, 99};
    ASSERT_EQ(g.plotStripChart(a, 4, 1, 1, VAL_UNSIGNED_CHAR), 0);
    ASSERT_EQ(g.tracePointCount(1), 2);
    ASSERT_EQ(g.tracePointCount(2), 2);
    EXPECT_DOUBLE_EQ(g.graph(0)->data()->at(0)->value, 10);
    EXPECT_DOUBLE_EQ(g.graph(0)->data()->at(1)->value, 12);
    EXPECT_DOUBLE_EQ(g.graph(1)->data()->at(0)->value, 11);
    EXPECT_DOUBLE_EQ(g.graph(1)->data()->at(1)->value, 13);

    EXPECT_EQ(g.plotStripChart(a, 4, 0, 0, 3), UIE_INVALID_ARGUMENT);
    EXPECT_EQ(g.plotStripChart(nullptr, 4, 0, 0, VAL_DOUBLE), UIE_INVALID_ARGUMENT);
    EXPECT_EQ(g.plotStripChart(a, 0, 0, 0, VAL_UNSIGNED_CHAR), UIE_INVALID_ARGUMENT);
    EXPECT_EQ(g.plotStripChart(a, 2, -1, 0, VAL_UNSIGNED_CHAR), UIE_INVALID_ARGUMENT);
    EXPECT_EQ(g.plotStripChart(a, 2, 0, -1, VAL_UNSIGNED_CHAR), UIE_INVALID_ARGUMENT);
    EXPECT_EQ(g.tracePointCount(1), 2);
}

TEST(GraphControl, StripChartScrollsOneScreenAfter1And100And101Calls)
{
    GraphControl g;
    makeStripChart(g);
    int calls = 0;
    for (int target : {1, 100, 101}) {
        while (calls < target) {
            const std::vector<double> v = block(calls);
            ASSERT_EQ(g.plotStripChart(v.data(), kValuesPerCall, 0, 0, VAL_DOUBLE), 0);
            calls++;
        }
        SCOPED_TRACE(calls);
        expectWindow(g, calls);
    }
    // After the first call the window shows that call's 100 points and the previous call's last.
    const auto data = g.graph(0)->data();
    EXPECT_DOUBLE_EQ(data->at(0)->value, (calls - 2) * kValuesPerCall + 99 * kTraces);
    EXPECT_DOUBLE_EQ(data->at(1)->value, (calls - 1) * kValuesPerCall);
}

TEST(GraphControl, StripChartMemoryStaysFlatOver10000Calls)
{
    GraphControl g;
    makeStripChart(g);
    std::vector<double> v(kValuesPerCall);
    const QCPGraphData *storage[kTraces] = {};
    for (int call = 0; call < 10000; call++) {
        for (int k = 0; k < kValuesPerCall; k++)
            v[static_cast<std::size_t>(k)] = call * kValuesPerCall + k;
        ASSERT_EQ(g.plotStripChart(v.data(), kValuesPerCall, 0, 0, VAL_DOUBLE), 0);
        if (call == 10) {
            for (int t = 0; t < kTraces; t++)
                storage[t] = &*g.graph(t)->data()->constBegin();
        }
        if (call >= 10 && call % 1000 == 0) {
            for (int t = 1; t <= kTraces; t++) {
                ASSERT_EQ(g.tracePointCount(t), kPps);
                // The same storage is reused: nothing grows or moves once a screen is full.
                ASSERT_EQ(&*g.graph(t - 1)->data()->constBegin(), storage[t - 1]);
            }
        }
    }
    expectWindow(g, 10000);
}

TEST(GraphControl, PointsPerScreenChangesTrimTraces)
{
    GraphControl g;
    makeStripChart(g);
    const std::vector<double> v = block(0);
    g.plotStripChart(v.data(), kValuesPerCall, 0, 0, VAL_DOUBLE);
    g.plotStripChart(v.data(), kValuesPerCall, 0, 0, VAL_DOUBLE);
    EXPECT_EQ(g.tracePointCount(1), kPps);
    EXPECT_LT(g.setPointsPerScreen(1), 0);
    EXPECT_LT(g.setPointsPerScreen(0), 0);
    EXPECT_EQ(g.pointsPerScreen(), kPps);
    EXPECT_EQ(g.setPointsPerScreen(30), 0);
    EXPECT_EQ(g.pointsPerScreen(), 30);
    for (int t = 1; t <= kTraces; t++) {
        EXPECT_EQ(g.tracePointCount(t), 30);
        EXPECT_DOUBLE_EQ((g.graph(t - 1)->data()->constEnd() - 1)->key, 199);
    }
    EXPECT_DOUBLE_EQ(g.xAxis->range().lower, 170);
    EXPECT_DOUBLE_EQ(g.xAxis->range().upper, 199);
    g.plotStripChart(v.data(), kValuesPerCall, 0, 0, VAL_DOUBLE);
    EXPECT_EQ(g.tracePointCount(1), 30);
    EXPECT_EQ(g.setPointsPerScreen(200), 0);
    g.plotStripChart(v.data(), kValuesPerCall, 0, 0, VAL_DOUBLE);
    EXPECT_EQ(g.tracePointCount(1), 130);
    EXPECT_DOUBLE_EQ((g.graph(0)->data()->constEnd() - 1)->key, 399);
    // Clearing keeps the traces and restarts the counter.
    EXPECT_EQ(g.deletePlot(-1, 1), 0);
    EXPECT_EQ(g.traceCount(), kTraces);
    EXPECT_EQ(g.tracePointCount(1), 0);
}

TEST(GraphControl, TraceVisibility)
{
    GraphControl g;
    makeStripChart(g);
    EXPECT_TRUE(g.traceVisible(3));
    EXPECT_EQ(g.setTraceVisible(3, false), 0);
    EXPECT_FALSE(g.traceVisible(3));
    EXPECT_FALSE(g.graph(2)->visible());
    EXPECT_EQ(g.legend->itemCount(), kTraces - 1);
    EXPECT_FALSE(g.legend->hasItemWithPlottable(g.graph(2)));
    EXPECT_EQ(g.setTraceVisible(3, false), 0); // twice is fine
    EXPECT_EQ(g.legend->itemCount(), kTraces - 1);
    EXPECT_EQ(g.setTraceVisible(3, true), 0);
    EXPECT_TRUE(g.graph(2)->visible());
    EXPECT_EQ(g.legend->itemCount(), kTraces);
    // Legend keeps trace order after showing a trace again.
    for (int i = 0; i < kTraces; i++) {
        auto *item = qobject_cast<QCPPlottableLegendItem *>(g.legend->item(i));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->plottable(), g.graph(i));
    }
    EXPECT_LT(g.setTraceVisible(0, false), 0);
    EXPECT_LT(g.setTraceVisible(kTraces + 1, false), 0);
    EXPECT_FALSE(g.traceVisible(0));
    EXPECT_LT(g.tracePointCount(0), 0);
    EXPECT_LT(g.tracePointCount(kTraces + 1), 0);
}

TEST(GraphControl, HiddenTraceIsNotDrawn)
{
    GraphControl g;
    g.setProperty("graphKind", QStringLiteral("stripchart"));
    g.setProperty("traces", 2);
    g.setProperty("traceColors", QStringLiteral("0xFF0000,0x0000FF"));
    g.setProperty("yMin", 0.0);
    g.setProperty("yMax", 10.0);
    g.setup();
    std::vector<double> v(200);
    for (std::size_t k = 0; k < v.size(); k++)
        v[k] = k % 2 ? 3.0 : 7.0; // trace 1 at 7, trace 2 at 3
    g.plotStripChart(v.data(), 200, 0, 0, VAL_DOUBLE);
    g.setTraceVisible(1, false);
    g.resize(600, 300);
    g.setViewport(QRect(0, 0, 600, 300));
    g.replot();
    const QImage image = g.toPixmap(600, 300).toImage();
    const int y7 = qRound(g.yAxis->coordToPixel(7));
    const int x = qRound(g.xAxis->coordToPixel(50));
    for (int dy = -2; dy <= 2; dy++)
        EXPECT_FALSE(isRed(image.pixel(x, y7 + dy)));
    g.setTraceVisible(1, true);
    g.replot();
    const QImage shown = g.toPixmap(600, 300).toImage();
    bool red = false;
    for (int dy = -2; dy <= 2; dy++)
        red = red || isRed(shown.pixel(x, y7 + dy));
    EXPECT_TRUE(red);
}

TEST(GraphControl, ReplotsOffscreenAndReportsTime)
{
    GraphControl g;
    makeStripChart(g);
    g.setProperty("yMin", QVariant());
    g.setProperty("yMax", QVariant());
    g.setup(); // autoscaled y this time
    g.resize(1000, 400);
    g.show();
    g.setViewport(QRect(0, 0, 1000, 400));
    std::vector<double> v(kValuesPerCall);
    std::vector<qint64> plain, immediate;
    for (int call = 0; call < 400; call++) {
        for (int k = 0; k < kValuesPerCall; k++)
            v[static_cast<std::size_t>(k)] =
                500 + 400 * std::sin((call * 100 + k / kTraces) * 0.05 + k % kTraces);
        QElapsedTimer timer;
        timer.start();
        ASSERT_EQ(g.plotStripChart(v.data(), kValuesPerCall, 0, 0, VAL_DOUBLE), 0);
        if (call < 200)
            g.replot();
        else
            g.replot(QCustomPlot::rpImmediateRefresh); // includes painting the widget
        (call < 200 ? plain : immediate).push_back(timer.nsecsElapsed());
    }
    auto median = [](std::vector<qint64> t) {
        std::sort(t.begin(), t.end());
        return t[t.size() / 2] / 1000.0;
    };
    std::printf("plotStripChart(500 doubles) + replot() at 1000x400 offscreen: median %.1f us\n",
                median(plain));
    std::printf("  with immediate widget repaint: median %.1f us\n", median(immediate));
    EXPECT_EQ(g.tracePointCount(1), kPps);
    EXPECT_GT(g.yAxis->range().upper, 800);
    EXPECT_LT(g.yAxis->range().lower, 200);
    const QImage image = g.toPixmap(1000, 400).toImage();
    EXPECT_EQ(image.width(), 1000);
    // Something other than white is drawn inside the plot area.
    int coloured = 0;
    const QRect r = g.axisRect()->rect();
    for (int y = r.top() + 5; y < r.bottom() - 5; y += 3)
        for (int x = r.left() + 5; x < r.right() - 5; x += 3) {
            const QRgb p = image.pixel(x, y);
            coloured += qRed(p) != qGreen(p) || qGreen(p) != qBlue(p);
        }
    EXPECT_GT(coloured, 100);
}

TEST(GraphControl, RendersAtDoubleDevicePixelRatio)
{
    GraphControl g;
    makeStripChart(g);
    const std::vector<double> v = block(0);
    g.plotStripChart(v.data(), kValuesPerCall, 0, 0, VAL_DOUBLE);
    g.resize(500, 200);
    g.setViewport(QRect(0, 0, 500, 200));
    g.setBufferDevicePixelRatio(2.0);
    g.replot();
    const QPixmap pm = g.toPixmap(500, 200, 2.0);
    EXPECT_EQ(pm.width(), 1000);
    EXPECT_EQ(pm.height(), 400);
}
