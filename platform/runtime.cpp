// The application object and the event loop.
//
// The logic waits by spinning: ProcessSystemEvents, then GetInQLen and Timer, again and again.
// Qt's processEvents() never blocks unless asked to wait for more events, and then it would
// sleep until the next event with no upper bound. A one-shot precise timer armed before each
// wait bounds that sleep, so a spin costs a wake-up per tick instead of a busy core, while a
// serial byte (the port's socket notifier) or a click still wakes it at once. The tick only
// decides how late a spinning wait notices that its time is up.
#include "runtime_p.h"
#include "ui_panel_p.h"
#include "ui_timeview.h"
#include "userint.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QBasicTimer>
#include <QDialog>
#include <QObject>
#include <QSocketNotifier>
#include <QTimerEvent>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace kivrel::platform
{
namespace
{

// Every wake-up of a spinning wait costs 35 to 70 us of CPU on this kind of machine, mostly
// kernel: a 1 ms tick cost about 80 ms per 3-second wait. 16 ms (the granularity Windows timers
// have always had) costs about 12 ms and ends such a wait at most 16 ms late. Bytes and
// clicks wake the loop at once whatever the tick.
constexpr int kTickMs = 16;

// A caller that comes back within this time of the previous return is spinning and may wait
// for the next event; any other call only runs what is pending, so a single call (the polling
// loop's after each record, the first turn of a wait) never sleeps.
constexpr auto kSpinGap = std::chrono::microseconds(300);

// Receives the tick; its only job is to make a waiting dispatcher return.
class Ticker : public QObject
{
  public:
    void arm()
    {
        if (!timer_.isActive()) timer_.start(kTickMs, Qt::PreciseTimer, this);
    }

  protected:
    void timerEvent(QTimerEvent *event) override
    {
        if (event->timerId() == timer_.timerId()) timer_.stop();
    }

  private:
    QBasicTimer timer_;
};

#ifdef Q_OS_UNIX
// A termination request (SIGTERM, SIGINT, SIGHUP) is answered like the operator closing the
// window: the panels' callbacks get their close event and the program ends its own way, port
// closed and exit status 0. The handler only writes to a socket the event loop watches; it
// also restores the default action, so a second request ends a program that does not react.
const int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};
int signalSockets[2] = {-1, -1};

extern "C" void onTerminationSignal(int sig)
{
    const char c = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(signalSockets[1], &c, 1);
    std::signal(sig, SIG_DFL);
}
#endif

#ifdef Q_OS_UNIX
void installTerminationHandler()
{
    struct sigaction action {
    };
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : kTerminationSignals)
        ::sigaction(sig, &action, nullptr);
}
#else
void installTerminationHandler() {}
#endif

struct Runtime {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<Ticker> ticker;
    std::unique_ptr<QSocketNotifier> signalNotifier;
    const CviNameTable *names = nullptr;
    bool quitRequested = false;
    bool terminating = false; // a termination request came: no more modal windows
    // KIVREL_BUSY_SPIN=1: waits spin without the tick, the baseline the benchmarks compare
    // the tick with. Never set in use.
    bool busySpin = false;
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

bool runtimeUp()
{
    return rt().app != nullptr;
}

bool terminating()
{
    return rt().terminating;
}

void answerTerminationAgain()
{
    rt().terminating = false;
    if (rt().signalNotifier) installTerminationHandler();
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

namespace
{

void watchTerminationSignals(Runtime &r)
{
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) return;
    r.signalNotifier = std::make_unique<QSocketNotifier>(signalSockets[0], QSocketNotifier::Read);
    QObject::connect(r.signalNotifier.get(), &QSocketNotifier::activated, [] {
        char c = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalSockets[0], &c, 1);
        // A popup or file dialog would hold the close behind it (TIMEOUT at start-up with no
        // sensor): answer them as the operator would, and every one the ending program still
        // opens at once, then close as before.
        rt().terminating = true;
        closeModalWindows();
        if (closeAllPanels() == 0)
            QuitUserInterface(0); // no panel to ask: leave the event loop directly
    });
    installTerminationHandler();
#else
    Q_UNUSED(r);
#endif
}

void unwatchTerminationSignals(Runtime &r)
{
#ifdef Q_OS_UNIX
    if (!r.signalNotifier) return;
    for (int sig : kTerminationSignals)
        std::signal(sig, SIG_DFL);
    r.signalNotifier.reset();
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
#else
    Q_UNUSED(r);
#endif
}

} // namespace

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
    r.ticker = std::make_unique<Ticker>();
#ifdef Q_OS_LINUX
    // Sleep(50) and the tick end when asked, not up to the default 50 us of slack later: each
    // polling cycle has one of each on its path.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    r.busySpin = qEnvironmentVariableIntValue("KIVREL_BUSY_SPIN") == 1;
    watchTerminationSignals(r);
    return 1;
}

void CloseCVIRTE(void)
{
    Runtime &r = rt();
    discardAllTimeViews();
    unwatchTerminationSignals(r);
    r.ticker.reset();
    r.app.reset();
    r.names = nullptr;
    r.terminating = false;
}

int RunUserInterface(void)
{
    Runtime &r = rt();
    if (!r.app) return UIE_NOT_INITIALISED;
    // Testing the flag only between dispatches is what lets a callback that called
    // QuitUserInterface (perhaps nested deep in a wait) run to its end first. A request made
    // before the loop started (a close during start-up) ends it at once.
    while (!r.quitRequested)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    r.quitRequested = false;
    return 0;
}

int QuitUserInterface(int)
{
    Runtime &r = rt();
    r.quitRequested = true;
    if (auto *d = QAbstractEventDispatcher::instance()) d->wakeUp();
    return 0;
}

int ProcessSystemEvents(void)
{
    Runtime &r = rt();
    if (!r.app) return UIE_NOT_INITIALISED;
    if (r.busySpin) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return 0;
    }
    using clock = std::chrono::steady_clock;
    static clock::time_point lastReturn;
    if (clock::now() - lastReturn < kSpinGap) {
        r.ticker->arm();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    } else {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    lastReturn = clock::now();
    return 0;
}
