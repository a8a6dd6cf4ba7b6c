// A time view's trace drawn with its line broken at the gaps: a point without a value between
// the parts, each part sampled as QCustomPlot samples a whole line.
#include "timegapgraph_p.h"

#include <algorithm>
#include <cmath>

namespace kivrel::platform
{

void GapGraph::getOptimizedLineData(QVector<QCPGraphData> *lineData,
                                    const QCPGraphDataContainer::const_iterator &begin,
                                    const QCPGraphDataContainer::const_iterator &end) const
{
    auto gap = begin == end
                   ? gaps_.end()
                   : std::upper_bound(gaps_.begin(), gaps_.end(), begin->key,
                                      [](double key, const TimeGap &g) { return key < g.to; });
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

// The line of the points from `from` to `to`. Zoomed out, QCustomPlot samples them a pixel at a
// time, and its samples may begin with points before `from`: those lie across the gap before
// it, and are left out.
void GapGraph::appendPart(QVector<QCPGraphData> *lineData,
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

} // namespace kivrel::platform
