// What kivrel-cli publish costs beside watch, and what it delivers, against kivrel-sim and a
// real mosquitto on loopback, printed as rows 11 of the table in docs/PERFORMANCE.md:
//   pace     watch, then publish, each on the same simulated sensor at the line's pace: the
//            median period between records (the rows' and the payloads' own seconds) and the
//            CPU each takes (/proc/PID/schedstat, in windows of a second)
//   latency  this process is the sensor, on a pseudo-terminal: each record's reply is time-
//            stamped as it is written, and again when a subscriber in this process gets it
//   fleet    eight simulators and eight publishers on one broker for 60 s: every seq at one
//            subscriber, and the CPU of the publishers and of the broker
//   tls      a broker that asks for TLS and an account: the CPU of publish over it and the
//            delay to a subscriber, as pace and latency measure them; how long a publisher
//            whose account is refused, or whose broker's certificate does not verify, takes
//            from its start to its exit with status 8
//
//   bench_publish           every part, then the rows
//   bench_publish --smoke   a few seconds of each; checks only that every part runs
#include "mqtt_broker.h"
#include "scratch_home.h"
#include "tls_files.h"

#include <mosquitto.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <pty.h>
#include <set>
#include <termios.h>
#include <thread>

#ifndef KIVREL_SIM
#define KIVREL_SIM "kivrel-sim"
#endif
#ifndef KIVREL_CLI
#define KIVREL_CLI "kivrel-cli"
#endif

using namespace kivrel::test;

namespace
{

double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void sleepSeconds(double s)
{
    ::usleep(static_cast<useconds_t>(s * 1e6));
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty()) return std::nan("");
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * double(v.size() - 1) + 0.5))];
}

// The seconds a process has run, from the scheduler's own count (the tick-based user and
// system times are too coarse for a process that sleeps most of the time).
double ranSeconds(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/schedstat", int(pid));
    unsigned long long ran = 0;
    std::FILE *f = std::fopen(path, "r");
    if (!f) return std::nan("");
    const bool ok = std::fscanf(f, "%llu", &ran) == 1;
    std::fclose(f);
    return ok ? double(ran) * 1e-9 : std::nan("");
}

// A number after "name": in a JSON payload, NaN when it is not there.
double field(const std::string &payload, const char *name)
{
    const std::string key = std::string("\"") + name + "\":";
    const size_t at = payload.find(key);
    return at == std::string::npos ? std::nan("") : std::atof(payload.c_str() + at + key.size());
}

struct Child {
    pid_t pid = -1;
    int out = -1;
    // Asks it to end; its exit status, -1 when it had to be killed.
    int end(double seconds = 5.0)
    {
        if (pid <= 0) return -1;
        ::kill(pid, SIGTERM);
        const double until = nowSeconds() + seconds;
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (nowSeconds() > until) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                status = -1;
                break;
            }
            ::usleep(2000);
        }
        pid = -1;
        return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string rest()
    {
        std::string text;
        char buffer[4096];
        for (ssize_t n; out >= 0 && (n = ::read(out, buffer, sizeof buffer)) > 0;)
            text.append(buffer, size_t(n));
        return text;
    }
    ~Child()
    {
        end(1.0);
        if (out >= 0) ::close(out);
    }
};

// The simulator; its port is the first line it prints.
std::unique_ptr<Child> startSim(std::string &port)
{
    auto sim = std::make_unique<Child>();
    sim->pid = spawnReading({KIVREL_SIM}, sim->out);
    port.clear();
    for (char c; sim->pid > 0 && ::read(sim->out, &c, 1) == 1 && c != '\n';)
        port += c;
    return sim;
}

std::unique_ptr<Child> startCli(const std::vector<std::string> &args)
{
    auto cli = std::make_unique<Child>();
    std::vector<std::string> argv{KIVREL_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    cli->pid = spawnReading(argv, cli->out);
    return cli;
}

// A subscriber in this process, on libmosquitto's own thread: each message with the moment it
// arrived.
class Listener
{
  public:
    using Handler =
        std::function<void(const std::string &topic, const std::string &payload, double at)>;
    Listener(const Mosquitto &broker, const char *topic, Handler handler)
        : handler_(std::move(handler))
    {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(
            mosq_, [](mosquitto *, void *self, const mosquitto_message *m) {
                const double at = nowSeconds();
                static_cast<Listener *>(self)->handler_(
                    m->topic,
                    std::string(static_cast<const char *>(m->payload), size_t(m->payloadlen)), at);
            });
        ok_ = mosquitto_connect(mosq_, "127.0.0.1", broker.port(), 30) == MOSQ_ERR_SUCCESS &&
              mosquitto_subscribe(mosq_, nullptr, topic, 1) == MOSQ_ERR_SUCCESS &&
              mosquitto_loop_start(mosq_) == MOSQ_ERR_SUCCESS;
    }
    ~Listener()
    {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }
    bool ok() const { return ok_; }

  private:
    Handler handler_;
    mosquitto *mosq_ = nullptr;
    bool ok_ = false;
};

using Results = std::map<std::string, double>;

// The CPU share of `pid` in windows of a second for `seconds`: the lowest tenth and the median.
// A virtual machine counts the time its host gave to others as the process's own and inflates
// many windows; the lowest tenth is the process's own cost.
void sampleCpu(pid_t pid, double seconds, const char *name, Results &r)
{
    std::vector<double> shares;
    double ran = ranSeconds(pid), at = nowSeconds();
    for (double t = 0; t < seconds; t += 1.0) {
        sleepSeconds(1.0);
        const double ranNow = ranSeconds(pid), now = nowSeconds();
        shares.push_back(100.0 * (ranNow - ran) / (now - at));
        ran = ranNow, at = now;
    }
    r[std::string(name) + "_cpu_pct"] = percentile(shares, 0.1);
    r[std::string(name) + "_cpu_median_pct"] = percentile(shares, 0.5);
}

double medianStep(std::vector<double> seconds)
{
    std::vector<double> steps;
    for (size_t i = 1; i < seconds.size(); ++i)
        steps.push_back((seconds[i] - seconds[i - 1]) * 1000.0);
    return percentile(steps, 0.5);
}

// The period of each, as its reader sees the records arrive (the rows' and payloads' own
// seconds have a millisecond's grain, too coarse here).
bool partPace(const Mosquitto &broker, double seconds, Results &r)
{
    std::string port;
    auto sim = startSim(port);
    if (port.empty()) return false;

    std::mutex m;
    std::vector<double> watchRows, publishRecords;
    auto watch = startCli({"--port", port, "watch"});
    std::thread reader([&] {
        char c;
        while (::read(watch->out, &c, 1) == 1)
            if (c == '\n') {
                std::lock_guard lock(m);
                watchRows.push_back(nowSeconds());
            }
    });
    sleepSeconds(1.0); // connected and polling
    sampleCpu(watch->pid, seconds, "watch", r);
    const bool watched = watch->end() == 0;
    reader.join();

    Listener live(broker, "kivrel/pace/live",
                  [&](const std::string &, const std::string &, double at) {
                      std::lock_guard lock(m);
                      publishRecords.push_back(at);
                  });
    auto publish =
        startCli({"--port", port, "publish", "--broker", broker.url(), "--name", "pace"});
    sleepSeconds(1.0);
    sampleCpu(publish->pid, seconds, "publish", r);
    const bool published = publish->end() == 0 && live.ok();
    std::lock_guard lock(m);
    r["watch_period_ms"] = medianStep(watchRows);
    r["publish_period_ms"] = medianStep(publishRecords);
    r["pace_records"] = double(publishRecords.size());
    return watched && published && watchRows.size() > 2 && publishRecords.size() > 2;
}

// Over `url` with `more` options; the figures' names begin with `key`.
bool partLatency(const Mosquitto &broker, int count, Results &r, const std::string &url,
                 const std::vector<std::string> &more = {}, const std::string &key = "latency")
{
    int master = -1, slave = -1;
    char name[256];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);

    std::mutex m;
    std::map<int, double> replied, arrived;
    Listener live(broker, "kivrel/latency/live",
                  [&](const std::string &, const std::string &payload, double at) {
                      const int id = int(field(payload, "dat0")) | int(field(payload, "dat1")) << 8;
                      std::lock_guard lock(m);
                      arrived[id] = at;
                  });
    std::vector<std::string> args{"--port", name, "publish", "--broker", url, "--name", "latency"};
    args.insert(args.end(), more.begin(), more.end());
    auto publish = startCli(args);
    // The sensor: the line check, the two sets, then records numbered in DAT0 and DAT1.
    std::string telegram;
    int next = 0;
    const double until = nowSeconds() + 30.0 + count * 0.2;
    while (next < count && nowSeconds() < until) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        char buffer[64];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        telegram.append(buffer, size_t(n));
        while (telegram.size() >= 17) {
            const unsigned char order = static_cast<unsigned char>(telegram[1]);
            telegram.erase(0, 17);
            unsigned char reply[15] = {120, 150, 10, 0, 10, 0, 10, 10, 1, 1, 2, 0, 0, 20, 0};
            size_t length = 15;
            if (order == 7) {
                reply[0] = 0xAA, reply[1] = 0x04, reply[2] = 0x00;
                length = 3;
            } else if (order == 5) {
                const unsigned char record[11] = {static_cast<unsigned char>(next & 0xFF),
                                                  static_cast<unsigned char>(next >> 8),
                                                  160,
                                                  0,
                                                  0,
                                                  0,
                                                  0,
                                                  0,
                                                  0,
                                                  120,
                                                  150};
                std::copy(record, record + 11, reply);
                length = 11;
            }
            if (::write(master, reply, length) != ssize_t(length)) break;
            if (order == 5) {
                std::lock_guard lock(m);
                replied[next++] = nowSeconds();
            }
        }
    }
    sleepSeconds(0.5); // the last records on their way
    const bool ended = publish->end() == 0;
    ::close(master);
    ::close(slave);
    std::lock_guard lock(m);
    std::vector<double> delays;
    for (const auto &[id, at] : replied)
        if (arrived.count(id)) delays.push_back((arrived[id] - at) * 1000.0);
    r[key + "_median_ms"] = percentile(delays, 0.5);
    r[key + "_p99_ms"] = percentile(delays, 0.99);
    r[key + "_max_ms"] = percentile(delays, 1.0);
    r[key + "_records"] = double(delays.size());
    r[key + "_lost"] = double(replied.size() - delays.size());
    return ended && live.ok() && delays.size() > 2;
}

// A broker with TLS and an account, made in `folder`: publish's CPU and delay over it, and how
// soon a publisher it refuses ends.
bool partTls(const std::string &folder, double seconds, int count, Results &r)
{
    TlsFiles files(folder);
    if (!files.ca("plant-ca") || !files.ca("other-ca") ||
        !files.signedBy("broker", "plant-ca", "IP:127.0.0.1") ||
        !files.passwords("accounts", "pace", "s3cret")) {
        std::fprintf(stderr, "bench: tls: openssl or mosquitto_passwd failed\n");
        return false;
    }
    std::FILE *f = std::fopen((folder + "/right").c_str(), "w");
    if (f) std::fputs("s3cret\n", f), std::fclose(f);
    f = std::fopen((folder + "/wrong").c_str(), "w");
    if (f) std::fputs("guess\n", f), std::fclose(f);
    Guarded g{files.passwd("accounts"), files.pem("plant-ca"), files.pem("broker"),
              files.key("broker")};
    Mosquitto broker(folder, g);
    if (!broker.start()) return false;
    const std::vector<std::string> account{"--cafile", files.pem("plant-ca"), "--user",
                                           "pace",     "--password-file",     folder + "/right"};

    std::string port;
    auto sim = startSim(port);
    if (port.empty()) return false;
    std::vector<std::string> args{"--port", port,  "publish", "--broker", broker.guardedUrl(),
                                  "--name", "pace"};
    args.insert(args.end(), account.begin(), account.end());
    auto publish = startCli(args);
    sleepSeconds(1.0);
    sampleCpu(publish->pid, seconds, "tls_publish", r);
    const bool published = publish->end() == 0;

    const bool delayed = partLatency(broker, count, r, broker.guardedUrl(), account, "tls_latency");

    // Refused: start to exit, the line check on the simulator included.
    std::vector<double> refused[2];
    bool eight = true;
    for (int i = 0; i < 5; ++i)
        for (int which = 0; which < 2; ++which) {
            std::vector<std::string> a{
                "--port", port, "publish", "--broker", broker.guardedUrl(), "--name", "refused"};
            if (which == 0)
                a.insert(a.end(), {"--cafile", files.pem("plant-ca"), "--user", "pace",
                                   "--password-file", folder + "/wrong"});
            else
                a.insert(a.end(), {"--cafile", files.pem("other-ca")});
            const double began = nowSeconds();
            auto cli = startCli(a);
            int status = 0;
            while (::waitpid(cli->pid, &status, WNOHANG) == 0 && nowSeconds() < began + 20)
                ::usleep(1000);
            refused[which].push_back(nowSeconds() - began);
            eight &= WIFEXITED(status) && WEXITSTATUS(status) == 8;
            cli->pid = -1;
        }
    r["refused_account_s"] = percentile(refused[0], 0.5);
    r["refused_certificate_s"] = percentile(refused[1], 0.5);
    r["refused_s"] = std::max(r["refused_account_s"], r["refused_certificate_s"]);
    if (!eight) std::fprintf(stderr, "bench: tls: a refused publisher did not end with 8\n");
    return published && delayed && eight;
}

bool partFleet(const Mosquitto &broker, double seconds, Results &r)
{
    constexpr int kFleet = 8;
    std::mutex m;
    std::map<std::string, std::set<long>> seen; // name -> every seq that arrived
    std::map<std::string, long> polled;         // name -> records, from its last health
    Listener all(broker, "kivrel/#",
                 [&](const std::string &topic, const std::string &payload, double) {
                     const size_t a = topic.find('/') + 1, b = topic.find('/', a);
                     const std::string name = topic.substr(a, b - a), what = topic.substr(b + 1);
                     if (name.rfind("fleet", 0) != 0) return; // the other parts' retained ones
                     std::lock_guard lock(m);
                     if (what == "live") seen[name].insert(long(field(payload, "seq")));
                     if (what == "health") polled[name] = long(field(payload, "records"));
                 });
    std::vector<std::unique_ptr<Child>> sims, publishers;
    for (int i = 0; i < kFleet; ++i) {
        std::string port;
        sims.push_back(startSim(port));
        if (port.empty()) return false;
        publishers.push_back(startCli({"--port", port, "publish", "--broker", broker.url(),
                                       "--name", "fleet" + std::to_string(i)}));
    }
    sleepSeconds(1.0);
    double ran = 0, brokerRan = ranSeconds(broker.pid());
    for (auto &p : publishers)
        ran += ranSeconds(p->pid);
    const double start = nowSeconds();
    sleepSeconds(seconds);
    double ranEnd = 0;
    for (auto &p : publishers)
        ranEnd += ranSeconds(p->pid);
    const double wall = nowSeconds() - start;
    r["fleet_cpu_pct"] = 100.0 * (ranEnd - ran) / wall;
    r["fleet_broker_cpu_pct"] = 100.0 * (ranSeconds(broker.pid()) - brokerRan) / wall;
    bool ended = true;
    for (auto &p : publishers)
        ended &= p->end() == 0;
    sleepSeconds(0.5);
    std::lock_guard lock(m);
    long records = 0, lost = 0;
    for (const auto &[name, count] : polled) {
        records += count;
        for (long seq = 1; seq <= count; ++seq)
            lost += !seen[name].count(seq);
    }
    r["fleet_records"] = double(records);
    r["fleet_lost"] = double(lost);
    r["fleet_publishers"] = double(polled.size());
    if (!ended || !all.ok() || polled.size() != size_t(kFleet))
        std::fprintf(stderr, "bench: fleet: ended %d, subscribed %d, %zu publishers heard\n", ended,
                     all.ok(), polled.size());
    return ended && all.ok() && polled.size() == size_t(kFleet);
}

std::string format(const char *fmt, double a, double b = 0, double c = 0, double d = 0)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, fmt, a, b, c, d);
    return buffer;
}

} // namespace

int main(int argc, char **argv)
{
    const ScratchHome home; // the publishers' journal rows go to the run's own home
    if (!home.ok()) return 2;
    const bool smoke = argc > 1 && std::string(argv[1]) == "--smoke";
    Mosquitto broker(std::getenv("TMPDIR"));
    if (!broker.start()) {
        std::fprintf(stderr,
                     "bench_publish: mosquitto does not start (scripts/deps installs it)\n");
        return 1;
    }
    Results r;
    bool ran = true;
    auto part = [&](const char *name, bool ok) {
        if (!ok) std::fprintf(stderr, "bench: publish %s failed\n", name);
        ran &= ok;
    };
    std::fprintf(stderr, "bench: publish pace ...\n");
    part("pace", partPace(broker, smoke ? 3 : 40, r));
    std::fprintf(stderr, "bench: publish latency ...\n");
    part("latency", partLatency(broker, smoke ? 20 : 400, r, broker.url()));
    std::fprintf(stderr, "bench: publish fleet ...\n");
    part("fleet", partFleet(broker, smoke ? 3 : 60, r));
    std::fprintf(stderr, "bench: publish tls ...\n");
    const std::string tlsFolder = std::string(std::getenv("TMPDIR")) + "/tls";
    std::filesystem::create_directories(tlsFolder);
    part("tls", partTls(tlsFolder, smoke ? 3 : 40, smoke ? 20 : 400, r));
    if (smoke) {
        std::printf("bench_publish smoke pass: %s\n", ran ? "every part ran" : "a part failed");
        return ran ? 0 : 1;
    }
    const double over = r["publish_period_ms"] - r["watch_period_ms"];
    const double cpuOver = r["publish_cpu_pct"] - r["watch_cpu_pct"];
    const double tlsOver = r["tls_publish_cpu_pct"] - r["publish_cpu_pct"];
    struct Row {
        std::string figure, measured, goal, reference;
        bool met;
    } rows[] = {
        {"publish: polling period above watch's, median", format("%.2f ms", over), "≤ 1 ms",
         format("publish %.2f ms, watch %.2f ms, as their readers get them", r["publish_period_ms"],
                r["watch_period_ms"]),
         std::fabs(over) <= 1.0},
        {"publish every record: CPU above watch's", format("%.2f %% of a core", cpuOver), "≤ 0.3 %",
         format("lowest tenth of 1 s windows: publish %.2f %%, watch %.2f %% (medians %.2f, ",
                r["publish_cpu_pct"], r["watch_cpu_pct"], r["publish_cpu_median_pct"]) +
             format("%.2f)", r["watch_cpu_median_pct"]),
         cpuOver <= 0.3},
        {"publish: sensor's reply to a subscriber's receipt, median",
         format("%.2f ms", r["latency_median_ms"]), "≤ 5 ms",
         format("p99 %.2f ms, worst %.2f ms; %.0f records, ", r["latency_p99_ms"],
                r["latency_max_ms"], r["latency_records"]) +
             format("%.0f lost", r["latency_lost"]),
         r["latency_median_ms"] <= 5.0},
        {"eight publishers for 60 s: records lost at one subscriber",
         format("%.0f of %.0f", r["fleet_lost"], r["fleet_records"]), "0",
         format("CPU: the eight publishers %.2f %% of a core, the broker %.2f %%",
                r["fleet_cpu_pct"], r["fleet_broker_cpu_pct"]),
         r["fleet_lost"] == 0 && r["fleet_publishers"] == 8},
        {"publish over TLS with an account: CPU above plain publish's",
         format("%.2f %% of a core", tlsOver), "≤ 0.3 %",
         format("lowest tenth: TLS %.2f %%, plain %.2f %% (medians %.2f, ",
                r["tls_publish_cpu_pct"], r["publish_cpu_pct"], r["tls_publish_cpu_median_pct"]) +
             format("%.2f)", r["publish_cpu_median_pct"]),
         tlsOver <= 0.3},
        {"publish over TLS: sensor's reply to a subscriber's receipt, median",
         format("%.2f ms", r["tls_latency_median_ms"]), "≤ 5 ms",
         format("p99 %.2f ms, worst %.2f ms; %.0f records, ", r["tls_latency_p99_ms"],
                r["tls_latency_max_ms"], r["tls_latency_records"]) +
             format("%.0f lost; plain %.2f ms", r["tls_latency_lost"], r["latency_median_ms"]),
         r["tls_latency_median_ms"] <= 5.0},
        {"refused account, untrusted certificate: start to exit 8, median",
         format("%.0f ms", r["refused_s"] * 1000), "≤ 1 s",
         format("account %.0f ms, certificate %.0f ms, the line check included; 5 runs each",
                r["refused_account_s"] * 1000, r["refused_certificate_s"] * 1000),
         r["refused_s"] <= 1.0},
    };
    std::printf("| #  | Figure | Measured | Goal | Floor / baseline (same run) | Met |\n"
                "|----|--------|----------|------|-----------------------------|-----|\n");
    for (const Row &row : rows)
        std::printf("| 11 | %s | %s | %s | %s | %s |\n", row.figure.c_str(), row.measured.c_str(),
                    row.goal.c_str(), row.reference.c_str(), row.met ? "yes" : "NO");
    if (!ran) std::printf("\nSome parts failed to run; their rows read nan.\n");
    return ran ? 0 : 1;
}
