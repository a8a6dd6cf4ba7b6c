#include "windowplace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>

namespace kivrel::platform
{

namespace
{

constexpr int kGap = 8; // between the window and the one it sits beside

QString settingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/kivrel/windows.conf";
}

// `frame` moved and, if need be, shrunk until it lies whole within `screen`.
QRect onScreen(QRect frame, const QRect &screen)
{
    frame.setWidth(std::min(frame.width(), screen.width()));
    frame.setHeight(std::min(frame.height(), screen.height()));
    frame.moveLeft(std::clamp(frame.left(), screen.left(), screen.right() - frame.width() + 1));
    frame.moveTop(std::clamp(frame.top(), screen.top(), screen.bottom() - frame.height() + 1));
    return frame;
}

} // namespace

void placeWindow(QWidget *window, const QString &key, const QWidget *beside)
{
    const QSettings kept(settingsFile(), QSettings::IniFormat);
    const QByteArray geometry = kept.value(key + "/geometry").toByteArray();
    // Qt puts a window back on a screen that still exists, and on screen.
    if (!geometry.isEmpty() && window->restoreGeometry(geometry)) return;

    QScreen *screen = beside ? beside->screen() : window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    QRect frame(QPoint(), window->size());
    if (beside && beside->isVisible()) {
        const QRect panel = beside->frameGeometry();
        frame.moveTop(panel.top());
        if (area.right() - panel.right() - kGap >= frame.width())
            frame.moveLeft(panel.right() + kGap);
        else if (panel.left() - area.left() - kGap >= frame.width())
            frame.moveRight(panel.left() - kGap);
        else
            frame.moveRight(panel.right()); // over the panel's right part
    } else {
        frame.moveCenter(area.center());
    }
    frame = onScreen(frame, area);
    window->resize(frame.size());
    window->move(frame.topLeft());
}

void rememberWindow(const QWidget *window, const QString &key)
{
    QSettings kept(settingsFile(), QSettings::IniFormat);
    kept.setValue(key + "/geometry", window->saveGeometry());
}

} // namespace kivrel::platform
