// Navigation in a time view: following the newest point, zoom and pan of the time axis with
// the mouse and the keys, a zoom box, the value axis's own zoom, and the limits that keep all
// of it within the points and markers.
#include "timeviewwindow_p.h"

#include "timemeasure.h"

#include <QKeyEvent>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace kivrel::platform
{

namespace
{

// Zoom and pan keep this much beyond the first and the last point: a fiftieth of the whole, at
// least a second. The narrowest time span shown; and the narrowest and widest value spans.
constexpr double kEdgeShare = 0.02;
constexpr double kNarrowestSeconds = 0.05;
constexpr double kNarrowestValues = 4;
// A zoom box less tall than this, in pixels, zooms time alone.
constexpr int kBoxMinHeight = 8;
// A drag on the value axis scales it by e for this many pixels.
constexpr double kAxisDragPixels = 120;

} // namespace

// The plot's mouse and wheel, its zoom box, its axes' ranges and its legend.
void TimeViewWindow::connectNavigation()
{
    QCustomPlot *plot = d->plot;
    // The operator's own look at the past: a zoom or a drag of time stops following; Ctrl with
    // the wheel zooms the values alone. (The plot signals before it acts on an event.)
    connect(plot, &QCustomPlot::mouseWheel, this, [this](QWheelEvent *event) {
        const bool values = event->modifiers() & Qt::ControlModifier;
        d->plot->axisRect()->setRangeZoom(values ? Qt::Vertical : Qt::Horizontal);
        if (!values) setFollow(false);
    });
    connect(plot, &QCustomPlot::mousePress, this, [this](QMouseEvent *event) { press(event); });
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { markerMenu(pos); });
    connect(plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent *event) {
        if (!std::isnan(d->axisDragFrom)) {
            const double factor = std::exp((event->pos().y() - d->axisDragY) / kAxisDragPixels);
            d->axisDragY = event->pos().y();
            d->plot->yAxis->scaleRange(factor, d->axisDragFrom);
            d->plot->replot();
        } else if (d->measure->drag(event)) {
        } else if (event->buttons() & Qt::LeftButton) {
            setFollow(false);
        } else {
            hover(event->pos());
        }
    });
    connect(plot, &QCustomPlot::mouseRelease, this, [this](QMouseEvent *event) {
        d->axisDragFrom = qQNaN();
        d->measure->release(event);
        d->plot->axisRect()->setRangeDrag(Qt::Horizontal);
    });
    connect(plot->selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect &box, QMouseEvent *) { zoomInto(box); });
    connect(plot->selectionRect(), &QCPSelectionRect::canceled, this,
            [this] { d->plot->setSelectionRectMode(QCP::srmNone); });
    connect(plot, &QCustomPlot::mouseDoubleClick, this, [this] {
        d->measure->doubleClicked();
        showWhole();
    });
    connect(plot->xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            [this] { keepWithinData(); });
    connect(plot->yAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            [this] { keepWithinData(); });
    connect(plot, &QCustomPlot::legendClick, this,
            [this](QCPLegend *, QCPAbstractLegendItem *item, QMouseEvent *) {
                auto *entry = qobject_cast<QCPPlottableLegendItem *>(item);
                if (!entry) return;
                QCPAbstractPlottable *trace = entry->plottable();
                trace->setVisible(!trace->visible());
                entry->setTextColor(trace->visible() ? Qt::black : Qt::gray);
                d->plot->replot();
            });
}

void TimeViewWindow::setFollow(bool follow)
{
    if (follow && !d->following) {
        const double shown = d->plot->xAxis->range().size();
        if (shown > 0) d->span = shown; // the operator's zoom stays
    }
    d->following = follow;
    d->follow->setChecked(follow);
    if (follow) redraw();
}

void TimeViewWindow::showWhole()
{
    d->following = false;
    d->follow->setChecked(false);
    if (!d->empty() || !d->markers.empty()) {
        const QCPRange all = d->extent();
        const double lower = all.lower, upper = all.upper;
        const double margin = std::max(1.0, (upper - lower) * 0.01);
        d->plot->xAxis->setRange(lower - margin, upper + margin);
    }
    d->plot->yAxis->setRange(d->yMin, d->yMax); // a value zoom too, as the window was made
    d->redraw.stop();
    d->plot->replot();
}

void TimeViewWindow::applyFollow()
{
    if (!d->following || (d->empty() && d->markers.empty())) return;
    // The first span fills from the left, as the strip chart does, markers before the first
    // point included (before polling there are only the transfers); then the newest point
    // stays at the right edge.
    double first = d->empty() ? d->markers.front().time : d->first();
    double last = d->empty() ? d->markers.back().time : d->last();
    if (!d->markers.empty()) {
        first = std::min(first, d->markers.front().time);
        last = std::max(last, d->markers.back().time);
    }
    const double lower = std::max(first, last - d->span);
    d->plot->xAxis->setRange(lower, lower + d->span);
}

// A press on the plot: the start of a zoom box (with Ctrl, or after its button), of a drag on
// the value axis, of a cursor's drag, or else of a pan.
void TimeViewWindow::press(QMouseEvent *event)
{
    const QRect area = d->plot->axisRect()->rect();
    const QPoint pos = event->pos();
    d->plot->setSelectionRectMode(QCP::srmNone);
    if (event->button() != Qt::LeftButton) return;
    if (area.contains(pos) &&
        (d->zoomBox->isChecked() || (event->modifiers() & Qt::ControlModifier))) {
        d->plot->setSelectionRectMode(QCP::srmCustom);
    } else if (pos.x() < area.left() && pos.y() >= area.top() && pos.y() <= area.bottom()) {
        d->axisDragFrom = d->plot->yAxis->pixelToCoord(pos.y());
        d->axisDragY = pos.y();
    } else if (d->measure->press(event)) {
        d->plot->axisRect()->setRangeDrag(Qt::Orientations()); // the cursor moves, not the view
    }
}

void TimeViewWindow::zoomInto(const QRect &box)
{
    d->plot->setSelectionRectMode(QCP::srmNone);
    d->zoomBox->setChecked(false);
    const QRect r = box.normalized();
    if (r.width() < 2) return;
    setFollow(false);
    QCPAxis *x = d->plot->xAxis, *y = d->plot->yAxis;
    x->setRange(x->pixelToCoord(r.left()), x->pixelToCoord(r.right()));
    if (r.height() >= kBoxMinHeight)
        y->setRange(y->pixelToCoord(r.bottom()), y->pixelToCoord(r.top()));
    d->plot->replot();
}

// The values axis to the visible traces' values in the shown time, with a margin.
void TimeViewWindow::fitValues()
{
    const QCPRange shown = d->plot->xAxis->range();
    double low = qInf(), high = -qInf();
    for (QCPGraph *g : d->traces) {
        if (!g->visible()) continue;
        bool found = false;
        const QCPRange r = g->data()->valueRange(found, QCP::sdBoth, shown);
        if (!found) continue;
        low = std::min(low, r.lower);
        high = std::max(high, r.upper);
    }
    if (!(high >= low)) return;
    const double margin = std::max(2.0, (high - low) * 0.05);
    d->plot->yAxis->setRange(low - margin, high + margin);
    d->plot->replot();
}

// Zooming and panning stay within the points and markers, with a small margin, so the view
// never drifts to an empty hour before the run; and within the values the view was made for.
void TimeViewWindow::keepWithinData()
{
    if (d->limiting) return;
    d->limiting = true;
    QCPAxis *y = d->plot->yAxis;
    const double valueMargin = (d->yMax - d->yMin) * kEdgeShare;
    QCPRange values = y->range();
    if (values.size() > d->yMax - d->yMin + 2 * valueMargin)
        values = QCPRange(d->yMin - valueMargin, d->yMax + valueMargin);
    if (values.size() < kNarrowestValues)
        values = QCPRange(values.center() - kNarrowestValues / 2,
                          values.center() + kNarrowestValues / 2);
    y->setRange(values.bounded(d->yMin - valueMargin, d->yMax + valueMargin));
    if (!d->following && (!d->empty() || !d->markers.empty())) {
        const QCPRange data = d->extent();
        const double first = data.lower, last = data.upper;
        const double margin = std::max(1.0, (last - first) * kEdgeShare);
        QCPAxis *x = d->plot->xAxis;
        QCPRange shown = x->range();
        if (shown.size() < kNarrowestSeconds)
            shown = QCPRange(shown.center() - kNarrowestSeconds / 2,
                             shown.center() + kNarrowestSeconds / 2);
        x->setRange(shown.bounded(first - margin, last + margin));
    }
    d->limiting = false;
    d->measure->viewChanged();
}

void TimeViewWindow::keyPressEvent(QKeyEvent *event)
{
    QCPAxis *x = d->plot->xAxis;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_End: setFollow(true); return;
    case Qt::Key_Home: showWhole(); return;
    case Qt::Key_Escape: d->measure->clear(); return;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
    case Qt::Key_Minus:
        setFollow(false);
        x->scaleRange(event->key() == Qt::Key_Minus ? 2.0 : 0.5, x->range().center());
        d->plot->replot();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int sign = event->key() == Qt::Key_Left ? -1 : 1;
        if (shift) { // the cursor set last, a record at a time
            d->measure->step(sign);
            return;
        }
        setFollow(false);
        x->moveRange(sign * x->range().size() / 4);
        d->plot->replot();
        return;
    }
    default:
        if (event->matches(QKeySequence::Copy)) {
            copyPicture();
            return;
        }
        QWidget::keyPressEvent(event);
    }
}

} // namespace kivrel::platform
