// Through a real pseudo-terminal: the main loop in a thread, and the kivrel-sim program
// itself with its command line.
#include "line.h"
#include "options.h"
#include "server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char **environ;

using namespace kivrel::sim;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

namespace
{

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

Bytes telegram(std::uint8_t order)
{
    Bytes t(kTelegramSize, 0);
    t[0] = kSync;
    t[1] = order;
    return t;
}

// The tool's side of the line.
class Client
{
  public:
    explicit Client(const std::string &path)
    {
        if (path.starts_with("tcp://127.0.0.1:")) {
            fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{AF_INET,
                          htons(std::uint16_t(std::stoi(path.substr(16)))),
                          {htonl(INADDR_LOOPBACK)},
                          {}};
            if (::connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) fd_ = -1;
            return;
        }
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd_, TCSANOW, &tio);
    }
    ~Client()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

    void send(const Bytes &b) { ASSERT_EQ(::write(fd_, b.data(), b.size()), ssize_t(b.size())); }

    // Up to n bytes within timeoutMs; arrival times of each byte since t0 if asked.
    Bytes read(std::size_t n, double timeoutMs, Clock::time_point t0 = Clock::now(),
               std::vector<double> *times = nullptr)
    {
        Bytes out;
        const auto start = Clock::now();
        while (out.size() < n) {
            const double left = timeoutMs - msSince(start);
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left) + 1) <= 0) continue;
            if (p.revents & (POLLHUP | POLLERR)) {
                hungUp_ = true;
                break;
            }
            std::uint8_t buf[64];
            const ssize_t got = ::read(fd_, buf, std::min(sizeof buf, n - out.size()));
            if (got <= 0) {
                if (got < 0 && errno == EAGAIN) continue;
                hungUp_ = true;
                break;
            }
            for (ssize_t i = 0; i < got; ++i) {
                out.push_back(buf[i]);
                if (times) times->push_back(msSince(t0));
            }
        }
        return out;
    }
    bool hungUp() const { return hungUp_; }

  private:
    int fd_ = -1;
    bool hungUp_ = false;
};

// Simulator main loop on its own pseudo-terminal in a thread, or serving one TCP client.
struct Running {
    explicit Running(ServerConfig config = {}, Faults faults = {}, const std::string &link = {},
                     bool listen = false)
        : engine(model, faults, nullptr, factoryDefaults())
    {
        std::string error;
        EXPECT_TRUE(listen ? port.openListen(0, error) : port.openPty(link, error)) << error;
        config.extraDelayMs = faults.delaySec * 1000.0;
        server = std::make_unique<Server>(port, engine, config);
        thread = std::thread([this] {
            std::string error;
            if (!port.isListening() || port.acceptClient(server->stopFd(), error))
                reason = server->run();
        });
    }
    ~Running() { finish(); }
    void finish()
    {
        if (!thread.joinable()) return;
        server->stop();
        thread.join();
    }
    Model model;
    Engine engine;
    Port port;
    std::unique_ptr<Server> server;
    std::thread thread;
    StopReason reason = StopReason::Stopped;
};

ServerConfig fastConfig()
{
    ServerConfig c;
    c.fast = true;
    return c;
}

const Bytes kLineCheckAnswer{0xAA, 0x04, 0x00};

} // namespace

TEST(LinePty, LineCheckThroughThePseudoTerminal)
{
    Running sim(fastConfig());
    Client c(sim.port.path());
    ASSERT_TRUE(c.ok());
    c.send(telegram(LineCheck));
    EXPECT_EQ(c.read(3, 2000), kLineCheckAnswer);
    c.send(telegram(GetData));
    EXPECT_EQ(c.read(11, 2000).size(), 11u);
    sim.finish();
    EXPECT_EQ(sim.reason, StopReason::Stopped);
    EXPECT_EQ(sim.server->turnaround().count, 2u);
}

// On the pseudo-terminal and over --listen alike: both hand a telegram over at once.
TEST(LinePty, PacedLikeA4800BaudLine)
{
    for (const bool listen : {false, true}) {
        SCOPED_TRACE(listen ? "over TCP" : "on the pseudo-terminal");
        Running sim({}, {}, {}, listen);
        Client c(sim.port.path());
        ASSERT_TRUE(c.ok());
        int spread = 0; // replies that came byte by byte rather than in one burst
        for (int round = 0; round < 3; ++round) {
            const auto t0 = Clock::now();
            c.send(telegram(GetData));
            std::vector<double> at;
            const Bytes b = c.read(11, 2000, t0, &at);
            ASSERT_EQ(b.size(), 11u);
            // 17 bytes in, 1 ms turnaround, 11 bytes out at 2.083 ms each.
            const double firstByte = 17 * kByteMs + kTurnaroundMs + kByteMs;
            const double lastByte = firstByte + 10 * kByteMs;
            EXPECT_GE(at.front(), firstByte - 0.5);
            EXPECT_GE(at.back(), lastByte - 0.5);
            EXPECT_LT(at.back(), lastByte + 100); // generous: the build machine is busy
            // A late wake-up sends the bytes already due together, so judge over all rounds.
            spread += at.back() - at.front() >= 5 * kByteMs;
        }
        EXPECT_GE(spread, 1);
    }
}

TEST(LinePty, ClientsMayCloseAndComeBack)
{
    Running sim(fastConfig());
    for (int i = 0; i < 3; ++i) {
        Client c(sim.port.path());
        ASSERT_TRUE(c.ok());
        c.send(telegram(LineCheck));
        EXPECT_EQ(c.read(3, 2000), kLineCheckAnswer) << "client " << i;
    }
    sim.finish();
    EXPECT_EQ(sim.reason, StopReason::Stopped);
}

TEST(LinePty, DelayFaultAnswersLater)
{
    Faults f;
    f.delaySec = 0.25;
    Running sim(fastConfig(), f);
    Client c(sim.port.path());
    const auto t0 = Clock::now();
    c.send(telegram(LineCheck));
    EXPECT_TRUE(c.read(3, 100).empty());
    EXPECT_EQ(c.read(3, 2000), kLineCheckAnswer);
    EXPECT_GE(msSince(t0), 250.0);
}

TEST(LinePty, DropAfterHangsUpTheLine)
{
    Faults f;
    f.dropAfter = 2;
    Running sim(fastConfig(), f);
    Client c(sim.port.path());
    c.send(telegram(LineCheck));
    EXPECT_EQ(c.read(3, 2000), kLineCheckAnswer);
    c.send(telegram(LineCheck));
    EXPECT_EQ(c.read(3, 2000), kLineCheckAnswer);
    c.read(1, 2000);
    EXPECT_TRUE(c.hungUp());
    sim.thread.join();
    EXPECT_EQ(sim.reason, StopReason::HungUp);
}

TEST(LinePty, LinkPointsToThePortAndGoesAway)
{
    const std::string link = ::testing::TempDir() + "kivrel_sim_link_" + std::to_string(::getpid());
    {
        Running sim(fastConfig(), {}, link);
        char target[256] = {};
        ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), sim.port.path());
        Client c(link);
        c.send(telegram(LineCheck));
        EXPECT_EQ(c.read(3, 2000), kLineCheckAnswer);
        sim.finish();
        sim.port.close();
    }
    struct stat st {
    };
    EXPECT_NE(::lstat(link.c_str(), &st), 0);
}

// ---- The program and its command line ----

namespace
{

struct Program {
    pid_t pid = -1;
    int out = -1, err = -1;

    explicit Program(std::vector<std::string> args)
    {
        int o[2], e[2];
        if (::pipe(o) != 0 || ::pipe(e) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, o[1], 1);
        posix_spawn_file_actions_adddup2(&fa, e[1], 2);
        posix_spawn_file_actions_addclose(&fa, o[0]);
        posix_spawn_file_actions_addclose(&fa, e[0]);
        args.insert(args.begin(), KIVREL_SIM_BINARY);
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, KIVREL_SIM_BINARY, &fa, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        ::close(o[1]);
        ::close(e[1]);
        out = o[0];
        err = e[0];
    }
    ~Program()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (out >= 0) ::close(out);
        if (err >= 0) ::close(err);
    }

    static std::string readAll(int fd)
    {
        std::string s;
        char buf[512];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0)
            s.append(buf, static_cast<std::size_t>(n));
        return s;
    }

    std::string firstLine()
    {
        std::string line;
        char ch;
        pollfd p{out, POLLIN, 0};
        while (::poll(&p, 1, 5000) > 0 && ::read(out, &ch, 1) == 1 && ch != '\n')
            line += ch;
        return line;
    }

    // Exit status, or -1 if it did not exit within the time.
    int wait(int timeoutMs = 5000)
    {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::usleep(10000);
        }
        return -1;
    }
};

} // namespace

TEST(LineProgram, AnswersOnThePrintedPortAndStopsOnSigterm)
{
    Program sim({"--fast", "--stats"});
    ASSERT_GT(sim.pid, 0);
    const std::string path = sim.firstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    {
        Client c(path);
        ASSERT_TRUE(c.ok());
        c.send(telegram(LineCheck));
        EXPECT_EQ(c.read(3, 2000), kLineCheckAnswer);
    }
    ::kill(sim.pid, SIGTERM);
    EXPECT_EQ(sim.wait(), 0);
    const std::string err = Program::readAll(sim.err);
    EXPECT_NE(err.find("turnaround over 1 replies: median"), std::string::npos) << err;
}

// The simulator's "kivrel-sim: since ...: marks M, edges E" lines, in order. (Not <regex>:
// GCC 12's header trips -Wmaybe-uninitialized under the sanitizers.)
struct StatsLine {
    std::string since;
    int marks = -1, edges = -1;
    bool endsOutput = false; // nothing follows it
};

std::vector<StatsLine> statsLines(const std::string &err)
{
    const std::string prefix = "kivrel-sim: since ";
    std::vector<StatsLine> lines;
    for (std::size_t at = err.find(prefix); at != std::string::npos; at = err.find(prefix, at)) {
        const std::size_t end = err.find('\n', at);
        const std::string line = err.substr(at + prefix.size(), end - at - prefix.size());
        StatsLine s;
        const std::size_t colon = line.find(": marks ");
        s.since = line.substr(0, colon);
        if (colon != std::string::npos)
            std::sscanf(line.c_str() + colon, ": marks %d, edges %d", &s.marks, &s.edges);
        s.endsOutput = end != std::string::npos && end + 1 == err.size();
        lines.push_back(s);
        if (end == std::string::npos) break;
        at = end;
    }
    return lines;
}

TEST(LineProgram, StatsCountMarksAndEdgesSinceTheLastWrite)
{
    struct Case {
        bool write;
        int threshold;
    };
    const Case cases[] = {{false, 120}, {true, 120}, {true, 60}};
    std::vector<std::unique_ptr<Program>> sims;
    std::vector<std::unique_ptr<Client>> clients;
    // Each simulator's windows are timed from its own start: starting the others, or waiting
    // for them to end, never lengthens them.
    std::vector<Clock::time_point> started;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        sims.push_back(
            std::make_unique<Program>(std::vector<std::string>{"--fast", "--stats", "--verbose"}));
        clients.push_back(std::make_unique<Client>(sims.back()->firstLine()));
        started.push_back(Clock::now());
        ASSERT_TRUE(clients.back()->ok());
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::this_thread::sleep_until(started[i] + std::chrono::milliseconds(500));
        if (!cases[i].write) continue;
        Bytes t = telegram(SendRam);
        const ParamBytes p = factoryDefaults();
        std::copy(p.begin(), p.end(), t.begin() + 2);
        t[2 + Threshold] = static_cast<std::uint8_t>(cases[i].threshold);
        clients[i]->send(t);
    }
    // Idle from here on, as while a test judges the tool's suggestion; SIGTERM finds it so.
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::this_thread::sleep_until(started[i] + std::chrono::milliseconds(1700));
        ::kill(sims[i]->pid, SIGTERM);
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(sims[i]->wait(), 0);
        const std::string err = Program::readAll(sims[i]->err);
        // With --verbose the write logs the window it closes; the defaults gave an edge a mark.
        const std::vector<StatsLine> lines = statsLines(err);
        ASSERT_EQ(lines.size(), cases[i].write ? 2u : 1u) << err;
        EXPECT_EQ(lines[0].since, "start") << err;
        EXPECT_EQ(lines[0].marks, lines[0].edges) << err;
        const StatsLine &last = lines.back();
        EXPECT_TRUE(last.endsOutput) << err;
        EXPECT_EQ(last.since, cases[i].write ? "the last parameter write" : "start") << err;
        EXPECT_GE(last.marks, 4) << err;
        EXPECT_LE(last.marks, 12) << err;
        EXPECT_EQ(last.edges, cases[i].threshold == 120 ? last.marks : 0) << err;
    }
}

TEST(LineProgram, DropAfterHangsUpAndExitsCleanly)
{
    Program sim({"--fast", "--drop-after", "1"});
    const std::string path = sim.firstLine();
    Client c(path);
    ASSERT_TRUE(c.ok());
    c.send(telegram(LineCheck));
    EXPECT_EQ(c.read(3, 2000), kLineCheckAnswer);
    c.read(1, 2000);
    EXPECT_TRUE(c.hungUp());
    EXPECT_EQ(sim.wait(), 0);
    EXPECT_NE(Program::readAll(sim.err).find("dropped after 1 telegram"), std::string::npos);
}

TEST(LineProgram, EepromFileSurvivesARestart)
{
    const std::string file = ::testing::TempDir() + "kivrel_sim_prog_" + std::to_string(::getpid());
    ::unlink(file.c_str());
    Bytes stored = telegram(SendEeprom);
    const ParamBytes values{90, 140, 5, 0, 15, 0, 10, 10, 1, 1, 2, 0, 0, 20, 0x3C};
    std::copy(values.begin(), values.end(), stored.begin() + 2);
    for (int run = 0; run < 2; ++run) {
        Program sim({"--fast", "--eeprom", file});
        Client c(sim.firstLine());
        ASSERT_TRUE(c.ok());
        if (run == 0) {
            c.send(stored);
            c.send(telegram(LineCheck)); // answered once the EEPROM telegram is done
            EXPECT_EQ(c.read(3, 2000), kLineCheckAnswer);
        } else {
            c.send(telegram(GetRam));
            EXPECT_EQ(c.read(15, 2000), Bytes(values.begin(), values.end()));
        }
        ::kill(sim.pid, SIGINT);
        EXPECT_EQ(sim.wait(), 0);
    }
    ::unlink(file.c_str());
}

TEST(LineProgram, HelpListsEveryOption)
{
    Program sim({"--help"});
    const std::string help = Program::readAll(sim.out);
    EXPECT_EQ(sim.wait(), 0);
    for (const char *opt :
         {"--link",    "--device", "--eeprom",     "--fast",        "--stats",
          "--verbose", "--rate",   "--mark",       "--depth",       "--faint-every",
          "--jitter",  "--seed",   "--silent",     "--short",       "--long",
          "--noise",   "--delay",  "--drop-after", "--fault-order", "--help"})
        EXPECT_NE(help.find(std::string("  ") + opt + " "), std::string::npos) << opt;
    EXPECT_NE(help.find("  --faint-depth PERCENT\n"), std::string::npos);
}

TEST(LineProgram, ErrorsAreOneLineAndNonZero)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--rate", "fast"},
        {"--rate"},
        {"--depth", "101"},
        {"--depth", "-1"},
        {"--faint-every", "-1"},
        {"--faint-depth", "101"},
        {"--faint-depth", "dark"},
        {"--drop-after", "0"},
        {"--fault-order", "9"},
        {"--fast=yes"},
        {"--device", "/nonexistent/ttyS99"},
        {"--device", "/dev/null"},
    };
    for (const auto &args : cases) {
        Program sim(args);
        const std::string out = Program::readAll(sim.out);
        const std::string err = Program::readAll(sim.err);
        EXPECT_NE(sim.wait(), 0) << args[0];
        EXPECT_TRUE(out.empty()) << args[0];
        EXPECT_EQ(err.rfind("kivrel-sim: ", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

TEST(LineOptions, ParsesValuesAndFaults)
{
    const char *argv[] = {"kivrel-sim", "--rate=2.5", "--mark",  "30",       "--seed",
                          "7",          "--short",    "--delay", "0.5",      "--fault-order",
                          "5",          "--jitter",   "0",       "--eeprom", "e.txt",
                          "--depth=15"};
    Options o;
    std::string error;
    ASSERT_EQ(parseOptions(16, argv, o, error), ParseResult::Run) << error;
    EXPECT_DOUBLE_EQ(o.target.depth, 0.15);
    EXPECT_DOUBLE_EQ(o.target.rateHz, 2.5);
    EXPECT_DOUBLE_EQ(o.target.markFraction, 0.3);
    EXPECT_EQ(o.target.seed, 7u);
    EXPECT_DOUBLE_EQ(o.target.noise, 0);
    EXPECT_TRUE(o.faults.shortReply);
    EXPECT_DOUBLE_EQ(o.faults.delaySec, 0.5);
    EXPECT_EQ(o.faults.order, 5);
    EXPECT_EQ(o.eeprom, "e.txt");
    EXPECT_FALSE(o.fast);
}

// Every ranged option takes both ends of its range, keeps what it took, and refuses the
// values just beyond either end.
TEST(LineOptions, RangesTakeBothEndsAndRefuseWhatLiesBeyond)
{
    struct Range {
        const char *option;
        const char *low, *high, *belowLow, *aboveHigh;
        double lowKept, highKept;
        double (*kept)(const Options &);
    };
    const Range ranges[] = {
        {"--rate", "0", "500", "-0.1", "500.1", 0, 500,
         [](const Options &o) { return o.target.rateHz; }},
        {"--mark", "1", "90", "0.9", "90.1", 0.01, 0.9,
         [](const Options &o) { return o.target.markFraction; }},
        {"--depth", "0", "100", "-1", "101", 0, 1, [](const Options &o) { return o.target.depth; }},
        {"--faint-depth", "0", "100", "-1", "101", 0, 1,
         [](const Options &o) { return o.target.faintDepth; }},
        {"--jitter", "0", "50", "-0.1", "50.1", 0, 50,
         [](const Options &o) { return o.target.noise; }},
        {"--seed", "0", "2147483647", "-1", "2147483648", 0, 2147483647,
         [](const Options &o) { return double(o.target.seed); }},
        {"--delay", "0", "3600", "-0.1", "3600.1", 0, 3600,
         [](const Options &o) { return o.faults.delaySec; }},
        {"--drop-after", "1", "1000000000", "0", "1000000001", 1, 1e9,
         [](const Options &o) { return double(o.faults.dropAfter); }},
        {"--fault-order", "1", "7", "0", "8", 1, 7,
         [](const Options &o) { return double(o.faults.order); }},
    };
    for (const Range &r : ranges) {
        const std::pair<const char *, double> ends[] = {{r.low, r.lowKept}, {r.high, r.highKept}};
        for (const auto &[value, kept] : ends) {
            SCOPED_TRACE(std::string(r.option) + " " + value);
            const char *argv[] = {"kivrel-sim", r.option, value};
            Options o;
            std::string error;
            ASSERT_EQ(parseOptions(3, argv, o, error), ParseResult::Run) << error;
            EXPECT_DOUBLE_EQ(r.kept(o), kept);
        }
        for (const char *value : {r.belowLow, r.aboveHigh}) {
            SCOPED_TRACE(std::string(r.option) + " " + value);
            const char *argv[] = {"kivrel-sim", r.option, value};
            Options o;
            std::string error;
            EXPECT_EQ(parseOptions(3, argv, o, error), ParseResult::Error);
            EXPECT_NE(error.find(r.option), std::string::npos) << error;
        }
    }
}

TEST(LineOptions, LinkNeedsThePseudoTerminal)
{
    const char *argv[] = {"kivrel-sim", "--device", "/dev/ttyS0", "--link", "/tmp/x"};
    Options o;
    std::string error;
    EXPECT_EQ(parseOptions(5, argv, o, error), ParseResult::Error);
    EXPECT_FALSE(error.empty());
}
