// The exports of a time-series view that are laid out for paper or a screen elsewhere: a report
// page of A4 (PDF, or PNG at 300 dpi) and a picture of a chosen size.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

class QCustomPlot;

namespace kivrel::platform
{

// What a page says besides the plot, as the view's owner gave it.
struct PageTexts {
    QString heading, source, settings, valueAxis;
    double from = 0, to = 0; // the span, seconds since the epoch
};

// An A4 landscape page into `fileName`: a PDF, or for pdf == false a PNG of 3508 x 2480 pixels
// (300 dpi). False when the file could not be written.
bool writeReportPage(QCustomPlot *plot, const PageTexts &page, const QString &fileName, bool pdf);
// The plot as a picture of `pixels`, laid out at half that size so that its text can be read
// where the picture is shown, labelled with `valueAxis`.
QImage plotPicture(QCustomPlot *plot, QSize pixels, const QString &valueAxis);

} // namespace kivrel::platform
