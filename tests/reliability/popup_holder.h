// Keeps each message box open for a while, the way an operator reading it would, and runs an
// action while it is open; then presses OK. Records what each box showed and when.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <vector>

namespace kivrel::test
{

class PopupHolder
{
  public:
    using Clock = std::chrono::steady_clock;
    struct Held {
        QString title, text;
        Clock::time_point opened, closed;
    };

    // Holds every box for `holdMs`; runs `whileOpen` once per box `actionAfterMs` after it
    // opened.
    explicit PopupHolder(int holdMs, std::function<void()> whileOpen = {}, int actionAfterMs = 0)
        : holdMs_(holdMs), actionAfterMs_(actionAfterMs), whileOpen_(std::move(whileOpen))
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start();
    }
    PopupHolder(const PopupHolder &) = delete;
    PopupHolder &operator=(const PopupHolder &) = delete;

    const std::vector<Held> &held() const { return held_; }

  private:
    static int msSince(Clock::time_point t)
    {
        return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
    }

    void tick()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->isVisible() && box != current_) {
            current_ = box;
            acted_ = false;
            held_.push_back({box->windowTitle(), box->text(), Clock::now(), {}});
            return;
        }
        if (!current_ || !current_->isVisible()) return;
        const int open = msSince(held_.back().opened);
        if (whileOpen_ && !acted_ && open >= actionAfterMs_) {
            acted_ = true;
            whileOpen_();
        }
        if (open >= holdMs_) {
            held_.back().closed = Clock::now();
            QMessageBox *closing = current_;
            current_ = nullptr;
            if (QAbstractButton *ok = closing->buttons().value(0))
                ok->click();
            else
                closing->reject();
        }
    }

    int holdMs_;
    int actionAfterMs_;
    std::function<void()> whileOpen_;
    QTimer timer_;
    QPointer<QMessageBox> current_;
    bool acted_ = false;
    std::vector<Held> held_;
};

} // namespace kivrel::test
