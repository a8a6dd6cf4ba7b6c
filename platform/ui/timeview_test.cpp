// The readings of timeview_test.h: a time view's window as the tests and the benchmarks see it.
// Only they call these, so nothing of this file is linked into the programs.
#include "timeview_test.h"

#include "timeviewwindow_p.h"

#include <QLabel>

namespace kivrel::platform
{

const TimeViewWindow::Private &TimeViewProbe::d() const
{
    return *w_->d;
}

QCustomPlot *TimeViewProbe::plot() const
{
    return d().plot;
}
int TimeViewProbe::traceCount() const
{
    return int(d().traces.size());
}
int TimeViewProbe::pointCount() const
{
    return d().pointCount();
}
double TimeViewProbe::value(int trace, int point) const
{
    return d().traces[std::size_t(trace)]->data()->at(point)->value;
}
double TimeViewProbe::time(int point) const
{
    return d().traces[0]->data()->at(point)->key;
}
QList<QPair<double, double>> TimeViewProbe::gaps() const
{
    QList<QPair<double, double>> list;
    for (const TimeGap &g : d().gaps.gaps())
        if (!g.step) list.append({g.from, g.to});
    return list;
}
QList<TimeViewProbe::Marker> TimeViewProbe::markers() const
{
    QList<Marker> list;
    for (const auto &m : d().markers)
        list.append({m.time, m.label, m.detail, m.item});
    return list;
}
bool TimeViewProbe::following() const
{
    return d().following;
}
int TimeViewProbe::replots() const
{
    return d().replots;
}
QString TimeViewProbe::readout() const
{
    return d().readout->text();
}
QString TimeViewProbe::cursorReadout() const
{
    return d().cursors->isVisibleTo(w_) ? d().cursors->text() : QString();
}
TimeMeasure *TimeViewProbe::measure() const
{
    return d().measure;
}
QString TimeViewProbe::status() const
{
    return d().status->text();
}
QString TimeViewProbe::caption() const
{
    return d().caption->text();
}
QPushButton *TimeViewProbe::followButton() const
{
    return d().follow;
}
QPushButton *TimeViewProbe::wholeButton() const
{
    return d().whole;
}
QPushButton *TimeViewProbe::openButton() const
{
    return d().open;
}
QPushButton *TimeViewProbe::exportButton() const
{
    return d().exportButton;
}
QPushButton *TimeViewProbe::zoomBoxButton() const
{
    return d().zoomBox;
}
QPushButton *TimeViewProbe::fitButton() const
{
    return d().fit;
}
QMenu *TimeViewProbe::exportMenu() const
{
    return d().exportMenu;
}

} // namespace kivrel::platform
