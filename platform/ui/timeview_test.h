// What the tests and the benchmarks read of a time view's window beyond what the operator and the
// logic's API see: the points, gaps and markers it holds, its redraws, its parts. Only tests and
// benchmarks include this header (and timeview_test.cpp, which reads them); the window never does.
#pragma once

#include "timeviewwindow.h"

#include <QList>
#include <QPair>
#include <QString>

class QCustomPlot;
class QMenu;
class QPushButton;

namespace kivrel::platform
{

class TimeMeasure;

class TimeViewProbe
{
  public:
    explicit TimeViewProbe(const TimeViewWindow *window) : w_(window) {}

    struct Marker {
        double time;
        QString label, detail;
        QString item; // its line's menu item, empty for none
    };
    QCustomPlot *plot() const;
    int traceCount() const;
    int pointCount() const; // points held, the same for every trace
    double value(int trace, int point) const;
    double time(int point) const;
    QList<Marker> markers() const;
    QList<QPair<double, double>> gaps() const; // from, to: where the line breaks
    bool following() const;
    int replots() const; // since the window was made
    QString readout() const;
    QString cursorReadout() const; // the cursors' times, Δt and values; empty while both are off
    TimeMeasure *measure() const;
    QString status() const;
    QString caption() const; // as drawn: the caption and the span shown
    QPushButton *followButton() const;
    QPushButton *wholeButton() const;
    QPushButton *openButton() const;
    QPushButton *exportButton() const;
    QPushButton *zoomBoxButton() const;
    QPushButton *fitButton() const;
    QMenu *exportMenu() const; // Export's choices

  private:
    const TimeViewWindow::Private &d() const;

    const TimeViewWindow *w_;
};

// What a test reads of `window`: probe(window).pointCount().
inline TimeViewProbe probe(const TimeViewWindow *window)
{
    return TimeViewProbe(window);
}

} // namespace kivrel::platform
