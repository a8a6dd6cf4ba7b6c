// Graph controls on QCustomPlot (being written).
#include "ui_graph.h"

#include "userint.h"

namespace kivrel::platform {

struct GraphControl::Private {
    Kind kind = Kind::Graph;
};

GraphControl::GraphControl(QWidget *parent) : QCustomPlot(parent), d(std::make_unique<Private>())
{
}
GraphControl::~GraphControl() = default;
void GraphControl::setup() {}
GraphControl::Kind GraphControl::kind() const { return d->kind; }
int GraphControl::plotY(const void *, int, int, int, int, int, int, int) { return UIE_INVALID_ARGUMENT; }
int GraphControl::deletePlot(int, int) { return 0; }
int GraphControl::plotStripChart(const void *, int, int, int, int) { return UIE_INVALID_ARGUMENT; }
int GraphControl::setPointsPerScreen(int) { return 0; }
int GraphControl::pointsPerScreen() const { return 0; }
int GraphControl::setTraceVisible(int, bool) { return 0; }
bool GraphControl::traceVisible(int) const { return false; }
int GraphControl::traceCount() const { return 0; }
int GraphControl::tracePointCount(int) const { return 0; }
int GraphControl::plotCount() const { return 0; }

} // namespace kivrel::platform
