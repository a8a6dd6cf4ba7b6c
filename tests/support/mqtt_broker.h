// mosquitto, Debian's MQTT broker, on a free loopback port (never 1883, where the package may
// have started the system's broker), with a configuration the test writes, and as a plant runs
// it on a second port: an account, TLS, a client certificate; and mosquitto_sub reading what
// arrives. Plain C++ and POSIX, for the tests and the benchmarks alike.
#pragma once

#include "ser2net.h" // Ser2net::freePort

#include <chrono>
#include <functional>
#include <poll.h>
#include <string>
#include <vector>

namespace kivrel::test
{

// Starts `args` with its stdout on a pipe the caller reads and its stderr on /dev/null; -1 when
// it cannot be started.
inline pid_t spawnReading(const std::vector<std::string> &args, int &out)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return -1;
    }
    out = fds[0];
    return pid;
}

// The second port's demands. The first stays open to anyone, for the tests' readers.
struct Guarded {
    std::string passwordFile;              // mosquitto_passwd's: only its accounts are let in
    std::string cafile, certfile, keyfile; // TLS with this certificate of the broker's
    bool requireCertificate = false;       // a client certificate signed by cafile's CA
};

class Mosquitto
{
  public:
    // Its configuration goes to `folder`; `port` 0 takes a free one.
    explicit Mosquitto(const std::string &folder, int port = 0)
        : port_(port ? port : Ser2net::freePort()),
          config_(folder + "/mosquitto-" + std::to_string(port_) + ".conf")
    {
        // Run as root, mosquitto would drop to its own user before reading its files.
        std::ofstream(config_) << "listener " << port_ << " 127.0.0.1\n"
                               << "allow_anonymous true\npersistence false\n"
                               << (::getuid() == 0 ? "user root\n" : "");
    }
    // With the second, guarded port.
    Mosquitto(const std::string &folder, const Guarded &g) : Mosquitto(folder)
    {
        do
            guardedPort_ = Ser2net::freePort();
        while (guardedPort_ == port_);
        std::ofstream config(config_);
        config << "per_listener_settings true\npersistence false\n"
               << (::getuid() == 0 ? "user root\n" : "") << "listener " << port_
               << " 127.0.0.1\nallow_anonymous true\n"
               << "listener " << guardedPort_ << " 127.0.0.1\n"
               << "allow_anonymous " << (g.passwordFile.empty() ? "true" : "false") << "\n";
        if (!g.passwordFile.empty()) config << "password_file " << g.passwordFile << "\n";
        if (!g.certfile.empty())
            config << "cafile " << g.cafile << "\ncertfile " << g.certfile << "\nkeyfile "
                   << g.keyfile << "\nrequire_certificate "
                   << (g.requireCertificate ? "true" : "false") << "\n";
        tls_ = !g.certfile.empty();
    }
    ~Mosquitto() { stop(); }
    Mosquitto(const Mosquitto &) = delete;
    Mosquitto &operator=(const Mosquitto &) = delete;

    // Starts it (again, on the same port); true once it listens.
    bool start()
    {
        if (pid_ <= 0) {
            posix_spawn_file_actions_t quiet;
            posix_spawn_file_actions_init(&quiet);
            posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
            const char *program =
                ::access("/usr/sbin/mosquitto", X_OK) == 0 ? "/usr/sbin/mosquitto" : "mosquitto";
            const char *argv[] = {program, "-c", config_.c_str(), nullptr};
            if (posix_spawnp(&pid_, program, &quiet, nullptr, const_cast<char **>(argv), environ))
                pid_ = -1;
            posix_spawn_file_actions_destroy(&quiet);
        }
        for (int i = 0; i < 500 && pid_ > 0; ++i, ::usleep(10000))
            if (listens(port_) && (!guardedPort_ || listens(guardedPort_))) return true;
        return false;
    }
    // Ends it as a machine shutting it down would; it forgets everything (no persistence).
    void stop()
    {
        if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }
    // The guarded port, as `host` reaches it.
    int guardedPort() const { return guardedPort_; }
    std::string guardedUrl(const std::string &host = "127.0.0.1") const
    {
        return (tls_ ? "mqtts://" : "mqtt://") + host + ":" + std::to_string(guardedPort_);
    }

  private:
    static bool listens(int port)
    {
        char listening[32];
        std::snprintf(listening, sizeof listening, ":%04X 00000000:0000 0A", port);
        std::ifstream table("/proc/net/tcp");
        for (std::string line; std::getline(table, line);)
            if (line.find(listening) != std::string::npos) return true;
        return false;
    }

    int port_;
    std::string config_;
    pid_t pid_ = -1;
    int guardedPort_ = 0;
    bool tls_ = false;
};

// mosquitto_sub on `topic` (QoS 1), each message a line "TOPIC RETAIN QOS PAYLOAD".
class Subscriber
{
  public:
    Subscriber(const Mosquitto &broker, const std::string &topic)
    {
        pid_ =
            spawnReading({"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(broker.port()),
                          "-q", "1", "-t", topic, "-F", "%t %r %q %p"},
                         out_);
    }
    ~Subscriber()
    {
        if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0) ::waitpid(pid_, nullptr, 0);
        if (out_ >= 0) ::close(out_);
    }
    Subscriber(const Subscriber &) = delete;
    Subscriber &operator=(const Subscriber &) = delete;

    // Reads lines until `done` holds for what came so far, or `seconds` pass; whether it held.
    bool waitFor(const std::function<bool(const std::vector<std::string> &)> &done,
                 double seconds = 20.0)
    {
        using clock = std::chrono::steady_clock;
        const auto until = clock::now() + std::chrono::duration<double>(seconds);
        while (!done(lines_)) {
            const auto left = std::chrono::duration<double>(until - clock::now()).count();
            if (left <= 0 || out_ < 0) return false;
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left * 1000) + 1) <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(out_, buffer, sizeof buffer);
            if (n <= 0) return done(lines_);
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != '\n') {
                    partial_ += buffer[i];
                    continue;
                }
                lines_.push_back(partial_);
                partial_.clear();
            }
        }
        return true;
    }
    // Waits for a message on a topic ending in `suffix` whose line holds `text`.
    bool waitFor(const std::string &suffix, const std::string &text, double seconds = 20.0)
    {
        return waitFor([&](const std::vector<std::string> &) { return find(suffix, text) >= 0; },
                       seconds);
    }
    // The index of the first message on a topic ending in `suffix` whose line holds `text`,
    // from `from` on; -1 when none came.
    int find(const std::string &suffix, const std::string &text, size_t from = 0) const
    {
        for (size_t i = from; i < lines_.size(); ++i) {
            const std::string topic = lines_[i].substr(0, lines_[i].find(' '));
            if (topic.size() >= suffix.size() &&
                topic.compare(topic.size() - suffix.size(), suffix.size(), suffix) == 0 &&
                lines_[i].find(text) != std::string::npos)
                return static_cast<int>(i);
        }
        return -1;
    }
    const std::vector<std::string> &lines() const { return lines_; }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string partial_;
    std::vector<std::string> lines_;
};

// What the broker holds for `topic` now, as a fresh subscriber gets it: "RETAIN QOS PAYLOAD",
// "" when nothing is retained (a subscriber already connected would see retain 0).
inline std::string retainedOn(const Mosquitto &broker, const std::string &topic)
{
    int out = -1;
    const pid_t pid =
        spawnReading({"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(broker.port()), "-q",
                      "1", "-t", topic, "-C", "1", "-W", "3", "-F", "%r %q %p"},
                     out);
    if (pid < 0) return {};
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    ::close(out);
    ::waitpid(pid, nullptr, 0);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text.rfind("Timed out", 0) == 0 ? std::string() : text;
}

} // namespace kivrel::test
