// Windows discarded while a callback or a dialog may still run on them: hidden at once and
// deleted once nothing runs any more. deleteLater() is not reliably delivered by the
// processEvents() spins the program waits in, hence a timer that looks again.
#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

namespace kivrel::platform
{

class Graveyard
{
  public:
    // `busy` tells whether a callback or a dialog may still be running on a discarded window.
    explicit Graveyard(std::function<bool()> busy) : busy_(std::move(busy)) {}

    // Hides `window` and deletes it now, or as soon as `busy` says nothing runs.
    void discard(QWidget *window);
    // Deletes every window that still waits, at once.
    void clear();

  private:
    void bury();

    std::function<bool()> busy_;
    std::vector<QPointer<QWidget>> dead_;
    bool pending_ = false;
};

} // namespace kivrel::platform
