#include "timemeasure.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kivrel::platform
{

namespace
{

// A press this close to a cursor's line, in pixels, takes the cursor.
constexpr int kCursorReach = 5;
// A press and release this close together, in pixels, are a click.
constexpr int kClickSlack = 3;
const QColor kCursorColors[2] = {QColor(0x00, 0x7A, 0x33), QColor(0xB8, 0x00, 0x8A)};
const char kCursorNames[2] = {'A', 'B'};

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

QString stamp(double time, bool withDay)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(time * 1000.0)))
        .toString(withDay ? QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")
                          : QStringLiteral("hh:mm:ss.zzz"));
}

QString day(double time)
{
    return stamp(time, true).left(10);
}

// Δt to the millisecond the records carry, and as hours and minutes once it is long.
QString interval(double seconds)
{
    QString text = QString::number(seconds, 'f', 3) + QStringLiteral(" s");
    if (seconds >= 60) {
        const qint64 ms = std::llround(seconds * 1000.0);
        text += QStringLiteral(" (%1:%2:%3.%4)")
                    .arg(ms / 3600000)
                    .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
                    .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                    .arg(ms % 1000, 3, 10, QLatin1Char('0'));
    }
    return text;
}

QCPItemStraightLine *verticalLine(QCustomPlot *plot, QCPLayer *layer, const QPen &pen)
{
    auto *line = new QCPItemStraightLine(plot);
    line->setLayer(layer);
    line->setPen(pen);
    line->setSelectable(false);
    line->setVisible(false);
    return line;
}

} // namespace

TimeMeasure::TimeMeasure(QCustomPlot *plot, const std::vector<QCPGraph *> &traces,
                         QLabel *cursorLine, QLabel *hoverLine)
    : QObject(plot), plot_(plot), traces_(traces), cursorLine_(cursorLine),
      hoverLine_(hoverLine), times_{kNone, kNone}, click_(new QTimer(this)), hovered_(kNone)
{
    plot->addLayer(QStringLiteral("measure"), plot->layer(QStringLiteral("main")),
                   QCustomPlot::limAbove);
    layer_ = plot->layer(QStringLiteral("measure"));
    layer_->setMode(QCPLayer::lmBuffered); // repainted alone when only cursors move
    for (int c = 0; c < 2; c++) {
        lines_[c] = verticalLine(plot, layer_, QPen(kCursorColors[c], 1));
        names_[c] = new QCPItemText(plot);
        names_[c]->setLayer(layer_);
        names_[c]->setSelectable(false);
        names_[c]->setVisible(false);
        names_[c]->setText(QString(QLatin1Char(kCursorNames[c])));
        names_[c]->setColor(Qt::white);
        names_[c]->setBrush(kCursorColors[c]);
        names_[c]->setPadding(QMargins(3, 0, 3, 0));
        names_[c]->position->setTypeX(QCPItemPosition::ptPlotCoords);
        names_[c]->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        names_[c]->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom); // at the foot
    }
    const QPen cross(QColor(0x60, 0x60, 0x60), 1, Qt::DotLine);
    crossX_ = verticalLine(plot, layer_, cross);
    crossY_ = verticalLine(plot, layer_, cross);
    cursorLine_->hide();
    click_->setSingleShot(true);
    click_->setInterval(QApplication::doubleClickInterval());
    connect(click_, &QTimer::timeout, this, [this] { setNearer(clickTime_); });
}

TimeMeasure::~TimeMeasure() = default;

int TimeMeasure::nearestRecord(double time) const
{
    if (traces_.empty() || traces_[0]->data()->isEmpty()) return -1;
    const QCPGraphDataContainer &data = *traces_[0]->data();
    auto it = std::lower_bound(data.constBegin(), data.constEnd(), time,
                               [](const QCPGraphData &p, double k) { return p.key < k; });
    if (it == data.constEnd() || (it != data.constBegin() && time - (it - 1)->key < it->key - time))
        --it;
    return int(it - data.constBegin());
}

// Every trace's value at a record, the way the line under the plot has always shown them.
QString TimeMeasure::valuesAt(int record) const
{
    QString text;
    for (QCPGraph *g : traces_)
        text += QStringLiteral("   %1 %2").arg(g->name()).arg(g->data()->at(record)->value);
    return text;
}

bool TimeMeasure::press(QMouseEvent *event)
{
    pressFree_ = false;
    if (event->button() != Qt::LeftButton) return false;
    const QPoint pos = event->pos();
    if (!plot_->axisRect()->rect().contains(pos)) return false;
    pressed_ = pos;
    for (int c : {last_ == 1 ? 1 : 0, last_ == 1 ? 0 : 1}) // the last set wins a tie
        if (!std::isnan(times_[c]) &&
            std::abs(plot_->xAxis->coordToPixel(times_[c]) - pos.x()) <= kCursorReach) {
            dragged_ = c;
            return true;
        }
    pressFree_ = true;
    return false;
}

bool TimeMeasure::drag(QMouseEvent *event)
{
    if (dragged_ < 0) return false;
    place(dragged_, plot_->xAxis->pixelToCoord(event->pos().x()));
    return true;
}

void TimeMeasure::release(QMouseEvent *event)
{
    const bool wasDrag = dragged_ >= 0, free = pressFree_, ofDoubleClick = skipRelease_;
    dragged_ = -1;
    pressFree_ = skipRelease_ = false;
    if (wasDrag || !free || ofDoubleClick || event->button() != Qt::LeftButton) return;
    if ((event->pos() - pressed_).manhattanLength() > kClickSlack) return; // a pan
    clickTime_ = plot_->xAxis->pixelToCoord(pressed_.x());
    click_->start();
}

void TimeMeasure::doubleClicked()
{
    click_->stop(); // a double click shows everything; it sets no cursor
    skipRelease_ = true;
}

void TimeMeasure::setNearer(double time)
{
    int which = 0;
    if (!std::isnan(times_[0]))
        which = std::isnan(times_[1]) || std::abs(time - times_[1]) < std::abs(time - times_[0])
                    ? 1
                    : 0;
    place(which, time);
}

void TimeMeasure::place(int which, double time)
{
    const int record = nearestRecord(time);
    times_[which] = record < 0 ? time : traces_[0]->data()->at(record)->key;
    last_ = which;
    show();
}

void TimeMeasure::step(int records)
{
    if (last_ < 0 || std::isnan(times_[last_])) return;
    const int record = nearestRecord(times_[last_]);
    if (record < 0) return;
    const int count = traces_[0]->data()->size();
    place(last_, traces_[0]->data()->at(std::clamp(record + records, 0, count - 1))->key);
}

void TimeMeasure::clear()
{
    click_->stop();
    times_[0] = times_[1] = kNone;
    last_ = dragged_ = -1;
    show();
}

bool TimeMeasure::span(double *from, double *to) const
{
    if (std::isnan(times_[0]) || std::isnan(times_[1])) return false;
    *from = std::min(times_[0], times_[1]);
    *to = std::max(times_[0], times_[1]);
    return true;
}

double TimeMeasure::cursor(int which) const
{
    return times_[which & 1];
}

void TimeMeasure::show()
{
    QStringList lines;
    const bool a = !std::isnan(times_[0]), b = !std::isnan(times_[1]);
    const bool days = a && b && day(times_[0]) != day(times_[1]);
    for (int c = 0; c < 2; c++) {
        const bool on = !std::isnan(times_[c]);
        lines_[c]->setVisible(on);
        names_[c]->setVisible(on);
        if (!on) continue;
        lines_[c]->point1->setCoords(times_[c], 0);
        lines_[c]->point2->setCoords(times_[c], 1);
        names_[c]->position->setCoords(times_[c], 1.0);
        QString line = QStringLiteral("%1 %2").arg(QString(QLatin1Char(kCursorNames[c])),
                                                   stamp(times_[c], days));
        // The record under the cursor, if the view still holds it.
        const int record = nearestRecord(times_[c]);
        if (record >= 0 && traces_[0]->data()->at(record)->key == times_[c])
            line += valuesAt(record);
        lines.append(line);
    }
    if (a && b) {
        const double dt = std::abs(times_[1] - times_[0]);
        lines.append(QStringLiteral("Δt %1   1/Δt %2")
                         .arg(interval(dt),
                              dt > 0 ? QString::number(1.0 / dt, 'g', 4) + QStringLiteral(" Hz")
                                     : QStringLiteral("–")));
    } else if (a || b) {
        lines.append(QStringLiteral("Click again for the second cursor; Esc removes both"));
    }
    cursorLine_->setText(lines.join(u'\n'));
    cursorLine_->setVisible(a || b);
    layer_->replot();
}

void TimeMeasure::hover(const QPoint &pos)
{
    const QRect area = plot_->axisRect()->rect();
    const int record = area.contains(pos) ? nearestRecord(plot_->xAxis->pixelToCoord(pos.x())) : -1;
    if (record < 0) return;
    const double key = traces_[0]->data()->at(record)->key;
    if (key < plot_->xAxis->range().lower || key > plot_->xAxis->range().upper) return;
    // The horizontal line through the visible trace nearest the pointer at that record.
    const double pointer = plot_->yAxis->pixelToCoord(pos.y());
    double value = kNone;
    for (QCPGraph *g : traces_) {
        const double v = g->data()->at(record)->value;
        if (g->visible() &&
            (std::isnan(value) || std::abs(v - pointer) < std::abs(value - pointer)))
            value = v;
    }
    hovered_ = key;
    crossX_->point1->setCoords(key, 0);
    crossX_->point2->setCoords(key, 1);
    crossX_->setVisible(true);
    crossY_->setVisible(!std::isnan(value));
    crossY_->point1->setCoords(0, value);
    crossY_->point2->setCoords(1, value);
    hoverLine_->setText(stamp(key, false) + valuesAt(record));
    layer_->replot();
}

void TimeMeasure::hideCrosshair()
{
    if (std::isnan(hovered_)) return;
    hovered_ = kNone;
    crossX_->setVisible(false);
    crossY_->setVisible(false);
    layer_->replot();
}

void TimeMeasure::viewChanged()
{
    const QCPRange shown = plot_->xAxis->range();
    if (!std::isnan(hovered_) && (hovered_ < shown.lower || hovered_ > shown.upper)) {
        hoverLine_->clear();
        hideCrosshair();
    }
}

} // namespace kivrel::platform
