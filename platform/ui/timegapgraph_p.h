// Drawing a time view's trace with its line broken at the gaps (timegaps.h).
#pragma once

#include "timegaps.h"

#include <qcustomplot.h>

#include <deque>

namespace kivrel::platform
{

// A trace whose line breaks at `gaps`, which the window keeps as its points come; QCustomPlot
// breaks a line at a point without a value.
class GapGraph : public QCPGraph
{
  public:
    GapGraph(QCPAxis *keyAxis, QCPAxis *valueAxis, const std::deque<TimeGap> &gaps)
        : QCPGraph(keyAxis, valueAxis), gaps_(gaps)
    {
    }

  protected:
    void getOptimizedLineData(QVector<QCPGraphData> *lineData,
                              const QCPGraphDataContainer::const_iterator &begin,
                              const QCPGraphDataContainer::const_iterator &end) const override;

  private:
    void appendPart(QVector<QCPGraphData> *lineData,
                    const QCPGraphDataContainer::const_iterator &from,
                    const QCPGraphDataContainer::const_iterator &to) const;

    const std::deque<TimeGap> &gaps_;
};

} // namespace kivrel::platform
