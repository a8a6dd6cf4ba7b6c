// Graph controls on QCustomPlot: an x/y graph for plots of arrays against their index, and a
// multi-trace strip chart that scrolls. Part of the platform; the logic reaches them only
// through PlotY, PlotStripChart, DeleteGraphPlot, SetTraceAttribute and SetCtrlAttribute.
#pragma once

#include <qcustomplot.h>

#include <memory>

namespace kivrel::platform
{

class GraphControl : public QCustomPlot
{
    Q_OBJECT
  public:
    enum class Kind { Graph, StripChart };

    explicit GraphControl(QWidget *parent = nullptr);
    ~GraphControl() override;

    // Reads the panel file's dynamic properties once the form is loaded:
    //   graphKind   "graph" (default) or "stripchart"
    //   traces      number of strip-chart traces (default 1)
    //   traceNames  comma-separated legend names of the traces (optional)
    //   traceColors comma-separated 0xRRGGBB colours of the traces (optional)
    //   xMin, xMax, yMin, yMax   axis ranges (doubles, optional)
    //   pointsPerScreen          strip-chart window in points (default 100)
    void setup();

    Kind kind() const;

    // x/y graph. Returns a plot handle > 0, or a negative error code of userint.h.
    int plotY(const void *array, int numPoints, int dataType, int plotStyle, int pointStyle,
              int lineStyle, int pointFrequency, int color);
    // Handle -1 removes every plot. `refresh` 1 redraws at once, 0 leaves it for later.
    int deletePlot(int plotHandle, int refresh);

    // Strip chart. Values are taken in trace order 1..N repeatedly; each trace keeps at most
    // `pointsPerScreen` points (the window shows exactly those), so memory stays flat.
    int plotStripChart(const void *array, int numPoints, int startingIndex, int skipCount,
                       int dataType);
    int setPointsPerScreen(int points);
    int pointsPerScreen() const;
    int setTraceVisible(int trace, bool visible); // trace numbered from 1
    bool traceVisible(int trace) const;
    int traceCount() const;
    // Points currently held by one strip-chart trace (tests, memory checks).
    int tracePointCount(int trace) const;
    // Number of plots on an x/y graph (tests).
    int plotCount() const;

  protected:
    // Follows the screen's device-pixel ratio: sharp buffers, pens the same width at 200 %.
    void paintEvent(QPaintEvent *event) override;

  private:
    void applyStyle();
    void applyPens();
    void updateStripRange();
    void removeTraceGraphs();

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kivrel::platform
