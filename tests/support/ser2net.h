// ser2net, the serial device server Debian ships, in front of a pseudo-terminal on a free
// loopback port: over RFC 2217 or as raw TCP. Plain C++ and POSIX, for the tests and the
// benchmarks alike.
#pragma once

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace kivrel::test
{

class Ser2net
{
  public:
    // Its configuration goes to `folder`, named .yaml: any other name makes ser2net read it in
    // its old format, and it refuses connections.
    Ser2net(const std::string &device, bool rfc2217, const std::string &folder)
        : port_(freePort()), config_(folder + "/ser2net-" + std::to_string(port_) + ".yaml"),
          rfc2217_(rfc2217)
    {
        std::ofstream out(config_);
        out << "%YAML 1.1\n---\nconnection: &sensor\n  accepter: "
            << (rfc2217 ? "telnet(rfc2217),tcp" : "tcp") << ",127.0.0.1," << port_
            << "\n  connector: serialdev," << device << ",4800n81,local\n";
    }
    ~Ser2net() { stop(); }
    Ser2net(const Ser2net &) = delete;
    Ser2net &operator=(const Ser2net &) = delete;

    // Starts it (again, on the same port); true once it listens.
    bool start()
    {
        if (pid_ > 0 || port_ <= 0) return pid_ > 0;
        posix_spawn_file_actions_t quiet; // it says "Unable to start mdns" in containers
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        std::string program = "ser2net";
        for (const char *path :
             {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"})
            if (::access(path, X_OK) == 0) program = path;
        const char *argv[] = {program.c_str(), "-n", "-u", "-c", config_.c_str(), nullptr};
        const int rc = posix_spawnp(&pid_, program.c_str(), &quiet, nullptr,
                                    const_cast<char **>(argv), environ);
        posix_spawn_file_actions_destroy(&quiet);
        if (rc != 0) pid_ = -1;
        for (int i = 0; i < 500 && pid_ > 0; ++i) {
            if (listening()) return true;
            ::usleep(10000);
        }
        return false;
    }
    // Ends it as a machine shutting it down would; its clients see the connection close.
    void stop()
    {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    std::string address() const
    {
        return std::string(rfc2217_ ? "rfc2217" : "tcp") + "://127.0.0.1:" + std::to_string(port_);
    }
    int port() const { return port_; }

    // A loopback port nothing listens on (for now).
    static int freePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        int port = -1;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length) == 0)
            port = ntohs(a.sin_port);
        ::close(fd);
        return port;
    }

  private:
    // The kernel's table of TCP sockets has one listening on the port: looked up there, since
    // a connection to find out would make ser2net open the device.
    bool listening() const
    {
        std::ifstream table("/proc/net/tcp");
        char wanted[16];
        std::snprintf(wanted, sizeof wanted, ":%04X", port_);
        std::string line;
        while (std::getline(table, line)) {
            char local[64] = "", remote[64] = "", state[8] = "";
            if (std::sscanf(line.c_str(), "%*s %63s %63s %7s", local, remote, state) == 3 &&
                std::string(local).ends_with(wanted) && std::string(state) == "0A")
                return true;
        }
        return false;
    }

    int port_;
    std::string config_;
    bool rfc2217_;
    pid_t pid_ = -1;
};

} // namespace kivrel::test
