#include "popup_helper.h"

#include "loop.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

PopupRecorder::PopupRecorder()
{
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start();
}

PopupRecorder::~PopupRecorder()
{
    timer_.stop();
}

void PopupRecorder::answerFileDialog(const QString &path, int holdMs)
{
    answers_.push_back({path, holdMs});
}

void PopupRecorder::cancelFileDialog()
{
    answers_.push_back({std::nullopt, 0});
}

bool PopupRecorder::fileDialogOpen() const
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QFileDialog *>(w)) return true;
    return accepting_;
}

bool PopupRecorder::waitForDialogs(double seconds)
{
    return kivrel::test::spinUntil([this] { return !fileDialogOpen(); }, seconds);
}

void PopupRecorder::answerMessage(const QString &button)
{
    messageAnswers_.push_back(button);
}

int PopupRecorder::countOf(const QString &title, const QString &text) const
{
    int n = 0;
    for (const RecordedPopup &p : popups_)
        n += p.title == title && p.text == text;
    return n;
}

void PopupRecorder::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        RecordedPopup p;
        p.kind = RecordedPopup::Kind::Message;
        p.title = box->windowTitle();
        p.text = box->text();
        for (QAbstractButton *b : box->buttons())
            p.buttons << b->text().remove(QLatin1Char('&'));
        popups_.push_back(p);
        if (!messageAnswers_.empty()) {
            const QString wanted = messageAnswers_.front();
            messageAnswers_.pop_front();
            for (QAbstractButton *b : box->buttons())
                if (b->text().remove(QLatin1Char('&')) == wanted) {
                    b->click();
                    return;
                }
        }
        QAbstractButton *ok = box->defaultButton();
        if (!ok && !box->buttons().isEmpty()) ok = box->buttons().first();
        if (ok)
            ok->click();
        else
            box->reject();
        return;
    }
    if (qobject_cast<QFileDialog *>(modal)) {
        if (!accepting_) handleFileDialog(modal);
        return;
    }
    RecordedPopup p;
    p.title = modal->windowTitle();
    popups_.push_back(p);
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}

void PopupRecorder::handleFileDialog(QWidget *widget)
{
    auto *dialog = static_cast<QFileDialog *>(widget);
    if (lastFileDialog_ != widget) {
        lastFileDialog_ = widget;
        fileDialogOpen_.start();
        RecordedPopup p;
        p.kind = RecordedPopup::Kind::FileDialog;
        p.title = dialog->windowTitle();
        p.directory = dialog->directory().absolutePath();
        if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            p.text = edit->text();
        p.acceptLabel = dialog->labelText(QFileDialog::Accept);
        p.nameFilters = dialog->nameFilters();
        popups_.push_back(p);
    }
    if (answers_.empty()) {
        dialog->reject();
        return;
    }
    if (fileDialogOpen_.elapsed() < answers_.front().second) return;
    const std::optional<QString> answer = answers_.front().first;
    answers_.pop_front();
    if (!answer) {
        dialog->reject();
        return;
    }
    dialog->selectFile(*answer);
    // selectFile() leaves the name field alone while it has focus (a second answer to the
    // same dialog); the typed name is what the dialog accepts.
    if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        edit->setText(*answer);
    // accept() is protected in QFileDialog; the slot call still reaches any override. It runs
    // outside this timer's own event, so a message box it opens (a question before replacing a
    // file) is answered by the next ticks like any other.
    accepting_ = true;
    QTimer::singleShot(0, &timer_, [this, target = QPointer<QFileDialog>(dialog)] {
        if (target) QMetaObject::invokeMethod(target, "accept", Qt::DirectConnection);
        accepting_ = false;
    });
}
