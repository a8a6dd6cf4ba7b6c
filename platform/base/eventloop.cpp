// The event loop.
//
// The logic waits by spinning: ProcessSystemEvents, then GetInQLen and Timer, again and again.
// Qt's processEvents() never blocks unless asked to wait for more events, and then it would
// sleep until the next event with no upper bound. A one-shot precise timer armed before each
// wait bounds that sleep, so a spin costs a wake-up per tick instead of a busy core, while a
// serial byte (the port's socket notifier) or a click still wakes it at once. The tick only
// decides how late a spinning wait notices that its time is up.
#include "eventloop.h"
#include "eventloop_p.h"
#include "utility.h"

#include <QAbstractEventDispatcher>
#include <QBasicTimer>
#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QTimerEvent>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <csignal>
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
    // A tick at most `ms` from now: the running one stands unless it would come later.
    void arm(int ms = kTickMs)
    {
        using clock = std::chrono::steady_clock;
        const auto due = clock::now() + std::chrono::milliseconds(ms);
        if (timer_.isActive() && due_ <= due) return;
        due_ = due;
        timer_.start(ms, Qt::PreciseTimer, this);
    }

  protected:
    void timerEvent(QTimerEvent *event) override
    {
        if (event->timerId() == timer_.timerId()) timer_.stop();
    }

  private:
    QBasicTimer timer_;
    std::chrono::steady_clock::time_point due_;
};

#ifdef Q_OS_UNIX
// A termination request (SIGTERM, SIGINT, SIGHUP) is answered from the event loop, never inside
// the signal: the handler only writes to a socket the loop watches, so no telegram is cut in
// half. It also restores the default action, so a second request ends a program that does not
// react.
const int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};
int signalSockets[2] = {-1, -1};

extern "C" void onTerminationSignal(int sig)
{
    const char c = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(signalSockets[1], &c, 1);
    std::signal(sig, SIG_DFL);
}

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

struct EventLoop {
    std::unique_ptr<Ticker> ticker;
    std::unique_ptr<QSocketNotifier> signalNotifier;
    std::function<void()> onTermination;
    std::unique_ptr<QCoreApplication> consoleApp; // the command line's own application object
    double spinDeadline = -1.0;                   // SetSpinDeadline's, on the Timer() clock
    bool lastDidWork = false;                     // the last ProcessSystemEvents ran an event
    bool quitRequested = false;
    bool terminating = false;
    // As the application object: past exit() nothing of Qt is taken down here.
    ~EventLoop()
    {
        (void)ticker.release();
        (void)signalNotifier.release();
        (void)consoleApp.release();
    }
    // KIVREL_BUSY_SPIN=1: waits spin without the tick, the baseline the benchmarks compare
    // the tick with. Never set in use.
    bool busySpin = false;
};

EventLoop &loop()
{
    static EventLoop l;
    return l;
}

void watchTerminationSignals(EventLoop &l)
{
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) return;
    l.signalNotifier = std::make_unique<QSocketNotifier>(signalSockets[0], QSocketNotifier::Read);
    QObject::connect(l.signalNotifier.get(), &QSocketNotifier::activated, [] {
        char c = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalSockets[0], &c, 1);
        loop().terminating = true;
        if (loop().onTermination) loop().onTermination();
    });
    installTerminationHandler();
#else
    Q_UNUSED(l);
#endif
}

void unwatchTerminationSignals(EventLoop &l)
{
#ifdef Q_OS_UNIX
    if (!l.signalNotifier) return;
    for (int sig : kTerminationSignals)
        std::signal(sig, SIG_DFL);
    l.signalNotifier.reset();
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
#else
    Q_UNUSED(l);
#endif
}

} // namespace

void startEventLoop()
{
    EventLoop &l = loop();
    // The application object has just taken the whole locale from the environment. Numbers in
    // files, pipes and JSON keep the point under a German desktop as well: the C library's
    // printf and strtod read LC_NUMERIC, and only Qt's own widgets should speak the user's
    // locale.
    std::setlocale(LC_NUMERIC, "C");
    l.ticker = std::make_unique<Ticker>();
#ifdef Q_OS_LINUX
    // Sleep(50) and the tick end when asked, not up to the default 50 us of slack later: each
    // polling cycle has one of each on its path.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    l.busySpin = qEnvironmentVariableIntValue("KIVREL_BUSY_SPIN") == 1;
    watchTerminationSignals(l);
}

void stopEventLoop()
{
    EventLoop &l = loop();
    unwatchTerminationSignals(l);
    l.ticker.reset();
    l.onTermination = nullptr;
    l.terminating = false;
    l.quitRequested = false;
}

void setTerminationHandler(std::function<void()> handler)
{
    loop().onTermination = std::move(handler);
}

bool terminating()
{
    return loop().terminating;
}

void answerTerminationAgain()
{
    loop().terminating = false;
    if (loop().signalNotifier) installTerminationHandler();
}

} // namespace kivrel::platform

using namespace kivrel::platform;

int RunUserInterface(void)
{
    EventLoop &l = loop();
    if (!QCoreApplication::instance()) return -10; // UIE_NOT_INITIALISED
    // Testing the flag only between dispatches is what lets a callback that called
    // QuitUserInterface (perhaps nested deep in a wait) run to its end first. A request made
    // before the loop started (a close during start-up) ends it at once.
    while (!l.quitRequested)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    l.quitRequested = false;
    return 0;
}

int QuitUserInterface(int)
{
    loop().quitRequested = true;
    if (auto *d = QAbstractEventDispatcher::instance()) d->wakeUp();
    return 0;
}

int ProcessSystemEvents(void)
{
    EventLoop &l = loop();
    if (!QCoreApplication::instance() || !l.ticker) return -10; // UIE_NOT_INITIALISED
    if (l.busySpin) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return 0;
    }
    using clock = std::chrono::steady_clock;
    static clock::time_point lastReturn;
    QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents;
    if (clock::now() - lastReturn < kSpinGap) {
        // A wait that said when it ends needs waking only then, or by an event (a byte, a
        // click, a signal); any other spin gets the tick.
        int ms = kTickMs;
        const double left = l.spinDeadline - Timer();
        if (left > 0) ms = static_cast<int>(std::min(left * 1000.0, 60000.0)) + 1;
        l.ticker->arm(ms);
        flags |= QEventLoop::WaitForMoreEvents;
    }
    QCoreApplication::processEvents(flags);
    lastReturn = clock::now();
    return 0;
}

void SetSpinDeadline(double deadline)
{
    loop().spinDeadline = deadline;
}

int PostDeferredCall(DeferredCallbackPtr callback, void *callbackData)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || !callback) return -10; // UIE_NOT_INITIALISED
    // A posted event: one ProcessSystemEvents runs the calls posted before it, never one that a
    // call posts meanwhile, so a chain of steps takes a step a turn.
    QMetaObject::invokeMethod(
        app, [callback, callbackData] { callback(callbackData); }, Qt::QueuedConnection);
    return 0;
}

int InitConsoleRuntime(int *argc, char *argv[])
{
    EventLoop &l = loop();
    if (QCoreApplication::instance()) return 0;
    static int fallbackArgc = 1;
    static char fallbackName[] = "kivrel-cli";
    static char *fallbackArgv[] = {fallbackName, nullptr};
    l.consoleApp =
        std::make_unique<QCoreApplication>(argc ? *argc : fallbackArgc, argc ? argv : fallbackArgv);
#ifdef Q_OS_UNIX
    std::signal(SIGPIPE, SIG_IGN); // a closed stdout is a failed write, answered quietly
#endif
    startEventLoop();
    return 1;
}

void CloseConsoleRuntime(void)
{
    EventLoop &l = loop();
    if (!l.consoleApp) return;
    stopEventLoop();
    l.consoleApp.reset();
}

int TerminationRequested(void)
{
    return loop().terminating ? 1 : 0;
}

void SetTerminationCallback(DeferredCallbackPtr callback, void *callbackData)
{
    if (!callback) {
        setTerminationHandler(nullptr);
        return;
    }
    setTerminationHandler([callback, callbackData] { callback(callbackData); });
}
