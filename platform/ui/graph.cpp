// Graph controls on QCustomPlot: x/y plots of arrays against their index, and a scrolling
// strip chart whose traces never hold more than one screen of points.
#include "graph.h"

#include "userint.h"

#include <QPaintEvent>

#include <algorithm>
#include <cstddef>
#include <map>
#include <vector>

namespace kivrel::platform
{

namespace
{

// Base pen width of a graph in device-independent pixels, kept on the graph object so the
// pens can be rebuilt when the device-pixel ratio changes.
constexpr const char *kPenBase = "kivrelPenBase";

// Style 5 draws each point as a step one unit wide: a lone non-zero entry stands out as a
// narrow bar, a constant array as a level line, and two plots of one graph stay apart.
constexpr int kStepStyle = 5;
constexpr int kMaxTraces = 64;
constexpr int kDefaultPointsPerScreen = 100;

constexpr QRgb kPalette[] = {0x1f5fbf, 0xd62728, 0x2ca02c, 0xff7f0e, 0x9467bd,
                             0x8c564b, 0x17a2b8, 0x7f7f7f, 0xbcbd22, 0xe377c2};

bool validDataType(int dataType)
{
    return dataType == VAL_DOUBLE || dataType == VAL_UNSIGNED_CHAR;
}

double valueAt(const void *array, int dataType, std::size_t index)
{
    if (dataType == VAL_UNSIGNED_CHAR) return static_cast<const unsigned char *>(array)[index];
    return static_cast<const double *>(array)[index];
}

QColor colorOf(int rgb)
{
    return QColor::fromRgb(static_cast<QRgb>(rgb) & 0xffffffu);
}

// Accepts "0xRRGGBB", "#RRGGBB" or a bare hex number.
bool parseColor(QString text, QColor &out)
{
    text = text.trimmed();
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        text = text.mid(2);
    else if (text.startsWith(QLatin1Char('#')))
        text = text.mid(1);
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    if (!ok || text.isEmpty()) return false;
    out = QColor::fromRgb(value & 0xffffffu);
    return true;
}

bool readDouble(const QObject *object, const char *name, double &out)
{
    const QVariant v = object->property(name);
    if (!v.isValid()) return false;
    bool ok = false;
    const double value = v.toDouble(&ok);
    if (ok) out = value;
    return ok;
}

QStringList readList(const QObject *object, const char *name)
{
    const QVariant v = object->property(name);
    if (!v.isValid()) return {};
    if (v.typeId() == QMetaType::QStringList) return v.toStringList();
    QStringList items = v.toString().split(QLatin1Char(','));
    for (QString &item : items)
        item = item.trimmed();
    return items;
}

} // namespace

struct GraphControl::Private {
    Kind kind = Kind::Graph;
    int pointsPerScreen = kDefaultPointsPerScreen;

    // x/y graph
    std::map<int, QCPGraph *> plots;
    int nextHandle = 1;
    bool xFixed = false;
    bool yFixed = false;

    // strip chart
    std::vector<QCPGraph *> traces;
    std::vector<bool> visible;
    std::vector<double> nextKey;             // running sample counter per trace
    std::vector<std::vector<double>> staged; // this call's values per trace, reused
    QVector<QCPGraphData> fill;              // reused while a trace fills its first screen
};

GraphControl::GraphControl(QWidget *parent) : QCustomPlot(parent), d(std::make_unique<Private>())
{
    applyStyle();
    setup();
}

GraphControl::~GraphControl() = default;

void GraphControl::applyStyle()
{
    // Thin pens without antialiasing draw several times faster; this control redraws ~9/s.
    setAntialiasedElements(QCP::aeNone);
    setNotAntialiasedElements(QCP::aeAll);
    setPlottingHints(QCP::phCacheLabels | QCP::phFastPolylines);
    setInteractions(QCP::Interactions());
    setBackground(Qt::white);
    // The white background covers the whole control, so the panel need not be painted under
    // it; and with no interactions the overlay layer needs no buffer of its own, which would
    // cost a full transparent fill per replot and a full blend per paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (QCPLayer *overlay = layer(QStringLiteral("overlay"))) overlay->setMode(QCPLayer::lmLogical);
    axisRect()->setBackground(Qt::white);

    const QColor axisColor(0x50, 0x50, 0x50);
    const QColor textColor(0x30, 0x30, 0x30);
    QFont tickFont = font();
    for (QCPAxis *axis : {xAxis, yAxis, xAxis2, yAxis2}) {
        axis->setBasePen(QPen(axisColor, 1));
        axis->setTickPen(QPen(axisColor, 1));
        axis->setSubTickPen(QPen(axisColor, 1));
        axis->setTickLabelColor(textColor);
        axis->setTickLabelFont(tickFont);
        axis->setLabelColor(textColor);
        axis->setTickLengthIn(0);
        axis->setTickLengthOut(4);
        axis->setSubTickLengthIn(0);
        axis->setSubTickLengthOut(2);
        axis->grid()->setPen(QPen(QColor(0xe2, 0xe2, 0xe2), 1));
        axis->grid()->setZeroLinePen(QPen(QColor(0xc0, 0xc0, 0xc0), 1));
        axis->grid()->setSubGridVisible(false);
    }
    // The top and right axes only close the frame.
    for (QCPAxis *axis : {xAxis2, yAxis2}) {
        axis->setVisible(true);
        axis->setTicks(false);
        axis->setTickLabels(false);
        axis->grid()->setVisible(false);
    }

    legend->setBrush(QColor(255, 255, 255, 225));
    legend->setBorderPen(QPen(QColor(0xc8, 0xc8, 0xc8), 1));
    legend->setTextColor(textColor);
    legend->setFont(tickFont);
    legend->setIconSize(18, 8);
    legend->setMargins(QMargins(6, 3, 6, 3));
    legend->setColumnSpacing(10);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
}

void GraphControl::applyPens()
{
    // Cosmetic pens are in device pixels: scale them so they look the same at 200 %.
    const int factor = std::max(1, qRound(bufferDevicePixelRatio()));
    for (int i = 0; i < graphCount(); i++) {
        QCPGraph *g = graph(i);
        const int base = std::max(1, g->property(kPenBase).toInt());
        QPen pen = g->pen();
        pen.setCosmetic(true);
        pen.setWidth(base * factor);
        pen.setCapStyle(Qt::FlatCap);
        g->setPen(pen);
    }
}

void GraphControl::removeTraceGraphs()
{
    clearGraphs();
    d->plots.clear();
    d->traces.clear();
    d->visible.clear();
    d->nextKey.clear();
    d->staged.clear();
}

void GraphControl::setup()
{
    removeTraceGraphs();
    d->nextHandle = 1;

    const QString kindName = property("graphKind").toString().trimmed().toLower();
    d->kind = (kindName == QLatin1String("stripchart") || kindName == QLatin1String("strip chart"))
                  ? Kind::StripChart
                  : Kind::Graph;
    // QCustomPlot's "fast" polylines draw every segment on its own, each with a line set-up of
    // its own; the strip chart's one-pixel traces look the same as one polyline, which costs a
    // fraction. The step plots of the x/y graphs keep the separate segments.
    setPlottingHint(QCP::phFastPolylines, d->kind == Kind::Graph);

    bool ok = false;
    const int pps = property("pointsPerScreen").toInt(&ok);
    d->pointsPerScreen = ok && pps >= 2 ? pps : kDefaultPointsPerScreen;

    double xMin = 0, xMax = 10, yMin = 0, yMax = 10;
    const bool hasXMin = readDouble(this, "xMin", xMin);
    const bool hasXMax = readDouble(this, "xMax", xMax);
    const bool hasYMin = readDouble(this, "yMin", yMin);
    const bool hasYMax = readDouble(this, "yMax", yMax);
    d->xFixed = hasXMin && hasXMax && xMax > xMin;
    d->yFixed = hasYMin && hasYMax && yMax > yMin;
    if (!d->xFixed) {
        xMin = 0;
        xMax = 10;
    }
    if (!d->yFixed) {
        yMin = 0;
        yMax = 10;
    }
    yAxis->setRange(yMin, yMax);

    if (d->kind == Kind::Graph) {
        legend->setVisible(false);
        xAxis->setNumberFormat(QStringLiteral("gb"));
        xAxis->setNumberPrecision(6);
        xAxis->setRange(xMin, xMax);
    } else {
        int traces = property("traces").toInt(&ok);
        if (!ok || traces < 1) traces = 1;
        traces = std::min(traces, kMaxTraces);
        const QStringList names = readList(this, "traceNames");
        const QStringList colors = readList(this, "traceColors");
        for (int t = 0; t < traces; t++) {
            QCPGraph *g = addGraph();
            QColor color = QColor::fromRgb(kPalette[t % std::size(kPalette)]);
            if (t < colors.size()) parseColor(colors[t], color);
            g->setPen(QPen(color, 1));
            g->setProperty(kPenBase, 1);
            g->setLineStyle(QCPGraph::lsLine);
            g->setAdaptiveSampling(false);
            g->setName(t < names.size() && !names[t].isEmpty()
                           ? names[t]
                           : QStringLiteral("Trace %1").arg(t + 1));
            d->traces.push_back(g);
            d->visible.push_back(true);
            d->nextKey.push_back(0);
            d->staged.emplace_back();
        }
        legend->setVisible(true);
        // The x axis only counts samples, which tells the operator nothing; its grid scrolls
        // with the traces, its numbers are left out (and with them a text layout per new
        // label on every frame).
        xAxis->setTickLabels(false);
        updateStripRange();
    }
    applyPens();
    replot(rpQueuedReplot);
}

GraphControl::Kind GraphControl::kind() const
{
    return d->kind;
}

int GraphControl::plotY(const void *array, int numPoints, int dataType, int plotStyle,
                        int pointStyle, int lineStyle, int pointFrequency, int color)
{
    // Point and line styles are not drawn: this tool plots plain lines and markers only.
    Q_UNUSED(pointStyle);
    Q_UNUSED(lineStyle);
    Q_UNUSED(pointFrequency);
    if (d->kind != Kind::Graph) return UIE_INVALID_CONTROL;
    if (!array || numPoints < 1 || !validDataType(dataType)) return UIE_INVALID_ARGUMENT;

    QVector<double> keys(numPoints), values(numPoints);
    for (int i = 0; i < numPoints; i++) {
        keys[i] = i;
        values[i] = valueAt(array, dataType, static_cast<std::size_t>(i));
    }
    QCPGraph *g = addGraph();
    g->setData(keys, values, true);
    const bool steps = plotStyle == kStepStyle;
    g->setLineStyle(steps ? QCPGraph::lsStepCenter : QCPGraph::lsLine);
    // Two pixels keep a marker's edges readable next to the grid.
    g->setProperty(kPenBase, steps ? 2 : 1);
    g->setPen(QPen(colorOf(color), 1));
    g->setAdaptiveSampling(false);

    const int handle = d->nextHandle++;
    d->plots[handle] = g;

    if (!d->xFixed) xAxis->rescale(true);
    if (!d->yFixed) {
        yAxis->rescale(true);
        const QCPRange r = yAxis->range();
        const double margin = r.size() > 0 ? r.size() * 0.05 : 1.0;
        yAxis->setRange(r.lower - margin, r.upper + margin);
    }
    applyPens();
    replot(rpQueuedReplot);
    return handle;
}

int GraphControl::deletePlot(int plotHandle, int refresh)
{
    if (d->kind == Kind::Graph) {
        if (plotHandle == -1) {
            for (const auto &entry : d->plots)
                removeGraph(entry.second);
            d->plots.clear();
        } else {
            const auto it = d->plots.find(plotHandle);
            if (it == d->plots.end()) return UIE_INVALID_ARGUMENT;
            removeGraph(it->second);
            d->plots.erase(it);
        }
    } else {
        // On a strip chart "every plot" means the traces' data; the traces stay.
        if (plotHandle != -1) return UIE_INVALID_ARGUMENT;
        for (std::size_t t = 0; t < d->traces.size(); t++) {
            d->traces[t]->data()->clear();
            d->nextKey[t] = 0;
        }
        updateStripRange();
    }
    replot(refresh ? rpImmediateRefresh : rpQueuedReplot);
    return 0;
}

int GraphControl::plotStripChart(const void *array, int numPoints, int startingIndex, int skipCount,
                                 int dataType)
{
    if (d->kind != Kind::StripChart) return UIE_INVALID_CONTROL;
    if (!array || numPoints < 1 || startingIndex < 0 || skipCount < 0 || !validDataType(dataType))
        return UIE_INVALID_ARGUMENT;

    const std::size_t n = d->traces.size();
    for (auto &values : d->staged)
        values.clear(); // keeps capacity
    const std::size_t stride = static_cast<std::size_t>(skipCount) + 1;
    std::size_t index = static_cast<std::size_t>(startingIndex);
    for (int k = 0; k < numPoints; k++, index += stride)
        d->staged[static_cast<std::size_t>(k) % n].push_back(valueAt(array, dataType, index));

    const int pps = d->pointsPerScreen;
    for (std::size_t t = 0; t < n; t++) {
        const std::vector<double> &values = d->staged[t];
        const int m = static_cast<int>(values.size());
        if (m == 0) continue;
        const double key0 = d->nextKey[t];
        d->nextKey[t] += m;
        QCPGraphDataContainer &data = *d->traces[t]->data();

        // Values older than one screen would be dropped at once; skip them.
        int i = m > pps ? m - pps : 0;
        const int held = data.size();
        if (held < pps) {
            const int take = std::min(pps - held, m - i);
            d->fill.resize(take);
            for (int j = 0; j < take; j++)
                d->fill[j] = QCPGraphData(key0 + i + j, values[static_cast<std::size_t>(i + j)]);
            data.add(d->fill, true);
            i += take;
        }
        // Once a screen is full, shift in place: no allocation however long this runs.
        const int rest = m - i;
        if (rest > 0) {
            const auto begin = data.begin();
            const auto end = data.end();
            std::move(begin + rest, end, begin);
            for (int j = 0; j < rest; j++)
                *(end - rest + j) =
                    QCPGraphData(key0 + i + j, values[static_cast<std::size_t>(i + j)]);
        }
    }
    updateStripRange();
    replot(rpQueuedReplot);
    return 0;
}

void GraphControl::updateStripRange()
{
    if (d->kind != Kind::StripChart) return;
    double next = 0;
    for (double key : d->nextKey)
        next = std::max(next, key);
    // Fill from the left, then scroll with the newest point at the right edge.
    const double lower = std::max(0.0, next - d->pointsPerScreen);
    xAxis->setRange(lower, lower + d->pointsPerScreen - 1);
    if (!d->yFixed && next > 0) {
        bool found = false;
        QCPRange range;
        for (std::size_t t = 0; t < d->traces.size(); t++) {
            if (!d->visible[t]) continue;
            bool traceFound = false;
            const QCPRange r = d->traces[t]->getValueRange(traceFound);
            if (!traceFound) continue;
            if (found)
                range.expand(r);
            else
                range = r;
            found = true;
        }
        if (found) {
            const double margin = range.size() > 0 ? range.size() * 0.05 : 1.0;
            yAxis->setRange(range.lower - margin, range.upper + margin);
        }
    }
}

int GraphControl::setPointsPerScreen(int points)
{
    if (points < 2) return UIE_INVALID_ARGUMENT;
    d->pointsPerScreen = points;
    for (QCPGraph *g : d->traces) {
        QCPGraphDataContainer &data = *g->data();
        if (data.size() > points) data.removeBefore((data.constEnd() - points)->key - 0.5);
    }
    updateStripRange();
    replot(rpQueuedReplot);
    return 0;
}

int GraphControl::pointsPerScreen() const
{
    return d->pointsPerScreen;
}

int GraphControl::setTraceVisible(int trace, bool visible)
{
    if (trace < 1 || trace > traceCount()) return UIE_INVALID_ARGUMENT;
    const std::size_t t = static_cast<std::size_t>(trace - 1);
    if (d->visible[t] == visible) return 0;
    d->visible[t] = visible;
    d->traces[t]->setVisible(visible);
    // Rebuild the legend in trace order; a hidden trace has no entry.
    legend->clearItems();
    for (std::size_t i = 0; i < d->traces.size(); i++)
        if (d->visible[i]) d->traces[i]->addToLegend();
    updateStripRange();
    replot(rpQueuedReplot);
    return 0;
}

bool GraphControl::traceVisible(int trace) const
{
    if (trace < 1 || trace > traceCount()) return false;
    return d->visible[static_cast<std::size_t>(trace - 1)];
}

int GraphControl::traceCount() const
{
    return static_cast<int>(d->traces.size());
}

int GraphControl::tracePointCount(int trace) const
{
    if (trace < 1 || trace > traceCount()) return UIE_INVALID_ARGUMENT;
    return d->traces[static_cast<std::size_t>(trace - 1)]->data()->size();
}

int GraphControl::plotCount() const
{
    return static_cast<int>(d->plots.size());
}

void GraphControl::paintEvent(QPaintEvent *event)
{
    const double dpr = devicePixelRatioF();
    if (!qFuzzyCompare(dpr, bufferDevicePixelRatio())) {
        setBufferDevicePixelRatio(dpr);
        applyPens();
        replot(rpQueuedRefresh);
    }
    QCustomPlot::paintEvent(event);
}

} // namespace kivrel::platform
