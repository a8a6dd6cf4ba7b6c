// Modal popups: a message with one OK button, and file selection.
#include "runtime_p.h"
#include "userint.h"
#include "utility.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>

namespace
{

// Decides itself what an accepted name means: the base dialog would ask before overwriting and
// knows nothing of a required extension or directory.
class FileSelectDialog : public QFileDialog
{
  public:
    using QFileDialog::QFileDialog;

    QString requiredSuffix;        // without the dot; empty accepts any
    QString requiredDir;           // empty accepts any
    bool confirmOverwrite = false; // a save dialog asks before it replaces a file
    QString chosen;

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
        if (confirmOverwrite && QFileInfo::exists(path) && !mayReplace(path)) return;
        chosen = path;
        QDialog::accept();
    }

  private:
    bool mayReplace(const QString &path)
    {
        if (kivrel::platform::terminating()) return false;
        QMessageBox box(QMessageBox::Question, windowTitle(),
                        QStringLiteral("%1 already exists.\nDo you want to replace it?")
                            .arg(QFileInfo(path).fileName()),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::No); // replacing is never what Enter does by itself
        return box.exec() == QMessageBox::Yes;
    }
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

} // namespace

int MessagePopup(const char *title, const char *message)
{
    if (!kivrel::platform::runtimeUp()) return UIE_NOT_INITIALISED;
    if (kivrel::platform::terminating()) return 0;
    // For whoever watches the program from outside (tests, support): which popup is up.
    if (qEnvironmentVariableIsSet("KIVREL_TRACE_POPUPS")) {
        std::fprintf(stderr, "kivrel: popup %s\n", title ? title : "");
        std::fflush(stderr);
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromLocal8Bit(title ? title : ""),
                    QString::fromLocal8Bit(message ? message : ""), QMessageBox::Ok,
                    QApplication::activeWindow());
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
    if (!kivrel::platform::runtimeUp()) return UIE_NOT_INITIALISED;
    if (!pathOut) return UIE_INVALID_ARGUMENT;
    if (kivrel::platform::terminating()) return VAL_NO_FILE_SELECTED;
    const QString dir =
        startFolder(QString::fromLocal8Bit(defaultDirectory ? defaultDirectory : ""));
    const QStringList patterns = QString::fromLocal8Bit(fileTypeList ? fileTypeList : "")
                                     .split(QLatin1Char(';'), Qt::SkipEmptyParts);

    FileSelectDialog dialog(QApplication::activeWindow(),
                            QString::fromLocal8Bit(title ? title : ""), dir);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::ReadOnly, !allowMakeDirectory);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, acceptLabel(buttonLabel));
    QStringList filters;
    if (!patterns.isEmpty()) filters << patterns.join(QLatin1Char(' '));
    if (!restrictExtension || patterns.isEmpty()) filters << QStringLiteral("All files (*)");
    dialog.setNameFilters(filters);
    if (restrictExtension && !patterns.isEmpty()) {
        const QString first = patterns.first().trimmed();
        if (first.startsWith(QLatin1String("*.")) && first.indexOf(QLatin1Char('*'), 1) < 0 &&
            !first.contains(QLatin1Char('?')))
            dialog.requiredSuffix = first.mid(2);
    }
    if (restrictDirectory) dialog.requiredDir = dir;
    if (!allowCancel) {
        if (auto *buttons = dialog.findChild<QDialogButtonBox *>())
            if (QPushButton *cancel = buttons->button(QDialogButtonBox::Cancel)) cancel->hide();
    }
    // A save dialog asks before it replaces a file, and never proposes one that exists: two
    // windows recording in the same second must not pick one file by default.
    dialog.confirmOverwrite = buttonLabel == kSaveButton;
    QString proposed = QString::fromLocal8Bit(defaultFileName ? defaultFileName : "");
    if (dialog.confirmOverwrite) proposed = freeName(dir, proposed);
    if (!proposed.isEmpty()) dialog.selectFile(proposed);

    if (dialog.exec() != QDialog::Accepted || dialog.chosen.isEmpty()) return VAL_NO_FILE_SELECTED;
    lastChosenFolder() = QFileInfo(dialog.chosen).absolutePath();
    const bool existed = QFileInfo(dialog.chosen).isFile();
    const QByteArray bytes = QDir::toNativeSeparators(dialog.chosen).toLocal8Bit();
    if (bytes.size() >= MAX_PATHNAME_LEN) return UIE_PATH_TOO_LONG;
    std::memcpy(pathOut, bytes.constData(), size_t(bytes.size()) + 1);
    return existed ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}
