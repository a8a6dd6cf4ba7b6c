// The exports of a time-series view that are laid out for paper or a screen elsewhere: a report
// page of A4 (PDF, or PNG at 300 dpi) and a picture of a chosen size.
#pragma once

#include <QByteArray>
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

// An A4 landscape page: a PDF, or for pdf == false a PNG of 3508 x 2480 pixels (300 dpi). Empty
// when it could not be made.
QByteArray reportPage(QCustomPlot *plot, const PageTexts &page, bool pdf);
// `image` as a PNG file's bytes.
QByteArray pngBytes(const QImage &image);
// Writes `bytes` as the file `fileName`, whole or not at all: true, or false with the
// system's reason in `why` and the file that stood there as it was.
bool saveBytes(const QString &fileName, const QByteArray &bytes, QString *why);
// The plot as a picture of `pixels`, laid out at half that size so that its text can be read
// where the picture is shown, labelled with `valueAxis`.
QImage plotPicture(QCustomPlot *plot, QSize pixels, const QString &valueAxis);

} // namespace kivrel::platform
