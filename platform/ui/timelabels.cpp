// Label layout of a time view's markers: rows from the top of the plot, each label beside its
// line, laid out afresh at every draw since a picture or a page has another size than the window.
#include "timelabels_p.h"

#include <qcustomplot.h>

#include <QFontMetrics>

#include <algorithm>
#include <iterator>
#include <limits>

namespace kivrel::platform
{

namespace
{

// Transfer labels stack in this many rows; one that finds no room in any is left out (its line
// and its hover stay), so labels never cover each other.
constexpr int kLabelRows = 4;

class BeforeItems : public QCPLayerable
{
  public:
    BeforeItems(QCustomPlot *plot, std::function<void()> place)
        : QCPLayerable(plot, QStringLiteral("background")), place_(std::move(place))
    {
    }

  protected:
    void applyDefaultAntialiasingHint(QCPPainter *) const override {}
    void draw(QCPPainter *) override { place_(); }

  private:
    std::function<void()> place_;
};

} // namespace

void beforeItemsDrawn(QCustomPlot *plot, std::function<void()> place)
{
    new BeforeItems(plot, std::move(place)); // the plot owns it
}

// Transfer labels beside their lines, in the first row where they cover no other label; near
// the right edge a label turns to the left of its line, so none is cut off.
void placeLabels(QCustomPlot *plot, std::deque<TimeMarker> &markers)
{
    const QRect area = plot->axisRect()->rect();
    if (area.width() <= 0 || area.height() <= 0) return;
    QCPAxis *x = plot->xAxis;
    int rowEnds[kLabelRows];
    std::fill(std::begin(rowEnds), std::end(rowEnds), std::numeric_limits<int>::min());
    for (auto &m : markers) {
        const double at = x->coordToPixel(m.time);
        if (at < area.left() || at > area.right()) {
            m.text->setVisible(false);
            continue;
        }
        const QFontMetrics metrics(m.text->font());
        const int width = metrics.horizontalAdvance(m.label) + 9; // with its padding
        const bool turned = at + width > area.right();
        const int left = turned ? int(at) - width : int(at);
        const int height = metrics.height() + 4;
        // Nor under the legend, which sits in the top right corner.
        auto free = [&](int r) {
            const QRect label(left, area.top() + 2 + r * height, width, height);
            return rowEnds[r] <= left - 4 &&
                   !(plot->legend->visible() && plot->legend->outerRect().intersects(label));
        };
        int row = 0;
        while (row < kLabelRows && !free(row))
            row++;
        m.text->setVisible(row < kLabelRows);
        if (row == kLabelRows) continue;
        rowEnds[row] = std::max(rowEnds[row], left + width);
        m.text->setPositionAlignment((turned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
        m.text->setPadding(turned ? QMargins(3, 1, 6, 1) : QMargins(6, 1, 3, 1)); // off the line
        m.text->position->setCoords(m.time, (2.0 + row * height) / area.height());
    }
}

} // namespace kivrel::platform
