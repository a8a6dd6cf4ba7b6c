#include "portselector.h"

#include "ports_p.h"

#include <QAbstractItemView>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace kivrel::platform
{
namespace
{

std::vector<PortSelector *> &selectors()
{
    static std::vector<PortSelector *> all;
    return all;
}

// Relabels every port selector after something about the ports changed.
void refreshPortSelectors()
{
    for (PortSelector *s : selectors())
        s->relabel(false); // the open that asks for this has just looked
}

} // namespace

PortSelector::PortSelector(QWidget *parent) : QComboBox(parent)
{
    selectors().push_back(this);
    setPortsChangedHandler(refreshPortSelectors);
}

PortSelector::~PortSelector()
{
    auto &all = selectors();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void PortSelector::relabel(bool look)
{
    if (look) refreshPorts();
    int widest = width();
    for (int i = 0; i < count(); ++i) {
        const int n = itemData(i).toInt();
        const QString text = QStringLiteral("COM%1  %2").arg(n).arg(comDescription(n));
        if (itemText(i) != text) setItemText(i, text);
        widest = std::max(widest, fontMetrics().horizontalAdvance(text) + 40);
    }
    // The list may be wider than the closed selector, so whole names show.
    view()->setMinimumWidth(widest);
}

// Every time the operator opens the list: an adapter plugged in since shows up.
void PortSelector::showPopup()
{
    relabel(true);
    QComboBox::showPopup();
}

} // namespace kivrel::platform
