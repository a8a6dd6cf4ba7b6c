// Closes the real modal popups a test provokes and records what they showed.
//
// While a PopupRecorder lives, a 5 ms timer (started by the constructor, running inside any
// event loop, including a popup's own exec()) looks at QApplication::activeModalWidget():
//   - a QMessageBox is recorded (title, text, button texts) and closed with the button queued
//     by answerMessage(), else its default button, else its first;
//   - a QFileDialog is recorded once (title, directory, proposed name, accept label, name
//     filters) and answered from the queue filled by answerFileDialog()/cancelFileDialog(), one
//     answer per tick (after its hold, if it has one): a path is selected and accepted, a
//     cancel rejects. If the dialog refuses a name it stays open and the next queued answer is
//     used; with the queue empty it is cancelled, so a test never hangs on it. A dialog that
//     does not wait (StartFileSelectPopup) is answered the same way: see waitForDialogs();
//   - any other modal dialog is recorded with its title and rejected.
//
//   PopupRecorder popups;
//   popups.answerFileDialog("/tmp/x/run.dat");
//   int r = FileSelectPopup(...);             // returns once the recorder has answered
//   EXPECT_EQ(popups.count(), 1);
//   EXPECT_EQ(popups.popups()[0].title, "Save parameters");
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <optional>
#include <vector>

class QWidget;

struct RecordedPopup {
    enum class Kind { Message, FileDialog, Other };
    Kind kind = Kind::Other;
    QString title;
    QString text;            // message text; for a file dialog the proposed file name
    QStringList buttons;     // button texts of a message box
    QString directory;       // file dialog: the directory it opened in
    QString acceptLabel;     // file dialog: text of its accept button
    QStringList nameFilters; // file dialog
};

class PopupRecorder
{
  public:
    PopupRecorder();
    ~PopupRecorder();
    PopupRecorder(const PopupRecorder &) = delete;
    PopupRecorder &operator=(const PopupRecorder &) = delete;

    // Queues the answer to the next file dialog: select `path` (absolute, or relative to the
    // dialog's directory) and accept, `holdMs` after the dialog opened.
    void answerFileDialog(const QString &path, int holdMs = 0);
    // Queues a cancel for the next file dialog.
    void cancelFileDialog();
    // A file dialog is open, or answered and not yet gone (only then is the window behind it
    // active again); waitForDialogs() spins the event loop until none is, false after `seconds`.
    bool fileDialogOpen() const;
    bool waitForDialogs(double seconds = 10.0);
    // Queues the button ("Yes", "No") that answers the next message box.
    void answerMessage(const QString &button);

    const std::vector<RecordedPopup> &popups() const { return popups_; }
    int count() const { return int(popups_.size()); }
    // How many recorded popups showed this title and text.
    int countOf(const QString &title, const QString &text) const;
    void clear() { popups_.clear(); }

  private:
    void poll();
    void handleFileDialog(QWidget *dialog);

    QTimer timer_;
    std::deque<std::pair<std::optional<QString>, int>> answers_; // path (none: cancel), hold
    std::deque<QString> messageAnswers_;
    std::vector<RecordedPopup> popups_;
    QPointer<QWidget> lastFileDialog_;
    QElapsedTimer fileDialogOpen_; // since lastFileDialog_ opened
    bool accepting_ = false;       // a file dialog's accept() is under way
};
