// ser2net, Debian's serial device server, before a pseudo-terminal on a free loopback port, over
// RFC 2217 or as raw TCP. Plain C++ and POSIX, for the tests and the benchmarks alike.
#pragma once

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace kivrel::test
{

class Ser2net
{
  public:
    // Its configuration goes to `folder`, named .yaml: under any other name ser2net reads it in
    // its old format, and refuses connections.
    Ser2net(const std::string &device, bool rfc2217, const std::string &folder)
        : port_(freePort()), config_(folder + "/ser2net-" + std::to_string(port_) + ".yaml"),
          address_((rfc2217 ? "rfc2217://127.0.0.1:" : "tcp://127.0.0.1:") + std::to_string(port_))
    {
        std::ofstream(config_) << "connection: &sensor\n  accepter: "
                               << (rfc2217 ? "telnet(rfc2217),tcp" : "tcp") << ",127.0.0.1,"
                               << port_ << "\n  connector: serialdev," << device
                               << ",4800n81,local\n";
    }
    ~Ser2net() { stop(); }

    // Starts it (again, on the same port); true once it listens.
    bool start()
    {
        if (pid_ <= 0) {
            posix_spawn_file_actions_t quiet; // "Unable to start mdns", in a container
            posix_spawn_file_actions_init(&quiet);
            posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
            const char *program =
                ::access("/usr/sbin/ser2net", X_OK) == 0 ? "/usr/sbin/ser2net" : "ser2net";
            const char *argv[] = {program, "-n", "-u", "-c", config_.c_str(), nullptr};
            if (posix_spawnp(&pid_, program, &quiet, nullptr, const_cast<char **>(argv), environ))
                pid_ = -1;
            posix_spawn_file_actions_destroy(&quiet);
        }
        // Looked up in the kernel's table of TCP sockets: a connection would open the device.
        char listening[32];
        std::snprintf(listening, sizeof listening, ":%04X 00000000:0000 0A", port_);
        for (int i = 0; i < 500 && pid_ > 0; ++i, ::usleep(10000)) {
            std::ifstream table("/proc/net/tcp");
            for (std::string line; std::getline(table, line);)
                if (line.find(listening) != std::string::npos) return true;
        }
        return false;
    }
    // Ends it as a machine shutting it down would: its clients see the connection close.
    void stop()
    {
        if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    const std::string &address() const { return address_; }
    int port() const { return port_; }

    // A loopback port nothing listens on, for now.
    static int freePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof a;
        const bool ok = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
                        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length) == 0;
        ::close(fd);
        return ok ? ntohs(a.sin_port) : -1;
    }

  private:
    int port_;
    std::string config_, address_;
    pid_t pid_ = -1;
};

} // namespace kivrel::test
