// Measuring on a time view: two vertical cursors A and B on records, with their times, Δt, 1/Δt
// and every trace's value at each, and a crosshair on the record nearest the pointer. They are
// drawn on a layer of their own, so moving them repaints a few lines, never the traces.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <vector>

class QCPGraph;
class QCPItemStraightLine;
class QCPItemText;
class QCPLayer;
class QCustomPlot;
class QLabel;
class QMouseEvent;
class QTimer;

namespace kivrel::platform
{

class TimeMeasure : public QObject
{
    Q_OBJECT
  public:
    // `cursorLine` shows the cursors' readout, `hoverLine` the crosshair's record.
    TimeMeasure(QCustomPlot *plot, const std::vector<QCPGraph *> &traces, QLabel *cursorLine,
                QLabel *hoverLine);
    ~TimeMeasure() override;

    // The plot's mouse, passed on by its window. press() takes a press on a cursor's line and
    // drags that cursor until release(); a click that moved nothing sets the nearer cursor, once
    // it is clear that it was not the first half of a double click.
    bool press(QMouseEvent *event);
    bool drag(QMouseEvent *event);
    void release(QMouseEvent *event);
    void doubleClicked();
    bool dragging() const { return dragged_ >= 0; }

    void setNearer(double time); // the cursor nearer `time` (A first, then B) to its record
    void step(int records);      // the cursor last set, by whole records
    void clear();                // both cursors off
    bool span(double *from, double *to) const; // both set: their times, earlier first
    int lastSet() const { return last_; }
    double cursor(int which) const; // its time, NaN when it is off

    // The crosshair on the record nearest `pos`; off when `pos` is on no record.
    void hover(const QPoint &pos);
    void hideCrosshair();
    // The view moved or its points changed: a crosshair whose record left the window goes, the
    // readout follows the cursors' records.
    void viewChanged();

  private:
    int nearestRecord(double time) const; // -1 without points
    QString valuesAt(int record) const;
    void place(int which, double time);
    void show(); // readout and the layer repainted

    QCustomPlot *plot_;
    const std::vector<QCPGraph *> &traces_;
    QLabel *cursorLine_, *hoverLine_;
    QCPLayer *layer_;
    QCPItemStraightLine *lines_[2];
    QCPItemText *names_[2];
    QCPItemStraightLine *crossX_, *crossY_;
    double times_[2];
    int last_ = -1;    // the cursor set or moved last
    int dragged_ = -1; // the cursor being dragged
    QPoint pressed_;
    bool pressFree_ = false; // the press took no cursor and may become a click
    bool skipRelease_ = false;
    QTimer *click_;
    double clickTime_ = 0;
    double hovered_; // the crosshair's record's time, NaN when off
};

} // namespace kivrel::platform
