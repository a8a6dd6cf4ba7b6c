// The file dialog behind FileSelectPopup and StartFileSelectPopup, for the platform's own
// windows; the logic never sees this header.
#pragma once

#include <QString>

#include <functional>

namespace kivrel::platform
{

// FileSelectPopup's arguments.
struct FileSelectSettings {
    QString directory, fileName;
    QString fileTypes; // "*.png;*.pdf"
    QString title;
    int buttonLabel = 0; // 1 (Save) asks before replacing a file and proposes a free name
    bool restrictDirectory = false, restrictExtension = false;
    bool allowCancel = true, allowMakeDirectory = true;
};

// Opens the dialog and returns at once; whatever runs behind it goes on. `done` gets
// FileSelectPopup's result code and the chosen path once the operator has answered (at once,
// cancelled, while the program is being ended), and is never called for a dialog that goes
// unanswered with its window.
void askForFile(const FileSelectSettings &settings,
                std::function<void(int result, const QString &path)> done);

} // namespace kivrel::platform
