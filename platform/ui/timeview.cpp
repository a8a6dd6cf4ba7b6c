// Time-series windows on QCustomPlot: traces over clock time, markers, following, zoom and pan
// of the time axis, hover read-outs and export. Points come one by one from a polling loop or
// by the thousand from a file; the window redraws for them at most ten times a second.
#include "timeviewwindow.h"

#include "timemeasure.h"
#include "windowplace.h"
#include "runtime_p.h"
#include "graveyard.h"
#include "timeexport_p.h"
#include "popups_p.h"
#include "userint.h"
#include "utility.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTextDocument>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <cmath>
#include <cstring>
#include <deque>
#include <iterator>
#include <map>
#include <vector>

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
constexpr int kMaxTraces = 16;
// Points further apart than this many times their recent period were not polled (polling was
// stopped, a popup held it): the line breaks there instead of joining them as if measured.
constexpr double kGapFactor = 3.0;
// The recent period is the median of this many intervals before a pause; and a pause followed
// by at least kGapWitnesses intervals at its own pace was a change of pace (the adjustment view
// polls at over a second), no pause, once their median says so.
constexpr int kPeriodIntervals = 8;
constexpr int kGapWitnesses = 3;
// Transfer labels stack in this many rows; one that finds no room in any is left out (its line
// and its hover stay), so labels never cover each other.
constexpr int kLabelRows = 4;
// Zoom and pan keep this much beyond the first and the last point: a fiftieth of the whole, at
// least a second. The narrowest time span shown; and the narrowest and widest value spans.
constexpr double kEdgeShare = 0.02;
constexpr double kNarrowestSeconds = 0.05;
constexpr double kNarrowestValues = 4;
// A zoom box less tall than this, in pixels, zooms time alone.
constexpr int kBoxMinHeight = 8;
// A drag on the value axis scales it by e for this many pixels.
constexpr double kAxisDragPixels = 120;
// What Export offers, in its menu's order.
enum ExportKind { kPicture, kLargePicture, kPdfPage, kPngPage, kSpanCsv };
const QSize kPictureSize(1920, 1080), kLargePictureSize(3840, 2160);

// The ending a file of that kind must have.
QString suffixOf(int kind)
{
    return kind == kPdfPage   ? QStringLiteral("pdf")
           : kind == kSpanCsv ? QStringLiteral("csv")
                              : QStringLiteral("png");
}

double median(std::vector<double> values)
{
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// A time between two points the line does not cross: a pause, or the edge of a stretch of
// points that a clock set back put beside another (a step).
struct Gap {
    double from, to;
    bool step = false;
};

// Gaps are kept in the order of their ends, as the line is drawn.
void insertGap(std::deque<Gap> &gaps, const Gap &gap)
{
    const auto at = std::upper_bound(gaps.begin(), gaps.end(), gap.to,
                                     [](double to, const Gap &g) { return to < g.to; });
    gaps.insert(at, gap);
}

// A trace whose line breaks at the gaps; QCustomPlot breaks a line at a point without a value.
class GapGraph : public QCPGraph
{
  public:
    GapGraph(QCPAxis *keyAxis, QCPAxis *valueAxis, const std::deque<Gap> &gaps)
        : QCPGraph(keyAxis, valueAxis), gaps_(gaps)
    {
    }

  protected:
    void getOptimizedLineData(QVector<QCPGraphData> *lineData,
                              const QCPGraphDataContainer::const_iterator &begin,
                              const QCPGraphDataContainer::const_iterator &end) const override
    {
        auto gap = begin == end
                       ? gaps_.end()
                       : std::upper_bound(gaps_.begin(), gaps_.end(), begin->key,
                                          [](double key, const Gap &g) { return key < g.to; });
        if (gap == gaps_.end() || gap->to > (end - 1)->key) {
            QCPGraph::getOptimizedLineData(lineData, begin, end);
            return;
        }
        lineData->clear();
        auto from = begin;
        for (; gap != gaps_.end() && gap->to <= (end - 1)->key; ++gap) {
            const auto to = std::lower_bound(
                from, end, gap->to, [](const QCPGraphData &p, double key) { return p.key < key; });
            if (to == from) continue;
            appendPart(lineData, from, to);
            lineData->append(QCPGraphData((gap->from + gap->to) / 2, qQNaN()));
            from = to;
        }
        appendPart(lineData, from, end);
    }

  private:
    // The line of the points from `from` to `to`. Zoomed out, QCustomPlot samples them a pixel
    // at a time, and its samples may begin with points before `from`: those lie across the gap
    // before it, and are left out.
    void appendPart(QVector<QCPGraphData> *lineData,
                    const QCPGraphDataContainer::const_iterator &from,
                    const QCPGraphDataContainer::const_iterator &to) const
    {
        QVector<QCPGraphData> part;
        QCPGraph::getOptimizedLineData(&part, from, to);
        const double pixel = std::abs(keyAxis()->pixelToCoord(1) - keyAxis()->pixelToCoord(0));
        const double low = from->key - pixel, high = (to - 1)->key + pixel;
        for (const QCPGraphData &p : part)
            if (p.key >= low && p.key <= high) lineData->append(p);
    }

    const std::deque<Gap> &gaps_;
};

// Runs `place` whenever the plot is drawn, once its layout is made for the size it is drawn at
// (a window, a picture, a page) and before the items on the layers above are drawn.
class BeforeItems : public QCPLayerable
{
  public:
    BeforeItems(QCustomPlot *plot, std::function<void()> place)
        : QCPLayerable(plot, QStringLiteral("background")), place_(std::move(place))
    {
    }

  protected:
    void applyDefaultAntialiasingHint(QCPPainter *) const override {}
    void draw(QCPPainter *) override { place_(); }

  private:
    std::function<void()> place_;
};

QString clockText(double seconds, const char *format)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0)))
        .toString(QString::fromLatin1(format));
}

struct Registry;
Registry &reg();
void discardAllTimeViews();

struct Registry {
    // No view outlives the application object.
    Registry() { onRuntimeClose(discardAllTimeViews); }

    std::map<int, TimeViewWindow *> views;
    int nextHandle = 1;
    int busy = 0; // callbacks of views running
    Graveyard graveyard{[] { return reg().busy > 0; }};
};

Registry &reg()
{
    static Registry r;
    return r;
}

class Busy
{
  public:
    Busy() { ++reg().busy; }
    ~Busy() { --reg().busy; }
    Busy(const Busy &) = delete;
    Busy &operator=(const Busy &) = delete;
};

} // namespace

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

    struct MarkerItem {
        double time;
        QString label, detail;
        QCPItemStraightLine *line;
        QCPItemText *text;
        QString item; // on the line's menu; empty for none
        int tag;
    };
    // The marker whose line is within reach of `x` on the plot, the nearest; null for none.
    const MarkerItem *markerAt(int x) const
    {
        const MarkerItem *best = nullptr;
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
    std::deque<MarkerItem> markers;
    QString captionText;
    QString exportStem = QStringLiteral("history");
    QString exportFile;  // while the owner writes a span into it
    QString exportError; // why the last picture or page was not written
    QString pageHeading, pageSource, pageSettings, valueAxis;
    std::vector<QVector<QCPGraphData>> staged; // reused for points that come by the thousand

    std::deque<Gap> gaps;      // in order of their ends
    std::deque<double> recent; // the last kPeriodIntervals intervals between points
    // The last point added and the first of its stretch, in the order they came: a clock set
    // back begins a new stretch, whose times lie among the earlier ones.
    double lastAdded = qQNaN(), stretchStart = qQNaN();
    struct Unsettled { // a gap that the intervals after it may show to be a new pace
        double to, length;
        std::vector<double> after;
    };
    std::vector<Unsettled> unsettled;

    bool empty() const { return traces.empty() || traces[0]->data()->isEmpty(); }
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
        QCPGraph *g = new GapGraph(plot->xAxis, plot->yAxis, d->gaps);
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
    new BeforeItems(plot, [this] { placeLabels(); });
    connect(plot, &QCustomPlot::afterReplot, this, [this] { ++d->replots; });
    connect(d->follow, &QPushButton::clicked, this, [this](bool on) { setFollow(on); });
    connect(d->whole, &QPushButton::clicked, this, [this] { showWhole(); });
    connect(d->fit, &QPushButton::clicked, this, [this] { fitValues(); });
    connect(d->open, &QPushButton::clicked, this, [this] { report(EVENT_COMMIT, TIMEVIEW_OPEN); });
    // A menu that does not wait: polling goes on while it is open, as behind the dialogs.
    d->exportMenu = new QMenu(this);
    const char *const kinds[] = {"Picture 1920 × 1080 (PNG)…", "Picture 3840 × 2160 (PNG)…",
                                 "Report page, A4 (PDF)…", "Report page, A4 at 300 dpi (PNG)…",
                                 "Span as CSV…"};
    for (int kind = kPicture; kind <= kSpanCsv; kind++)
        d->exportMenu->addAction(QString::fromUtf8(kinds[kind]), this,
                                 [this, kind] { askExport(kind); });
    connect(d->exportButton, &QPushButton::clicked, this, [this] {
        d->exportMenu->popup(d->exportButton->mapToGlobal(QPoint(0, d->exportButton->height())));
    });
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

TimeViewWindow::~TimeViewWindow()
{
    if (isVisible()) rememberWindow(this, d->exportStem);
}

int TimeViewWindow::report(int event, int data1, int data2)
{
    if (!d->callback) return -1;
    const Busy busy;
    return d->callback(d->handle, event, nullptr, data1, data2);
}

void TimeViewWindow::addPoints(const double *times, const double *values, int count)
{
    const std::size_t n = d->traces.size();
    if (count <= 0) return;
    // Pauses are found in the order the points came, which a clock set back makes another than
    // the order of their times.
    for (int i = 0; i < count; i++) {
        const double previous = i > 0 ? times[i - 1] : d->lastAdded;
        if (std::isnan(d->stretchStart)) d->stretchStart = times[i];
        if (!std::isnan(previous)) noteInterval(previous, times[i]);
    }
    d->lastAdded = times[count - 1];
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
    if (points <= pointCount()) return;
    // A container takes over the room of the vector it is given.
    for (QCPGraph *g : d->traces) {
        QVector<QCPGraphData> room;
        room.reserve(points);
        std::copy(g->data()->constBegin(), g->data()->constEnd(), std::back_inserter(room));
        g->data()->set(room, true);
    }
}

// Draws a gap where the interval from `previous` to `time` is a pause in the points, not their
// pace.
void TimeViewWindow::noteInterval(double previous, double time)
{
    const double interval = time - previous;
    if (!(interval >= 0)) {
        // A clock set back: no pace to judge by, and the line joins no point of the stretch
        // that ended to one of the stretch that begins, nor either to what lies beside it.
        insertGap(d->gaps, {d->stretchStart, d->stretchStart, true});
        insertGap(d->gaps, {previous, std::nextafter(previous, qInf()), true});
        insertGap(d->gaps, {time, time, true});
        d->stretchStart = time;
        return;
    }
    for (auto u = d->unsettled.begin(); u != d->unsettled.end();) {
        u->after.push_back(interval);
        const bool newPace =
            int(u->after.size()) >= kGapWitnesses && u->length <= kGapFactor * median(u->after);
        if (newPace) {
            const auto gap = std::find_if(d->gaps.rbegin(), d->gaps.rend(),
                                          [&](const Gap &g) { return !g.step && g.to == u->to; });
            if (gap != d->gaps.rend()) d->gaps.erase(std::next(gap).base());
        }
        if (newPace || int(u->after.size()) >= kPeriodIntervals)
            u = d->unsettled.erase(u);
        else
            ++u;
    }
    if (!d->recent.empty() &&
        interval > kGapFactor * median({d->recent.begin(), d->recent.end()})) {
        insertGap(d->gaps, {previous, time});
        d->unsettled.push_back({time, interval, {}});
    }
    d->recent.push_back(interval);
    if (int(d->recent.size()) > kPeriodIntervals) d->recent.pop_front();
}

// Drops what is older than the kept span, in batches of a twentieth of it, so the containers
// move their points up only now and then.
void TimeViewWindow::trimOld()
{
    if (d->keep <= 0 || d->empty()) return;
    const double cut = d->last() - d->keep;
    if (d->first() >= cut - d->keep / 20) return;
    const int before = pointCount();
    for (QCPGraph *g : d->traces)
        g->data()->removeBefore(cut);
    d->trimmed += before - pointCount();
    if (d->trimmed > pointCount() / 8) {
        for (QCPGraph *g : d->traces)
            g->data()->squeeze(true, false);
        d->trimmed = 0;
    }
    while (!d->gaps.empty() && d->gaps.front().to < d->first())
        d->gaps.pop_front();
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
    d->recent.clear();
    d->unsettled.clear();
    d->lastAdded = d->stretchStart = qQNaN();
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

void TimeViewWindow::hover(const QPoint &pos)
{
    const QRect area = d->plot->axisRect()->rect();
    if (!area.contains(pos)) return;
    // A marker under the pointer says what changed; otherwise the nearest point's values.
    const Private::MarkerItem *best = d->markerAt(pos.x());
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

// A right click on a marker's line that has an item: its menu. Shown with popup(), not exec(), so
// no loop of the menu's own runs inside whatever the program is doing (polling goes on).
void TimeViewWindow::markerMenu(const QPoint &pos)
{
    if (!d->plot->axisRect()->rect().contains(pos)) return;
    const Private::MarkerItem *m = d->markerAt(pos.x());
    if (!m || m->item.isEmpty()) return;
    auto *menu = new QMenu(d->plot);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const int tag = m->tag;
    menu->addAction(m->item, this,
                    [this, tag] { report(EVENT_COMMIT, TIMEVIEW_MARKER_ITEM, tag); });
    menu->popup(d->plot->mapToGlobal(pos));
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

// Transfer labels beside their lines, in the first row where they cover no other label; near
// the right edge a label turns to the left of its line, so none is cut off.
void TimeViewWindow::placeLabels()
{
    const QRect area = d->plot->axisRect()->rect();
    if (area.width() <= 0 || area.height() <= 0) return;
    QCPAxis *x = d->plot->xAxis;
    int rowEnds[kLabelRows];
    std::fill(std::begin(rowEnds), std::end(rowEnds), std::numeric_limits<int>::min());
    for (auto &m : d->markers) {
        const double at = x->coordToPixel(m.time);
        if (at < area.left() || at > area.right()) {
            m.text->setVisible(false);
            continue;
        }
        const QFontMetrics metrics(m.text->font());
        const int width = metrics.horizontalAdvance(m.label) + 9; // with its padding
        const bool turned = at + width > area.right();
        const int left = turned ? int(at) - width : int(at);
        const int height = metrics.height() + 4;
        // Nor under the legend, which sits in the top right corner.
        auto free = [&](int r) {
            const QRect label(left, area.top() + 2 + r * height, width, height);
            return rowEnds[r] <= left - 4 &&
                   !(d->plot->legend->visible() && d->plot->legend->outerRect().intersects(label));
        };
        int row = 0;
        while (row < kLabelRows && !free(row))
            row++;
        m.text->setVisible(row < kLabelRows);
        if (row == kLabelRows) continue;
        rowEnds[row] = std::max(rowEnds[row], left + width);
        m.text->setPositionAlignment((turned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
        m.text->setPadding(turned ? QMargins(3, 1, 6, 1) : QMargins(6, 1, 3, 1)); // off the line
        m.text->position->setCoords(m.time, (2.0 + row * height) / area.height());
    }
}

QPair<double, double> TimeViewWindow::spanForExport() const
{
    double from = 0, to = 0;
    if (!d->pageSpan && d->measure->span(&from, &to)) return {from, to};
    const QCPRange shown = d->plot->xAxis->range();
    if (d->empty()) return {shown.lower, shown.upper};
    // The margin beside the points and transfers is no part of what was measured.
    const QCPRange data = d->extent();
    const double first = data.lower, last = data.upper;
    if (shown.upper < first || shown.lower > last) return {shown.lower, shown.upper};
    return {std::max(shown.lower, first), std::min(shown.upper, last)};
}

bool TimeViewWindow::exportTo(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    return exportAs(suffix == QLatin1String("pdf")   ? kPdfPage
                    : suffix == QLatin1String("csv") ? kSpanCsv
                                                     : kPicture,
                    fileName);
}

bool TimeViewWindow::exportAs(int kind, const QString &fileName)
{
    redraw();                    // what is exported is what the points say now
    d->measure->hideCrosshair(); // it follows the pointer; the cursors stay, they were set
    if (kind == kSpanCsv) {
        d->exportFile = fileName;
        const bool written = report(EVENT_COMMIT, TIMEVIEW_EXPORT_SPAN) == 0;
        d->exportFile.clear();
        return written;
    }
    if (kind == kPdfPage || kind == kPngPage) {
        // A page shows what the window shows, cursors or not.
        d->pageSpan = true;
        const auto [from, to] = spanForExport();
        report(EVENT_COMMIT, TIMEVIEW_EXPORT_PAGE); // the settings in force at its end
        d->pageSpan = false;
        const PageTexts page{d->pageHeading, d->pageSource, d->pageSettings,
                             d->valueAxis,   from,          d->empty() ? from : to};
        return saveBytes(fileName, reportPage(d->plot, page, kind == kPdfPage), &d->exportError);
    }
    const QSize size = kind == kLargePicture ? kLargePictureSize : kPictureSize;
    return saveBytes(fileName, pngBytes(plotPicture(d->plot, size, d->valueAxis)), &d->exportError);
}

void TimeViewWindow::askExport(int kind)
{
    const double right = d->empty() ? 0 : d->plot->xAxis->range().upper;
    const QString suffix = suffixOf(kind);
    FileSelectSettings settings;
    settings.fileName =
        QStringLiteral("%1-%2%3.%4")
            .arg(d->exportStem,
                 right > 0 ? clockText(right, "yyyy-MM-dd-HHmmss") : QStringLiteral("empty"),
                 kind == kPngPage ? QStringLiteral("-a4") : QString(), suffix);
    settings.fileTypes = QStringLiteral("*.") + suffix;
    settings.title = d->exportMenu->actions().value(kind)->text().remove(u'…');
    settings.buttonLabel = 1; // Save: asks before replacing, proposes a free name
    // Polling goes on while the operator chooses; the window may have gone by the answer.
    askForFile(settings,
               [window = QPointer<TimeViewWindow>(this), kind](int chosen, const QString &path) {
                   if (window && chosen > 0) window->exportChosen(kind, path);
               });
}

void TimeViewWindow::exportChosen(int kind, const QString &name)
{
    const QString suffix = QFileInfo(name).suffix().toLower();
    const QString shortName = QFileInfo(name).fileName();
    const QString wanted = suffixOf(kind);
    // The name says the format; one the menu did not ask for is never replaced.
    if (suffix != wanted)
        setStatus(QStringLiteral("Not exported: %1: name it .%2").arg(shortName, wanted));
    else if (kind == kSpanCsv)
        exportAs(kind, name); // the owner says how it went
    else if (exportAs(kind, name))
        setStatus(QStringLiteral("Exported: %1").arg(shortName));
    else
        setStatus(
            QStringLiteral("Not exported: cannot write %1 (%2)").arg(shortName, d->exportError));
}

QString TimeViewWindow::exportFile() const
{
    return d->exportFile;
}

void TimeViewWindow::setPageText(int what, const QString &text)
{
    QString *texts[] = {&d->pageHeading, &d->pageSource, &d->pageSettings, &d->valueAxis};
    *texts[what - TIMEVIEW_PAGE_HEADING] = text;
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
            redraw();
            d->measure->hideCrosshair();
            QGuiApplication::clipboard()->setImage(
                plotPicture(d->plot, kPictureSize, d->valueAxis));
            setStatus(QStringLiteral("Copied the plot to the clipboard"));
            return;
        }
        QWidget::keyPressEvent(event);
    }
}

QCustomPlot *TimeViewWindow::plot() const
{
    return d->plot;
}
int TimeViewWindow::traceCount() const
{
    return int(d->traces.size());
}
int TimeViewWindow::pointCount() const
{
    return d->traces.empty() ? 0 : d->traces[0]->data()->size();
}
double TimeViewWindow::value(int trace, int point) const
{
    return d->traces[std::size_t(trace)]->data()->at(point)->value;
}
double TimeViewWindow::time(int point) const
{
    return d->traces[0]->data()->at(point)->key;
}
QList<QPair<double, double>> TimeViewWindow::gaps() const
{
    QList<QPair<double, double>> list;
    for (const Gap &g : d->gaps)
        if (!g.step) list.append({g.from, g.to});
    return list;
}
QList<TimeViewWindow::Marker> TimeViewWindow::markers() const
{
    QList<Marker> list;
    for (const auto &m : d->markers)
        list.append({m.time, m.label, m.detail, m.item});
    return list;
}
bool TimeViewWindow::following() const
{
    return d->following;
}
int TimeViewWindow::replots() const
{
    return d->replots;
}
QString TimeViewWindow::readout() const
{
    return d->readout->text();
}
QString TimeViewWindow::cursorReadout() const
{
    return d->cursors->isVisibleTo(const_cast<TimeViewWindow *>(this)) ? d->cursors->text()
                                                                       : QString();
}
TimeMeasure *TimeViewWindow::measure() const
{
    return d->measure;
}
QString TimeViewWindow::status() const
{
    return d->status->text();
}
QString TimeViewWindow::caption() const
{
    return d->caption->text();
}
QPushButton *TimeViewWindow::followButton() const
{
    return d->follow;
}
QPushButton *TimeViewWindow::wholeButton() const
{
    return d->whole;
}
QPushButton *TimeViewWindow::openButton() const
{
    return d->open;
}
QPushButton *TimeViewWindow::exportButton() const
{
    return d->exportButton;
}
QPushButton *TimeViewWindow::zoomBoxButton() const
{
    return d->zoomBox;
}
QPushButton *TimeViewWindow::fitButton() const
{
    return d->fit;
}
QMenu *TimeViewWindow::exportMenu() const
{
    return d->exportMenu;
}

TimeViewWindow *timeViewWindow(int view)
{
    const auto it = reg().views.find(view);
    return it == reg().views.end() ? nullptr : it->second;
}

namespace
{

void discardAllTimeViews()
{
    Registry &r = reg();
    for (auto &entry : r.views)
        delete entry.second;
    r.views.clear();
    r.graveyard.clear();
}

} // namespace

} // namespace kivrel::platform

using namespace kivrel::platform;

int NewTimeView(int numTraces, const char *traceNames, const int colors[], double yMin, double yMax,
                double span, TimeViewCallbackPtr callback)
{
    if (!runtimeUp()) return UIE_NOT_INITIALISED;
    if (numTraces < 1 || numTraces > kMaxTraces || !(yMax > yMin)) return UIE_INVALID_ARGUMENT;
    QStringList names = QString::fromUtf8(traceNames ? traceNames : "").split(u',');
    QList<QColor> palette;
    for (int t = 0; t < numTraces; t++) {
        if (t >= names.size()) names.append(QString());
        names[t] = names[t].trimmed();
        if (names[t].isEmpty()) names[t] = QStringLiteral("Trace %1").arg(t + 1);
        palette.append(colors ? QColor::fromRgb(QRgb(colors[t]) & 0xffffffu) : QColor(Qt::black));
    }
    names = names.mid(0, numTraces);
    Registry &r = reg();
    const int handle = r.nextHandle++;
    r.views[handle] = new TimeViewWindow(handle, names, palette, yMin, yMax, span, callback);
    return handle;
}

int DisplayTimeView(int view)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    w->show();
    w->raise();
    w->activateWindow();
    return 0;
}

int DiscardTimeView(int view)
{
    Registry &r = reg();
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    r.views.erase(view);
    if (w->isVisible()) w->hide(); // where it was is kept for next time
    // A callback or a dialog of a view may still run on it.
    r.graveyard.discard(w);
    return 0;
}

int SetTimeViewText(int view, int what, const char *text)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    const QString s = QString::fromUtf8(text ? text : "");
    switch (what) {
    case TIMEVIEW_TITLE: w->setWindowTitle(s); return 0;
    case TIMEVIEW_CAPTION: w->setCaption(s); return 0;
    case TIMEVIEW_STATUS: w->setStatus(s); return 0;
    case TIMEVIEW_EXPORT_NAME: w->setExportName(s); return 0;
    case TIMEVIEW_PAGE_HEADING:
    case TIMEVIEW_PAGE_SOURCE:
    case TIMEVIEW_PAGE_SETTINGS:
    case TIMEVIEW_VALUE_AXIS: w->setPageText(what, s); return 0;
    default: return UIE_INVALID_ATTRIBUTE;
    }
}

int AddTimeViewPoints(int view, const double times[], const double values[], int count)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    if (!times || !values || count < 0) return UIE_INVALID_ARGUMENT;
    if (count > 0) w->addPoints(times, values, count);
    return 0;
}

int AddTimeViewMarker(int view, double time, int color, const char *label, const char *detail)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    w->addMarker(time, QColor::fromRgb(QRgb(color) & 0xffffffu),
                 QString::fromUtf8(label ? label : ""), QString::fromUtf8(detail ? detail : ""));
    return 0;
}

int AddTimeViewMarkerItem(int view, double time, int color, const char *label, const char *detail,
                          const char *item, int tag)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    if (!item || tag < 0) return UIE_INVALID_ARGUMENT;
    w->addMarker(time, QColor::fromRgb(QRgb(color) & 0xffffffu),
                 QString::fromUtf8(label ? label : ""), QString::fromUtf8(detail ? detail : ""),
                 QString::fromUtf8(item), tag);
    return 0;
}

int SetTimeViewKeep(int view, double seconds, int points)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    w->setKeep(seconds, points);
    return 0;
}

int ClearTimeView(int view)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    w->clear();
    return 0;
}

int SetTimeViewFollow(int view, int follow)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    w->setFollow(follow != 0);
    return 0;
}

int ShowWholeTimeView(int view)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    w->showWhole();
    return 0;
}

int ExportTimeView(int view, const char *fileName)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    if (!fileName) return UIE_INVALID_ARGUMENT;
    return w->exportTo(QString::fromLocal8Bit(fileName)) ? 0 : UIE_INVALID_ARGUMENT;
}

int GetTimeViewSpan(int view, double *from, double *to)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    if (!from || !to) return UIE_INVALID_ARGUMENT;
    const auto [first, last] = w->spanForExport();
    *from = first;
    *to = last;
    return 0;
}

int GetTimeViewExportFile(int view, char path[])
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    if (!path) return UIE_INVALID_ARGUMENT;
    const QByteArray bytes = QFile::encodeName(w->exportFile());
    if (bytes.size() >= MAX_PATHNAME_LEN) return UIE_PATH_TOO_LONG;
    std::memcpy(path, bytes.constData(), std::size_t(bytes.size()) + 1);
    return 0;
}
