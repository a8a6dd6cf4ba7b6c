#include "graveyard.h"

#include <QCoreApplication>
#include <QTimer>

namespace kivrel::platform
{

void Graveyard::discard(QWidget *window)
{
    window->hide();
    if (!busy_()) {
        delete window;
        return;
    }
    dead_.emplace_back(window);
    if (!pending_) {
        pending_ = true;
        QTimer::singleShot(0, QCoreApplication::instance(), [this] { bury(); });
    }
}

void Graveyard::bury()
{
    if (busy_()) {
        QTimer::singleShot(1, QCoreApplication::instance(), [this] { bury(); });
        return;
    }
    pending_ = false;
    clear();
}

void Graveyard::clear()
{
    // A look that was due goes with the application object that was to deliver it.
    pending_ = false;
    std::vector<QPointer<QWidget>> dead;
    dead.swap(dead_); // a destructor may discard more
    for (const QPointer<QWidget> &w : dead)
        delete w.data();
}

} // namespace kivrel::platform
