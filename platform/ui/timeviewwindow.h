// The window behind a time-series view (timeview.h), for the platform itself, the tests and the
// benchmarks. The logic never sees this header.
#pragma once

#include "timeview.h"

#include <QColor>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class QCustomPlot;
class QMouseEvent;
class QMenu;
class QPushButton;

namespace kivrel::platform
{

class TimeMeasure;

class TimeViewWindow : public QWidget
{
    Q_OBJECT
  public:
    TimeViewWindow(int handle, const QStringList &names, const QList<QColor> &colors, double yMin,
                   double yMax, double span, TimeViewCallbackPtr callback);
    ~TimeViewWindow() override;

    void addPoints(const double *times, const double *values, int count);
    void addMarker(double time, const QColor &color, const QString &label, const QString &detail,
                   const QString &item = {}, int tag = -1);
    void setKeep(double seconds, int points);
    void clear();
    void setFollow(bool follow);
    void showWhole();
    bool exportTo(const QString &fileName);
    // The span an export covers: between the cursors where they are set (a report page: the
    // span shown, always), else the span shown.
    QPair<double, double> spanForExport() const;
    QString exportFile() const;                      // while its span is being written
    void setPageText(int what, const QString &text); // TIMEVIEW_PAGE_HEADING ... VALUE_AXIS
    void setCaption(const QString &text);
    void setStatus(const QString &text);
    void setExportName(const QString &stem);

    // What the tests and the benchmarks look at.
    struct Marker {
        double time;
        QString label, detail;
        QString item; // its line's menu item, empty for none
    };
    QCustomPlot *plot() const;
    int traceCount() const;
    int pointCount() const; // points held, the same for every trace
    double value(int trace, int point) const;
    double time(int point) const;
    QList<Marker> markers() const;
    QList<QPair<double, double>> gaps() const; // from, to: where the line breaks
    bool following() const;
    int replots() const; // since the window was made
    QString readout() const;
    QString cursorReadout() const; // the cursors' times, Δt and values; empty while both are off
    TimeMeasure *measure() const;
    QString status() const;
    QString caption() const; // as drawn: the caption and the span shown
    QPushButton *followButton() const;
    QPushButton *wholeButton() const;
    QPushButton *openButton() const;
    QPushButton *exportButton() const;
    QPushButton *zoomBoxButton() const;
    QPushButton *fitButton() const;
    QMenu *exportMenu() const; // Export's choices

  protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

  private:
    void scheduleRedraw();
    void redraw();
    void applyFollow();
    void trimOld();
    void updateCaption();
    void hover(const QPoint &pos);
    void markerMenu(const QPoint &pos);
    void press(QMouseEvent *event);
    void zoomInto(const QRect &box);
    void fitValues();
    void keepWithinData();
    void placeLabels();
    void noteInterval(double previous, double time);
    void askExport(int kind);
    void exportChosen(int kind, const QString &fileName);
    bool exportAs(int kind, const QString &fileName);
    int report(int event, int data1, int data2 = 0);

    struct Private;
    std::unique_ptr<Private> d;
};

TimeViewWindow *timeViewWindow(int view);

} // namespace kivrel::platform
