// kivrel-sim: the edge sensor on a virtual serial line, for learning the tool without
// hardware, for end-to-end tests and for benchmarks.
#include "line.h"
#include "model.h"
#include "options.h"
#include "params.h"
#include "protocol.h"
#include "server.h"

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

using namespace kivrel::sim;

namespace
{

volatile std::sig_atomic_t g_wakeFd = -1;

void onSignal(int)
{
    const char c = 1;
    if (g_wakeFd >= 0) [[maybe_unused]]
        auto r = ::write(g_wakeFd, &c, 1);
}

int fail(const std::string &message)
{
    std::fprintf(stderr, "kivrel-sim: %s\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    std::string error;
    switch (parseOptions(argc, argv, options, error)) {
    case ParseResult::Help: std::fputs(helpText().c_str(), stdout); return 0;
    case ParseResult::Error: return fail(error);
    case ParseResult::Run: break;
    }

    ParamBytes eeprom = factoryDefaults();
    std::unique_ptr<EepromFile> file;
    if (!options.eeprom.empty()) {
        file = std::make_unique<EepromFile>(options.eeprom);
        if (auto stored = file->load(error))
            eeprom = *stored;
        else if (!error.empty())
            return fail(error);
    }

    Port port;
    const bool opened = options.listen >= 0      ? port.openListen(options.listen, error)
                        : options.device.empty() ? port.openPty(options.link, error)
                                                 : port.openDevice(options.device, error);
    if (!opened) return fail(error);

    Model model(options.target);
    Engine engine(model, options.faults, file.get(), eeprom, options.target.seed);
    ServerConfig config;
    config.fast = options.fast;
    config.extraDelayMs = options.faults.delaySec * 1000.0;
    config.delayOrder = options.faults.order;
    config.verbose = options.verbose;
    Server server(port, engine, config);

    // Byte pacing wants wake-ups close to the asked time, not up to 50 us later.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    g_wakeFd = server.wakeFd();
    struct sigaction sa {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Scripts wait for this line, so it goes out before anything else.
    std::printf("%s\n", port.path().c_str());
    std::fflush(stdout);

    StopReason reason = StopReason::Stopped;
    if (!port.isListening()) {
        reason = server.run();
    } else {
        // One client after the other; the sensor keeps its memories between them.
        while (port.acceptClient(server.stopFd(), error)) {
            reason = server.run();
            if (reason != StopReason::LineError) break;
            if (options.verbose) std::fprintf(stderr, "kivrel-sim: the client left\n");
            port.dropClient();
            server.lineChanged();
            reason = StopReason::Stopped;
        }
        if (!error.empty()) return fail(error);
    }
    g_wakeFd = -1;

    if (options.stats) {
        const TurnaroundStats s = server.turnaround();
        std::fprintf(stderr,
                     "kivrel-sim: turnaround over %zu replies: median %.0f us, max %.0f us "
                     "(beyond the simulated wire time)\n",
                     s.count, s.medianUs, s.maxUs);
        // The target kept moving while the line was quiet; count it up to now.
        model.advanceTo(server.nowMs());
        std::fprintf(stderr, "%s\n", passCountLine(model.passCount()).c_str());
        std::fflush(stderr);
    }
    port.close();
    switch (reason) {
    case StopReason::HungUp:
        std::fprintf(stderr, "kivrel-sim: line dropped after %llu telegrams, as asked\n",
                     static_cast<unsigned long long>(engine.telegrams()));
        return 0;
    case StopReason::LineError: return fail(server.error());
    case StopReason::Stopped: break;
    }
    return 0;
}
