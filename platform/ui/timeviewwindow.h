// The window behind a time-series view (timeview.h), for the platform itself, the tests and the
// benchmarks. The logic never sees this header; what the tests read of a window's insides is in
// timeview_test.h.
#pragma once

#include "timeview.h"

#include <QColor>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class QMouseEvent;

namespace kivrel::platform
{

class TimeMeasure;
class TimeViewProbe;

class TimeViewWindow : public QWidget
{
    Q_OBJECT
  public:
    TimeViewWindow(int handle, const QStringList &names, const QList<QColor> &colors, double yMin,
                   double yMax, double span, TimeViewCallbackPtr callback);
    ~TimeViewWindow() override;

    void addPoints(const double *times, const double *values, int count);
    // With `item`, a right click on the marker's line offers it; choosing it reports
    // TIMEVIEW_MARKER_ITEM with `tag`.
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

  protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

  private:
    friend class TimeViewProbe; // what the tests read (timeview_test.h)

    void scheduleRedraw();
    void redraw();
    void trimOld();
    void updateCaption();
    void hover(const QPoint &pos);
    void markerMenu(const QPoint &pos);
    int report(int event, int data1, int data2 = 0);
    // Navigation (timenavigation.cpp): following, the plot's mouse, zoom and pan within the
    // data.
    void connectNavigation();
    void applyFollow();
    void press(QMouseEvent *event);
    void zoomInto(const QRect &box);
    void fitValues();
    void keepWithinData();
    // The Export menu, its dialogs and names (timeexportmenu.cpp).
    void makeExportMenu();
    void askExport(int kind);
    void exportChosen(int kind, const QString &fileName);
    bool exportAs(int kind, const QString &fileName);
    void copyPicture();

    struct Private;
    std::unique_ptr<Private> d;
};

// The window of the view `view`, or null.
TimeViewWindow *timeViewWindow(int view);

} // namespace kivrel::platform
