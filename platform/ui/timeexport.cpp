// Report pages and pictures of a time-series view. The page is drawn in points (1/72 inch) on
// any device: a PDF at 72 dpi, an image scaled up to 300 dpi. The plot's own fonts are given in
// pixels meanwhile, so QCustomPlot lays out for the sizes it then draws at.
#include "timeexport_p.h"

#include "formatio.h"
#include "formatio_p.h"
#include "utility.h"
#include "wholefile.h"

#include <qcustomplot.h>

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QPageSize>
#include <QPdfWriter>

#include <cmath>
#include <functional>
#include <vector>

namespace kivrel::platform
{

namespace
{

// A4 landscape in points, and its margin.
constexpr double kPageWidth = 841.89, kPageHeight = 595.28, kMargin = 36;
constexpr int kPngDpi = 300;
// Text sizes on paper, in points: none under 9.
constexpr int kSmall = 9, kNormal = 11, kHeading = 16;

QString clockText(double seconds, const char *format)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0)))
        .toString(QString::fromLatin1(format));
}

QString durationText(double seconds)
{
    if (seconds < 60) return QStringLiteral("%1 s").arg(seconds, 0, 'f', seconds < 10 ? 3 : 1);
    const qint64 s = std::llround(seconds);
    if (s < 3600) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

QFont pixelFont(const QFont &like, int pixels, bool bold = false)
{
    QFont f(like);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// Text that names a file or a sensor is drawn as spelt: shaped, "ff" in a path would become a
// ligature, and a PDF reader or a copy from the page would give that one character instead.
QFont spelt(QFont font)
{
    font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
    return font;
}

// Changes the plot's look for one export and puts everything back afterwards: fonts in pixels,
// the value axis named, the caption above the plot out of the way where the page says it.
class ExportLook
{
  public:
    ExportLook(QCustomPlot *plot, int textPixels, const QString &valueAxis, bool hideCaption,
               bool raster)
        : plot_(plot)
    {
        const QFont base = plot->font();
        // Scaled up, a trace's pen would be drawn as an outline, some ten times slower: hours
        // of points took seconds. A pixel wide on the picture, it takes the fast path.
        for (int i = 0; raster && i < plot->graphCount(); i++) {
            QCPGraph *graph = plot->graph(i);
            const QPen pen = graph->pen();
            undo_.push_back([graph, pen] { graph->setPen(pen); });
            QPen thin = pen;
            thin.setCosmetic(true);
            graph->setPen(thin);
        }
        for (QCPAxis *axis : plot->axisRect()->axes()) {
            keep(axis->tickLabelFont(), [axis](const QFont &f) { axis->setTickLabelFont(f); });
            keep(axis->labelFont(), [axis](const QFont &f) { axis->setLabelFont(f); });
            axis->setTickLabelFont(pixelFont(base, textPixels));
            axis->setLabelFont(pixelFont(base, textPixels));
        }
        QCPAxis *y = plot->yAxis;
        const QString label = y->label();
        undo_.push_back([y, label] { y->setLabel(label); });
        y->setLabel(valueAxis);
        QCPLegend *legend = plot->legend;
        for (int i = 0; i < legend->itemCount(); i++) {
            QCPAbstractLegendItem *item = legend->item(i);
            keep(item->font(), [item](const QFont &f) { item->setFont(f); });
            item->setFont(pixelFont(base, textPixels));
        }
        for (int i = 0; i < plot->itemCount(); i++)
            if (auto *text = qobject_cast<QCPItemText *>(plot->item(i))) {
                keep(text->font(), [text](const QFont &f) { text->setFont(f); });
                text->setFont(pixelFont(base, textPixels));
            }
        QCPLayoutGrid *layout = plot->plotLayout();
        for (int i = 0; i < layout->elementCount(); i++)
            if (auto *caption = qobject_cast<QCPTextElement *>(layout->elementAt(i))) {
                keep(caption->font(), [caption](const QFont &f) { caption->setFont(f); });
                caption->setFont(spelt(pixelFont(base, textPixels))); // a file's or port's name
                if (hideCaption) hide(caption);
            }
    }
    ~ExportLook()
    {
        for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo)
            (*undo)();
        plot_->replot(QCustomPlot::rpQueuedReplot);
    }
    ExportLook(const ExportLook &) = delete;
    ExportLook &operator=(const ExportLook &) = delete;

  private:
    void keep(const QFont &font, std::function<void(const QFont &)> set)
    {
        undo_.push_back([font, set] { set(font); });
    }
    // Out of the layout, so that its row takes no room; back into the same cell afterwards.
    void hide(QCPTextElement *caption)
    {
        QCPLayoutGrid *layout = plot_->plotLayout();
        int row = 0, column = 0;
        layout->indexToRowCol(layout->elements(false).indexOf(caption), row, column);
        if (!layout->take(caption)) return;
        layout->simplify();
        caption->setVisible(false);
        undo_.push_back([layout, caption, row, column] {
            layout->insertRow(row);
            layout->addElement(row, column, caption);
            caption->setVisible(true);
        });
    }

    QCustomPlot *plot_;
    std::vector<std::function<void()>> undo_;
};

// The plot at [from, to] for the while, so that the page shows the span it names.
class SpanShown
{
  public:
    SpanShown(QCustomPlot *plot, double from, double to) : axis_(plot->xAxis), was_(axis_->range())
    {
        if (to > from) axis_->setRange(from, to);
    }
    ~SpanShown() { axis_->setRange(was_); }
    SpanShown(const SpanShown &) = delete;
    SpanShown &operator=(const SpanShown &) = delete;

  private:
    QCPAxis *axis_;
    QCPRange was_;
};

void drawText(QPainter &painter, const QRectF &box, int flags, const QString &text, int points,
              bool bold = false, QColor color = Qt::black)
{
    painter.setFont(spelt(pixelFont(QFont(), points, bold)));
    painter.setPen(color);
    painter.drawText(box, flags, text);
}

QString whoAndWhen()
{
    char login[128] = "", host[256] = "";
    GetLoginName(login, sizeof login);
    GetMachineName(host, sizeof host);
    const QString who =
        QString::fromLocal8Bit(login) + (host[0] ? u'@' + QString::fromLocal8Bit(host) : QString());
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    return QStringLiteral("Exported %1 %2%3:%4%5")
        .arg(now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), offset < 0 ? u"-" : u"+")
        .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
        .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'))
        .arg(who.isEmpty() ? QString() : QStringLiteral(" by ") + who);
}

// The page, in points, on a painter whose unit is a point.
void drawPage(QCPPainter &painter, QCustomPlot *plot, const PageTexts &page)
{
    const double width = kPageWidth - 2 * kMargin;
    double y = kMargin;
    drawText(painter, QRectF(kMargin, y, width, 22), Qt::AlignLeft | Qt::AlignVCenter, page.heading,
             kHeading, true);
    y += 26;
    drawText(painter, QRectF(kMargin, y, width, 16), Qt::AlignLeft | Qt::AlignVCenter, page.source,
             kNormal);
    y += 16;
    const QString span = page.to > page.from
                             ? QStringLiteral("%1 to %2 (%3)")
                                   .arg(clockText(page.from, "yyyy-MM-dd hh:mm:ss.zzz"),
                                        clockText(page.to, "yyyy-MM-dd hh:mm:ss.zzz"),
                                        durationText(page.to - page.from))
                             : QStringLiteral("no records");
    drawText(painter, QRectF(kMargin, y, width, 16), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Span ") + span, kNormal);
    y += 22;

    // The settings and the footer from the bottom up; the plot takes what is left.
    const double footerTop = kPageHeight - kMargin - 12;
    const QStringList settings = page.settings.split(u'\n');
    const double settingsHeight = 12.0 * double(settings.size());
    const double settingsTop = footerTop - 8 - settingsHeight;
    const double plotHeight = settingsTop - 10 - y;
    {
        const ExportLook look(plot, kSmall, page.valueAxis, true,
                              !painter.modes().testFlag(QCPPainter::pmVectorized));
        const SpanShown shown(plot, page.from, page.to);
        painter.save();
        painter.translate(kMargin, y);
        plot->toPainter(&painter, int(width), int(plotHeight));
        painter.restore();
    }
    for (int i = 0; i < settings.size(); i++)
        drawText(painter, QRectF(kMargin, settingsTop + 12.0 * i, width, 12),
                 Qt::AlignLeft | Qt::AlignVCenter, settings[i], kSmall, i == 0);
    painter.setPen(QPen(Qt::gray, 0.5));
    painter.drawLine(QPointF(kMargin, footerTop - 3), QPointF(kMargin + width, footerTop - 3));
    drawText(painter, QRectF(kMargin, footerTop, width, 12), Qt::AlignLeft | Qt::AlignVCenter,
             whoAndWhen(), kSmall, false, Qt::darkGray);
}

} // namespace

QByteArray reportPage(QCustomPlot *plot, const PageTexts &page, bool pdf)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (pdf) {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(72); // a unit is a point
        writer.setCreator(QStringLiteral("KIVREL-Vired"));
        writer.setTitle(page.heading);
        QCPPainter painter;
        if (!painter.begin(&writer)) return {};
        painter.setMode(QCPPainter::pmVectorized);
        painter.setMode(QCPPainter::pmNoCaching);
        drawPage(painter, plot, page);
        return painter.end() ? bytes : QByteArray();
    }
    const double scale = kPngDpi / 72.0;
    QImage image(int(std::lround(kPageWidth * scale)), int(std::lround(kPageHeight * scale)),
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QCPPainter painter(&image);
        painter.setMode(QCPPainter::pmNoCaching);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(scale, scale);
        drawPage(painter, plot, page);
    }
    const int dotsPerMeter = int(std::lround(kPngDpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    return pngBytes(image);
}

QByteArray pngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, "PNG") ? bytes : QByteArray();
}

// Written whole, or not at all: a full disk or a folder that is not there leaves whatever file
// stood there as it was.
bool saveBytes(const QString &fileName, const QByteArray &bytes, QString *why)
{
    const QByteArray name = QFile::encodeName(fileName);
    if (bytes.isEmpty()) // the page or picture could not be made
        fileFailed(FIO_IO_ERROR, QStringLiteral("nothing to write"));
    else if (SaveWholeFile(name.constData(), bytes.constData(), bytes.size()) == 0)
        return true;
    *why = QString::fromLocal8Bit(GetFileErrorText());
    return false;
}

QImage plotPicture(QCustomPlot *plot, QSize pixels, const QString &valueAxis)
{
    const ExportLook look(plot, 12, valueAxis, false, true);
    return plot->toPixmap(pixels.width() / 2, pixels.height() / 2, 2.0).toImage();
}

} // namespace kivrel::platform
