// What a time view's window holds, for the files that each do one of its jobs: the window
// itself (timeviewwindow.cpp), navigation, the Export menu, and the probe the tests read.
#pragma once

#include "timegaps.h"
#include "timelabels_p.h"
#include "timeviewwindow.h"

#include <qcustomplot.h>

#include <QElapsedTimer>
#include <QTimer>

#include <deque>
#include <vector>

class QLabel;
class QMenu;
class QPushButton;

namespace kivrel::platform
{

// A time in seconds since the epoch as local time in `format` (QDateTime's).
QString clockText(double seconds, const char *format);
// Runs a view's callback; a window discarded meanwhile is deleted only once it has returned
// (timeview.cpp, the registry of views).
int runTimeViewCallback(TimeViewCallbackPtr callback, int view, int event, int data1,
                        int data2 = 0);

struct TimeViewWindow::Private {
    int handle = 0;
    TimeViewCallbackPtr callback = nullptr;
    QCustomPlot *plot = nullptr;
    std::vector<QCPGraph *> traces;
    QCPTextElement *caption = nullptr;
    QSharedPointer<QCPAxisTickerDateTime> ticker;
    QPushButton *follow = nullptr, *whole = nullptr, *open = nullptr, *exportButton = nullptr;
    QPushButton *zoomBox = nullptr, *fit = nullptr;
    QLabel *readout = nullptr, *cursors = nullptr, *status = nullptr;
    TimeMeasure *measure = nullptr;
    double yMin = 0, yMax = 255;   // as made: the widest value span, with a margin
    bool limiting = false;         // a range being brought back within the data
    double axisDragFrom = qQNaN(); // the value under a drag on the value axis
    int axisDragY = 0;
    bool placed = false; // the window has been put on screen once
    QMenu *exportMenu = nullptr;
    bool pageSpan = false; // a report page is being made: its span is the one shown
    QTimer redraw;
    QElapsedTimer sinceRedraw;
    bool redrawWaits = false; // points came while the window was hidden
    bool following = true;
    double span = 60;
    double firstSpan = 60; // as made
    double keep = 0;
    int replots = 0;
    int trimmed = 0; // points dropped since the containers were last compacted

    std::deque<TimeMarker> markers;
    QString captionText;
    QString exportStem = QStringLiteral("history");
    QString exportFile;  // while the owner writes a span into it
    QString exportError; // why the last picture or page was not written
    QString pageHeading, pageSource, pageSettings, valueAxis;
    std::vector<QVector<QCPGraphData>> staged; // reused for points that come by the thousand

    GapFinder gaps; // where the line breaks, found as the points come

    // The marker whose line is within reach of `x` on the plot, the nearest; null for none.
    const TimeMarker *markerAt(int x) const;

    bool empty() const { return traces.empty() || traces[0]->data()->isEmpty(); }
    int pointCount() const { return traces.empty() ? 0 : traces[0]->data()->size(); }
    double first() const { return traces[0]->data()->constBegin()->key; }
    double last() const { return (traces[0]->data()->constEnd() - 1)->key; }
    // From the first to the last point or transfer; only while there is one.
    QCPRange extent() const
    {
        double lower = empty() ? markers.front().time : first();
        double upper = empty() ? lower : last();
        for (const auto &m : markers) {
            lower = std::min(lower, m.time);
            upper = std::max(upper, m.time);
        }
        return QCPRange(lower, upper);
    }
};

} // namespace kivrel::platform
