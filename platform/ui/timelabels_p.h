// Laying out the labels of a time view's markers, so that they never cover each other, the
// legend or the plot's edge, for whatever size the plot is drawn at.
#pragma once

#include <QString>

#include <deque>
#include <functional>

class QCPItemStraightLine;
class QCPItemText;
class QCustomPlot;

namespace kivrel::platform
{

// A vertical marker on the plot: its line, and its label on it.
struct TimeMarker {
    double time;
    QString label, detail;
    QCPItemStraightLine *line;
    QCPItemText *text;
    QString item = {}; // on the line's menu; empty for none
    int tag = -1;
};

// Each marker's label beside its line in the first row where it covers no other label; one
// that finds no row is hidden (its line stays).
void placeLabels(QCustomPlot *plot, std::deque<TimeMarker> &markers);
// Runs `place` whenever `plot` is drawn, once its layout is made for the size it is drawn at
// (a window, a picture, a page) and before the items on the layers above are drawn.
void beforeItemsDrawn(QCustomPlot *plot, std::function<void()> place);

} // namespace kivrel::platform
