// The application object of the panel program.
#include "runtime_p.h"
#include "userint.h"

#include "rs232.h"

#include <QApplication>
#include <QDialog>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace kivrel::platform
{
namespace
{

struct Runtime {
    std::unique_ptr<QApplication> app;
    const CviNameTable *names = nullptr;
    std::vector<std::function<int()>> closers;     // onTerminationRequest's
    std::vector<std::function<void()>> discarders; // onRuntimeClose's
    // Reached only when the process ends without CloseCVIRTE, from exit() (Qt's own when the
    // display goes away): Qt's globals are half gone then, and the application object cannot
    // be taken down any more. The system takes its memory.
    ~Runtime() { (void)app.release(); }
};

Runtime &rt()
{
    static Runtime r;
    return r;
}

} // namespace

const void *lookupFunction(const QString &name)
{
    const CviNameTable *t = rt().names;
    if (!t || !t->entries) return nullptr;
    const QByteArray key = "_" + name.toLatin1();
    const CviNameEntry *begin = t->entries;
    const CviNameEntry *end = t->entries + t->count;
    const CviNameEntry *it =
        std::lower_bound(begin, end, key, [](const CviNameEntry &e, const QByteArray &k) {
            return std::strcmp(e.name, k.constData()) < 0;
        });
    if (it == end || key != it->name || it->kind != CVI_NAME_FUNCTION) return nullptr;
    return it->address;
}

void onTerminationRequest(std::function<int()> close)
{
    rt().closers.push_back(std::move(close));
}

void onRuntimeClose(std::function<void()> discard)
{
    rt().discarders.push_back(std::move(discard));
}

bool runtimeUp()
{
    return rt().app != nullptr;
}

void closeModalWindows()
{
    // Innermost first; a dialog's own loop returns once control gets back to it.
    while (QWidget *modal = QApplication::activeModalWidget()) {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal) break; // refused to go
    }
}

} // namespace kivrel::platform

using namespace kivrel::platform;

int InitCVIRTE(void *hInstance, const CviNameTable *names, void *)
{
    Runtime &r = rt();
    r.names = names;
    if (r.app) return 1;
    if (QCoreApplication::instance()) return 0; // someone else owns the application object
    static int fallbackArgc = 1;
    static char fallbackName[] = "kivrel";
    static char *fallbackArgv[] = {fallbackName, nullptr};
    auto *inst = static_cast<CviInstance *>(hInstance);
    int &argc = inst && inst->argc ? *inst->argc : fallbackArgc;
    char **argv = inst && inst->argv ? inst->argv : fallbackArgv;
    r.app = std::make_unique<QApplication>(argc, argv);
    // The program ends when its panel callback asks, never because a window closed.
    QApplication::setQuitOnLastWindowClosed(false);
    startEventLoop();
    // A termination request is answered like the operator closing the window: a popup or file
    // dialog would hold the close behind it (TIMEOUT at start-up with no sensor), so they are
    // answered as the operator would, and every one the ending program still opens at once;
    // then the panels get their close event and the program ends its own way, port closed and
    // exit status 0.
    setTerminationHandler([] {
        closeModalWindows();
        int asked = 0;
        for (const auto &close : rt().closers)
            asked += close();
        if (asked == 0) QuitUserInterface(0); // no window to ask: leave the event loop directly
    });
    // The panel's status line keeps its short text; what a port reports, a failure with the
    // system's own reason above all, goes to stderr.
    SetComReportHandler([](int port, const char *device, int, const char *text) {
        if (device && *device)
            std::fprintf(stderr, "kivrel: COM%d (%s): %s\n", port, device, text);
        else
            std::fprintf(stderr, "kivrel: COM%d: %s\n", port, text);
        std::fflush(stderr);
    });
    return 1;
}

void CloseCVIRTE(void)
{
    Runtime &r = rt();
    for (const auto &discard : r.discarders)
        discard();
    stopEventLoop();
    r.app.reset();
    r.names = nullptr;
}
