// Popups: a message with one OK button and file selection, modal; and file selection that does
// not hold the program while the operator chooses.
#include "popups_p.h"

#include "graveyard.h"
#include "runtime_p.h"
#include "userint.h"
#include "utility.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace kivrel::platform
{
namespace
{

// Decides itself what an accepted name means: the base dialog would ask before overwriting and
// knows nothing of a required extension or directory.
class FileSelectDialog : public QFileDialog
{
  public:
    using QFileDialog::QFileDialog;
    ~FileSelectDialog() override
    {
        if (alive) *alive = false;
    }

    QString requiredSuffix;        // without the dot; empty accepts any
    QString requiredDir;           // empty accepts any
    bool confirmOverwrite = false; // a save dialog asks before it replaces a file
    QString chosen;
    std::shared_ptr<bool> alive; // false once the dialog is gone

    void accept() override
    {
        const QStringList files = selectedFiles();
        if (files.isEmpty()) return;
        QString path = files.first();
        const QFileInfo info(path);
        if (info.isDir()) {
            setDirectory(info.absoluteFilePath());
            return;
        }
        if (info.fileName().isEmpty()) return;
        if (!requiredSuffix.isEmpty()) {
            if (info.suffix().isEmpty())
                path += QLatin1Char('.') + requiredSuffix;
            else if (info.suffix().compare(requiredSuffix, Qt::CaseInsensitive) != 0)
                return; // stays open for another name
        }
        if (!requiredDir.isEmpty() &&
            QFileInfo(path).absolutePath() != QFileInfo(requiredDir).absoluteFilePath())
            return;
        path = QFileInfo(path).absoluteFilePath();
        if (confirmOverwrite && QFileInfo::exists(path)) {
            askToReplace(path);
            return;
        }
        chosen = path;
        QDialog::accept();
    }

  private:
    // Asks without waiting either: Yes takes the name, No leaves the dialog open for another.
    void askToReplace(const QString &path)
    {
        if (terminating()) return;
        if (!question_) {
            question_ = new QMessageBox(QMessageBox::Question, windowTitle(), QString(),
                                        QMessageBox::Yes | QMessageBox::No, this);
            question_->setTextFormat(Qt::PlainText);
            connect(question_, &QDialog::finished, this, [this] {
                if (question_->clickedButton() != question_->button(QMessageBox::Yes)) return;
                chosen = replacing_;
                QDialog::accept();
            });
        }
        replacing_ = path;
        question_->setText(QStringLiteral("%1 already exists.\nDo you want to replace it?")
                               .arg(QFileInfo(path).fileName()));
        question_->setDefaultButton(QMessageBox::No); // replacing is never what Enter does
        question_->open();
    }

    QPointer<QMessageBox> question_;
    QString replacing_;
};

// `name` in `folder`, or, when a file has that name there, the first of name-2.ext, name-3.ext,
// ... that none has.
QString freeName(const QString &folder, const QString &name)
{
    const QDir dir(folder);
    if (name.isEmpty() || !dir.exists(name)) return name;
    const QFileInfo info(name);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    for (int i = 2; i < 10000; ++i) {
        const QString candidate = QStringLiteral("%1-%2%3").arg(base).arg(i).arg(suffix);
        if (!dir.exists(candidate)) return candidate;
    }
    return name;
}

constexpr int kSaveButton = 1;

// The window a popup belongs to: the one in front, unless it is already going (a dialog just
// answered is hidden and then deleted, and would take the popup with it).
QWidget *popupParent()
{
    QWidget *active = QApplication::activeWindow();
    return active && active->isVisible() ? active : nullptr;
}

QString &lastChosenFolder()
{
    static QString folder;
    return folder;
}

// Where a file dialog starts: the folder asked for when the operator may write there (the
// build tree, a portable copy). An installed program's own folder is /usr/bin: then the folder
// chosen last in this run, or else the documents folder.
QString startFolder(const QString &asked)
{
    const QFileInfo info(asked);
    if (!asked.isEmpty() && info.isDir() && info.isWritable()) return asked;
    if (QFileInfo(lastChosenFolder()).isDir()) return lastChosenFolder();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (QFileInfo(documents).isDir()) return documents;
    return QDir::homePath();
}

QString acceptLabel(int buttonLabel)
{
    switch (buttonLabel) {
    case 1: return QStringLiteral("Save");
    case 2: return QStringLiteral("Select");
    case 3: return QStringLiteral("Load");
    default: return QStringLiteral("OK");
    }
}

FileSelectDialog *makeFileDialog(const FileSelectSettings &s)
{
    const QString dir = startFolder(s.directory);
    const QStringList patterns = s.fileTypes.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    auto *dialog = new FileSelectDialog(popupParent(), s.title, dir);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setOption(QFileDialog::ReadOnly, !s.allowMakeDirectory);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setLabelText(QFileDialog::Accept, acceptLabel(s.buttonLabel));
    QStringList filters;
    if (!patterns.isEmpty()) filters << patterns.join(QLatin1Char(' '));
    if (!s.restrictExtension || patterns.isEmpty()) filters << QStringLiteral("All files (*)");
    dialog->setNameFilters(filters);
    if (s.restrictExtension && !patterns.isEmpty()) {
        const QString first = patterns.first().trimmed();
        if (first.startsWith(QLatin1String("*.")) && first.indexOf(QLatin1Char('*'), 1) < 0 &&
            !first.contains(QLatin1Char('?')))
            dialog->requiredSuffix = first.mid(2);
    }
    if (s.restrictDirectory) dialog->requiredDir = dir;
    if (!s.allowCancel) {
        if (auto *buttons = dialog->findChild<QDialogButtonBox *>())
            if (QPushButton *cancel = buttons->button(QDialogButtonBox::Cancel)) cancel->hide();
    }
    // A save dialog asks before it replaces a file, and never proposes one that exists: two
    // windows recording in the same second must not pick one file by default.
    dialog->confirmOverwrite = s.buttonLabel == kSaveButton;
    QString proposed = s.fileName;
    if (dialog->confirmOverwrite) proposed = freeName(dir, proposed);
    if (!proposed.isEmpty()) dialog->selectFile(proposed);
    return dialog;
}

// The dialog's answer as FileSelectPopup returns it, and the chosen path.
int answerOf(const FileSelectDialog &dialog, bool accepted, QString *path)
{
    if (!accepted || dialog.chosen.isEmpty()) return VAL_NO_FILE_SELECTED;
    lastChosenFolder() = QFileInfo(dialog.chosen).absolutePath();
    *path = dialog.chosen;
    return QFileInfo(dialog.chosen).isFile() ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}

// The path for the logic, in its fixed buffer: the result, or UIE_PATH_TOO_LONG.
int toPathOut(int result, const QString &path, char pathOut[])
{
    if (result <= 0) return result;
    const QByteArray bytes = QDir::toNativeSeparators(path).toLocal8Bit();
    if (bytes.size() >= MAX_PATHNAME_LEN) return UIE_PATH_TOO_LONG;
    std::memcpy(pathOut, bytes.constData(), size_t(bytes.size()) + 1);
    return result;
}

FileSelectSettings settingsOf(const char *defaultDirectory, const char *defaultFileName,
                              const char *fileTypeList, const char *title, int buttonLabel,
                              int restrictDirectory, int restrictExtension, int allowCancel,
                              int allowMakeDirectory)
{
    auto text = [](const char *s) { return QString::fromLocal8Bit(s ? s : ""); };
    return {text(defaultDirectory),
            text(defaultFileName),
            text(fileTypeList),
            text(title),
            buttonLabel,
            restrictDirectory != 0,
            restrictExtension != 0,
            allowCancel != 0,
            allowMakeDirectory != 0};
}

// The dialogs that do not wait: open ones, and answered ones until nothing runs on them.
struct Dialogs;
Dialogs &dialogs();
void discardAllDialogs();

struct Dialogs {
    Dialogs() { onRuntimeClose(discardAllDialogs); }
    std::vector<QPointer<FileSelectDialog>> open;
    int busy = 0; // answers being handed on
    Graveyard graveyard{[] { return dialogs().busy > 0; }};
};

Dialogs &dialogs()
{
    static Dialogs d;
    return d;
}

void discardAllDialogs()
{
    Dialogs &d = dialogs();
    std::vector<QPointer<FileSelectDialog>> open;
    open.swap(d.open);
    for (const QPointer<FileSelectDialog> &dialog : open)
        delete dialog.data(); // unanswered: nothing is called
    d.graveyard.clear();
}

} // namespace

void askForFile(const FileSelectSettings &settings,
                std::function<void(int result, const QString &path)> done)
{
    if (terminating()) {
        done(VAL_NO_FILE_SELECTED, QString());
        return;
    }
    Dialogs &d = dialogs();
    FileSelectDialog *dialog = makeFileDialog(settings);
    dialog->alive = std::make_shared<bool>(true);
    std::erase_if(d.open, [](const QPointer<FileSelectDialog> &p) { return p.isNull(); });
    d.open.emplace_back(dialog);
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [dialog, alive = dialog->alive, done = std::move(done)](int code) {
                         if (!*alive) return; // going with its window
                         *alive = false;      // one answer
                         QString path;
                         const int result = answerOf(*dialog, code == QDialog::Accepted, &path);
                         Dialogs &d = dialogs();
                         ++d.busy;
                         done(result, path);
                         std::erase(d.open, QPointer<FileSelectDialog>(dialog));
                         d.graveyard.discard(dialog);
                         --d.busy;
                     });
    dialog->open();
}

} // namespace kivrel::platform

using namespace kivrel::platform;

int MessagePopup(const char *title, const char *message)
{
    if (!runtimeUp()) return UIE_NOT_INITIALISED;
    if (terminating()) return 0;
    // For whoever watches the program from outside (tests, support): which popup is up.
    if (qEnvironmentVariableIsSet("KIVREL_TRACE_POPUPS")) {
        std::fprintf(stderr, "kivrel: popup %s\n", title ? title : "");
        std::fflush(stderr);
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromLocal8Bit(title ? title : ""),
                    QString::fromLocal8Bit(message ? message : ""), QMessageBox::Ok, popupParent());
    // Messages are laid out with blanks and line breaks; rich text would eat them.
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return 0;
}

int FileSelectPopup(const char *defaultDirectory, const char *defaultFileName,
                    const char *fileTypeList, const char *title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char pathOut[])
{
    if (!runtimeUp()) return UIE_NOT_INITIALISED;
    if (!pathOut) return UIE_INVALID_ARGUMENT;
    if (terminating()) return VAL_NO_FILE_SELECTED;
    const std::unique_ptr<FileSelectDialog> dialog(makeFileDialog(
        settingsOf(defaultDirectory, defaultFileName, fileTypeList, title, buttonLabel,
                   restrictDirectory, restrictExtension, allowCancel, allowMakeDirectory)));
    const bool accepted = dialog->exec() == QDialog::Accepted;
    QString path;
    const int result = answerOf(*dialog, accepted, &path);
    return toPathOut(result, path, pathOut); // written only when a file was chosen
}

int StartFileSelectPopup(const char *defaultDirectory, const char *defaultFileName,
                         const char *fileTypeList, const char *title, int buttonLabel,
                         int restrictDirectory, int restrictExtension, int allowCancel,
                         int allowMakeDirectory, FileSelectCallbackPtr callback, void *callbackData)
{
    if (!runtimeUp()) return UIE_NOT_INITIALISED;
    if (!callback) return UIE_INVALID_ARGUMENT;
    askForFile(settingsOf(defaultDirectory, defaultFileName, fileTypeList, title, buttonLabel,
                          restrictDirectory, restrictExtension, allowCancel, allowMakeDirectory),
               [callback, callbackData](int result, const QString &path) {
                   char chosen[MAX_PATHNAME_LEN] = "";
                   result = toPathOut(result, path, chosen);
                   callback(result, chosen, callbackData);
               });
    return 0;
}
