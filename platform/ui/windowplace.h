// Where a tool window opens: where the operator left it last time, kept in the user's config
// folder, or else beside the window it belongs to where the screen has room, and over that
// window's right part where it has none. Always whole on one screen.
#pragma once

#include <QString>

class QWidget;

namespace kivrel::platform
{

void placeWindow(QWidget *window, const QString &key, const QWidget *beside);
void rememberWindow(const QWidget *window, const QString &key);

} // namespace kivrel::platform
