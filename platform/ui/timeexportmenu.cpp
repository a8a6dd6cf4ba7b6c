// The Export menu of a time view and what it asks: its choices, the file dialog with a proposed
// name, the status line after, exports by a file's name (ExportTimeView), the span an export
// covers, and the plot copied to the clipboard. The pages and pictures themselves are made in
// timeexport.cpp.
#include "timeviewwindow_p.h"

#include "popups_p.h"
#include "timeexport_p.h"
#include "timemeasure.h"
#include "userint.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QPushButton>

#include <algorithm>

namespace kivrel::platform
{

namespace
{

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

} // namespace

void TimeViewWindow::makeExportMenu()
{
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

void TimeViewWindow::copyPicture()
{
    redraw();
    d->measure->hideCrosshair();
    QGuiApplication::clipboard()->setImage(plotPicture(d->plot, kPictureSize, d->valueAxis));
    setStatus(QStringLiteral("Copied the plot to the clipboard"));
}

} // namespace kivrel::platform
