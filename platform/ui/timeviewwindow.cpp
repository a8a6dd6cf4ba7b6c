// A time-series window on QCustomPlot: its buttons, plot and lines, the points and markers it
// holds and drops, its redraws, its caption, the read-out under the pointer and its place on
// screen. Points come one by one from a polling loop or by the thousand from a file; the window
// redraws for them at most ten times a second. Navigation, labels, gaps and the Export menu
// each have a file of their own.
#include "timeviewwindow_p.h"

#include "timegapgraph_p.h"
#include "timemeasure.h"
#include "windowplace.h"
#include "userint.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextDocument>
#include <QMenu>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace kivrel::platform
{

namespace
{

// New points are drawn at most this often: a polling loop at any rate costs at most five
// redraws a second, some 0.8 ms of CPU each (a replot and a paint of the window).
constexpr int kRedrawGapMs = 200;
// And this long after the first of them: the polling loop sends its next request some 50 ms
// after a record and then waits about 60 ms for the reply, so the redraw falls into that wait,
// away from both the record's own displays and the next reply.
constexpr int kRedrawDelayMs = 60;
// The pointer counts as on a marker this close to its line, in pixels.
constexpr int kMarkerReach = 4;

} // namespace

QString clockText(double seconds, const char *format)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0)))
        .toString(QString::fromLatin1(format));
}

TimeViewWindow::TimeViewWindow(int handle, const QStringList &names, const QList<QColor> &colors,
                               double yMin, double yMax, double span, TimeViewCallbackPtr callback)
    : QWidget(nullptr, Qt::Window), d(std::make_unique<Private>())
{
    d->handle = handle;
    d->callback = callback;
    d->span = d->firstSpan = span > 0 ? span : 60;
    d->yMin = yMin;
    d->yMax = yMax;
    resize(960, 480);
    setMinimumSize(560, 360); // the plot, its axes and two readout lines stay readable

    auto *plot = new QCustomPlot(this);
    d->plot = plot;
    plot->setAntialiasedElements(QCP::aeNone);
    plot->setNotAntialiasedElements(QCP::aeAll);
    plot->setPlottingHints(QCP::phCacheLabels);
    // The white background covers the plot, so nothing need be painted under it; the overlay
    // layer, never drawn on, needs no buffer of its own (a fill and a blend a frame).
    plot->setBackground(Qt::white);
    plot->setAttribute(Qt::WA_OpaquePaintEvent);
    if (QCPLayer *overlay = plot->layer(QStringLiteral("overlay")))
        overlay->setMode(QCPLayer::lmLogical);
    plot->setMouseTracking(true);
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot->axisRect()->setRangeDrag(Qt::Horizontal);
    plot->axisRect()->setRangeZoom(Qt::Horizontal);
    d->ticker.reset(new QCPAxisTickerDateTime);
    d->ticker->setDateTimeSpec(Qt::LocalTime);
    d->ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss"));
    plot->xAxis->setTicker(d->ticker);
    plot->yAxis->setRange(yMin, yMax);
    for (QCPAxis *axis : {plot->xAxis2, plot->yAxis2}) {
        axis->setVisible(true);
        axis->setTicks(false);
        axis->setTickLabels(false);
    }
    for (int t = 0; t < names.size(); t++) {
        QCPGraph *g = new GapGraph(plot->xAxis, plot->yAxis, d->gaps.gaps());
        g->setName(names[t]);
        g->setPen(QPen(t < colors.size() ? colors[t] : QColor(Qt::black), 1));
        g->setLineStyle(QCPGraph::lsLine);
        g->setAdaptiveSampling(true); // hours of points draw as fast as a screenful
        d->traces.push_back(g);
    }
    d->staged.resize(d->traces.size());
    plot->legend->setVisible(true);
    plot->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    plot->legend->setBrush(QColor(255, 255, 255, 225));
    plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
    plot->plotLayout()->insertRow(0);
    d->caption = new QCPTextElement(plot, QString(), QFont(font().family(), font().pointSize()));
    plot->plotLayout()->addElement(0, 0, d->caption);

    d->follow = new QPushButton(QStringLiteral("Follow   End"), this);
    d->follow->setCheckable(true);
    d->follow->setChecked(true);
    d->whole = new QPushButton(QStringLiteral("Show all   Home"), this);
    d->zoomBox = new QPushButton(QStringLiteral("Zoom box"), this);
    d->zoomBox->setCheckable(true);
    d->zoomBox->setToolTip(QStringLiteral("Drag a box to zoom into; Ctrl+drag does it too"));
    d->fit = new QPushButton(QStringLiteral("Fit"), this);
    d->fit->setToolTip(QStringLiteral("Values axis to what is shown; Ctrl+wheel zooms it"));
    d->open = new QPushButton(QStringLiteral("Open recording…"), this);
    d->exportButton = new QPushButton(QStringLiteral("Export…"), this);
    for (QPushButton *b : {d->follow, d->whole, d->zoomBox, d->fit, d->open, d->exportButton})
        b->setFocusPolicy(Qt::TabFocus);
    // Keys go to the plot, which passes them on to the window.
    plot->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(plot);
    d->readout = new QLabel(this);
    d->cursors = new QLabel(this);
    for (QLabel *line : {d->readout, d->cursors}) {
        line->setTextFormat(Qt::PlainText);
        line->setFont(QFont(QStringLiteral("monospace")));
    }
    d->measure = new TimeMeasure(plot, d->traces, d->cursors, d->readout);
    d->status = new QLabel(this);
    d->status->setTextFormat(Qt::PlainText);
    d->status->setFrameShape(QFrame::Panel);
    d->status->setFrameShadow(QFrame::Sunken);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(d->follow);
    buttons->addWidget(d->whole);
    buttons->addWidget(d->zoomBox);
    buttons->addWidget(d->fit);
    buttons->addStretch(1);
    buttons->addWidget(d->open);
    buttons->addWidget(d->exportButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(plot, 1);
    layout->addWidget(d->readout);
    layout->addWidget(d->cursors);
    layout->addWidget(d->status);

    d->redraw.setSingleShot(true);
    d->redraw.setTimerType(Qt::PreciseTimer); // a coarse one may come 5 % early
    connect(&d->redraw, &QTimer::timeout, this, [this] { redraw(); });
    connect(plot, &QCustomPlot::beforeReplot, this, [this] { updateCaption(); });
    beforeItemsDrawn(plot, [this] { placeLabels(d->plot, d->markers); });
    connect(plot, &QCustomPlot::afterReplot, this, [this] { ++d->replots; });
    connect(d->follow, &QPushButton::clicked, this, [this](bool on) { setFollow(on); });
    connect(d->whole, &QPushButton::clicked, this, [this] { showWhole(); });
    connect(d->fit, &QPushButton::clicked, this, [this] { fitValues(); });
    connect(d->open, &QPushButton::clicked, this, [this] { report(EVENT_COMMIT, TIMEVIEW_OPEN); });
    makeExportMenu();
    connectNavigation();
}

TimeViewWindow::~TimeViewWindow()
{
    if (isVisible()) rememberWindow(this, d->exportStem);
}

int TimeViewWindow::report(int event, int data1, int data2)
{
    if (!d->callback) return -1;
    return runTimeViewCallback(d->callback, d->handle, event, data1, data2);
}

void TimeViewWindow::addPoints(const double *times, const double *values, int count)
{
    const std::size_t n = d->traces.size();
    if (count <= 0) return;
    // Pauses are found in the order the points came, which a clock set back makes another than
    // the order of their times.
    for (int i = 0; i < count; i++)
        d->gaps.add(times[i]);
    // A single point, and the first into an empty container, are appended: a batch into an
    // empty one would replace the room taken for them (SetTimeViewKeep).
    if (count == 1 || d->empty()) {
        for (std::size_t t = 0; t < n; t++)
            d->traces[t]->data()->add(QCPGraphData(times[0], values[t]));
        ++times;
        values += n;
        --count;
    }
    if (count > 0) {
        bool sorted = d->empty() || times[0] >= d->last();
        for (int i = 1; i < count && sorted; i++)
            sorted = times[i] >= times[i - 1];
        for (std::size_t t = 0; t < n; t++) {
            QVector<QCPGraphData> &staged = d->staged[t];
            staged.resize(count);
            for (int i = 0; i < count; i++)
                staged[i] = QCPGraphData(times[i], values[std::size_t(i) * n + t]);
            d->traces[t]->data()->add(staged, sorted);
        }
    }
    trimOld();
    scheduleRedraw();
}

void TimeViewWindow::addMarker(double time, const QColor &color, const QString &label,
                               const QString &detail, const QString &item, int tag)
{
    auto *line = new QCPItemStraightLine(d->plot);
    line->point1->setCoords(time, 0);
    line->point2->setCoords(time, 1);
    line->setPen(QPen(color, 1, Qt::DashLine));
    auto *text = new QCPItemText(d->plot);
    text->position->setTypeX(QCPItemPosition::ptPlotCoords);
    text->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    text->position->setCoords(time, 0.01); // placeLabels() finds its row at each redraw
    text->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setText(label);
    text->setColor(color);
    text->setBrush(QColor(255, 255, 255, 210));
    text->setPadding(QMargins(3, 1, 3, 1));
    d->markers.push_back({time, label, detail, line, text, item, tag});
    scheduleRedraw();
}

void TimeViewWindow::setKeep(double seconds, int points)
{
    d->keep = seconds > 0 ? seconds : 0;
    trimOld();
    if (points <= d->pointCount()) return;
    // A container takes over the room of the vector it is given.
    for (QCPGraph *g : d->traces) {
        QVector<QCPGraphData> room;
        room.reserve(points);
        std::copy(g->data()->constBegin(), g->data()->constEnd(), std::back_inserter(room));
        g->data()->set(room, true);
    }
}

// Drops what is older than the kept span, in batches of a twentieth of it, so the containers
// move their points up only now and then.
void TimeViewWindow::trimOld()
{
    if (d->keep <= 0 || d->empty()) return;
    const double cut = d->last() - d->keep;
    if (d->first() >= cut - d->keep / 20) return;
    const int before = d->pointCount();
    for (QCPGraph *g : d->traces)
        g->data()->removeBefore(cut);
    d->trimmed += before - d->pointCount();
    if (d->trimmed > d->pointCount() / 8) {
        for (QCPGraph *g : d->traces)
            g->data()->squeeze(true, false);
        d->trimmed = 0;
    }
    d->gaps.dropBefore(d->first());
    while (!d->markers.empty() && d->markers.front().time < cut) {
        d->plot->removeItem(d->markers.front().line);
        d->plot->removeItem(d->markers.front().text);
        d->markers.pop_front();
    }
}

void TimeViewWindow::clear()
{
    for (QCPGraph *g : d->traces)
        g->data()->clear();
    for (const auto &m : d->markers) {
        d->plot->removeItem(m.line);
        d->plot->removeItem(m.text);
    }
    d->markers.clear();
    d->gaps.clear();
    d->readout->clear();
    d->measure->clear();
    d->measure->hideCrosshair();
    d->trimmed = 0;
    // New points, as in a new window: what they show is the operator's to choose afresh.
    d->span = d->firstSpan;
    d->following = true;
    d->follow->setChecked(true);
    scheduleRedraw();
}

void TimeViewWindow::scheduleRedraw()
{
    if (d->redraw.isActive()) return;
    qint64 delay = kRedrawDelayMs;
    if (d->sinceRedraw.isValid()) delay = std::max(delay, kRedrawGapMs - d->sinceRedraw.elapsed());
    d->redraw.start(int(delay));
}

void TimeViewWindow::redraw()
{
    d->redraw.stop();
    if (!isVisible()) {
        d->redrawWaits = true;
        return;
    }
    d->redrawWaits = false;
    d->sinceRedraw.start();
    applyFollow();
    d->plot->replot();
}

void TimeViewWindow::hideEvent(QHideEvent *event)
{
    if (d->placed && !event->spontaneous()) rememberWindow(this, d->exportStem);
    QWidget::hideEvent(event);
}

void TimeViewWindow::showEvent(QShowEvent *event)
{
    if (!d->placed) {
        d->placed = true;
        // Beside the program's panel: its first window that is no time view.
        const QWidget *panel = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (!panel && w != this && w->isVisible() && !qobject_cast<TimeViewWindow *>(w) &&
                w->windowType() == Qt::Window)
                panel = w;
        placeWindow(this, d->exportStem, panel);
    }
    QWidget::showEvent(event);
    // A window that opens shows its points at once.
    if (d->redrawWaits || d->redraw.isActive()) redraw();
}

void TimeViewWindow::updateCaption()
{
    const QCPRange r = d->plot->xAxis->range();
    // Milliseconds once a few seconds fill the width.
    // and the day where the span crosses midnight.
    const bool days = clockText(r.lower, "yyyy-MM-dd") != clockText(r.upper, "yyyy-MM-dd");
    d->ticker->setDateTimeFormat(r.size() < 20           ? QStringLiteral("hh:mm:ss.zzz")
                                 : r.size() >= 2 * 86400 ? QStringLiteral("MM-dd hh:mm")
                                 : days                  ? QStringLiteral("MM-dd hh:mm:ss")
                                                         : QStringLiteral("hh:mm:ss"));
    QString text = d->captionText;
    // A replot before the first redraw that follows new points still has the axis of before
    // them (of a new window: the first seconds of 1970): no span of theirs to name.
    const bool any = !d->empty() || !d->markers.empty();
    if (any && r.upper >= d->extent().lower && r.lower <= d->extent().upper) {
        const QString day = clockText(r.lower, "yyyy-MM-dd");
        const QString lastDay = clockText(r.upper, "yyyy-MM-dd");
        text +=
            QStringLiteral("   %1 %2 – %3%4")
                .arg(day, clockText(r.lower, "hh:mm:ss"),
                     lastDay == day ? QString() : lastDay + u' ', clockText(r.upper, "hh:mm:ss"));
    }
    if (d->caption->text() != text) d->caption->setText(text);
}

const TimeMarker *TimeViewWindow::Private::markerAt(int x) const
{
    const TimeMarker *best = nullptr;
    double bestDistance = kMarkerReach + 1;
    for (const auto &m : markers) {
        const double distance = std::abs(plot->xAxis->coordToPixel(m.time) - x);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = &m;
        }
    }
    return best;
}

// A right click on a marker's line that has an item: its menu. Shown with popup(), not exec(), so
// no loop of the menu's own runs inside whatever the program is doing (polling goes on).
void TimeViewWindow::markerMenu(const QPoint &pos)
{
    if (!d->plot->axisRect()->rect().contains(pos)) return;
    const TimeMarker *m = d->markerAt(pos.x());
    if (!m || m->item.isEmpty()) return;
    auto *menu = new QMenu(d->plot);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const int tag = m->tag;
    menu->addAction(m->item, this,
                    [this, tag] { report(EVENT_COMMIT, TIMEVIEW_MARKER_ITEM, tag); });
    menu->popup(d->plot->mapToGlobal(pos));
}

void TimeViewWindow::hover(const QPoint &pos)
{
    const QRect area = d->plot->axisRect()->rect();
    if (!area.contains(pos)) return;
    // A marker under the pointer says what changed; otherwise the nearest point's values.
    const TimeMarker *best = d->markerAt(pos.x());
    if (best) {
        const QString text = clockText(best->time, "hh:mm:ss.zzz") + QStringLiteral("  ") +
                             best->label +
                             (best->detail.isEmpty() ? QString() : u'\n' + best->detail);
        d->readout->setText(QString(text).replace(u'\n', QStringLiteral("; ")));
        // The labels and details come from files (names, journal fields): shown as the text
        // they are, never taken for markup, which a tooltip would otherwise guess at.
        QToolTip::showText(d->plot->mapToGlobal(pos),
                           Qt::convertFromPlainText(text, Qt::WhiteSpacePre), d->plot);
        return;
    }
    QToolTip::hideText();
    d->measure->hover(pos);
}

void TimeViewWindow::setCaption(const QString &text)
{
    d->captionText = text;
    scheduleRedraw();
}

void TimeViewWindow::setStatus(const QString &text)
{
    d->status->setText(text);
}

void TimeViewWindow::setExportName(const QString &stem)
{
    d->exportStem = stem;
}

void TimeViewWindow::closeEvent(QCloseEvent *event)
{
    // The window goes once its owner discards it; until then it is only hidden.
    event->ignore();
    hide();
    report(EVENT_CLOSE, 0);
}

} // namespace kivrel::platform
