// A serial device server scripted for what ser2net does not do: an RFC 2217 negotiation answered
// late, purges left unanswered, a subnegotiation without its end. Behind it a sensor that
// answers the line check, a parameter read (kParams) and a record request (eleven bytes of 5).
// On a thread of its own, one client after the other, on a free loopback port. It takes the
// telnet the program sends, no more: no doubled 0xFF, no command split between two reads.
#pragma once

#include "sensor_data.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace kivrel::test
{

class ScriptedServer
{
  public:
    // What it does on one connection; the last one's script serves any later connection.
    struct Connection {
        bool held = false; // reads nothing of the client's until release()
        // A letter a purge of the input: 'A' sends a stale byte 0xEE, then answers this purge and
        // every one held; 'H' holds its answer. Purges beyond the letters are answered.
        std::string purges = "";
        std::string replyPrefix = ""; // sent before each of the sensor's replies
        int hangUpAfter = 0;          // telegrams after which it hangs up (0: never)
    };

    explicit ScriptedServer(std::vector<Connection> script) : script_(std::move(script))
    {
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof a;
        ::bind(listen_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(listen_, 4);
        ::getsockname(listen_, reinterpret_cast<sockaddr *>(&a), &length);
        address_ = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
        thread_ = std::thread([this] {
            for (std::size_t n = 0; !stop_;)
                if (readable(listen_))
                    serve(::accept(listen_, nullptr, nullptr),
                          script_[std::min(n++, script_.size() - 1)]);
        });
    }
    ~ScriptedServer()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }

    const std::string &address() const { return address_; }
    void release() { released_ = true; }
    // What it saw, in order: "line set" once the line settings are answered, "purge", "7" for a
    // telegram of order code 7; comma-separated.
    std::string log() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return log_.substr(std::min<std::size_t>(1, log_.size()));
    }

  private:
    static bool readable(int fd)
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 10) > 0;
    }
    void note(const std::string &event)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        log_ += "," + event;
    }

    void serve(int fd, const Connection &c)
    {
        const auto send = [fd](const std::string &bytes) {
            (void)!::write(fd, bytes.data(), bytes.size());
        };
        std::string in, sub;
        std::size_t purges = 0, telegrams = 0, held = 0;
        char buf[512];
        for (ssize_t got = 1; got > 0 && !stop_;) {
            if (c.held && !released_) {
                ::usleep(5000);
                continue;
            }
            if (!readable(fd)) continue;
            if ((got = ::read(fd, buf, sizeof buf)) > 0) in.append(buf, size_t(got));
            for (std::size_t end; !in.empty(); in.erase(0, end)) {
                end = 1;
                if (in.starts_with("\xFF\xFB\x2C")) send("\xFF\xFD\x2C"); // WILL COM-PORT: DO
                if (in[0] == '\xFF' && in.size() > 1 && in[1] != '\xFA') end = 3; // an option
                // A subnegotiation waits for its end (npos + 2 is 1).
                if (in.starts_with("\xFF\xFA") && (end = in.find("\xFF\xF0") + 2) == 1) break;
                if (in.starts_with("\xFF\xFA\x2C\x0C\x01")) { // purge the input
                    note("purge");
                    held++;
                    if (purges < c.purges.size() && c.purges[purges++] == 'H') continue;
                    for (send("\xEE"); held > 0; --held)
                        send(std::string("\xFF\xFA\x2C\x70\x01\xFF\xF0", 7));
                } else if (in.starts_with("\xFF\xFA\x2C") && in[3] >= 1 && in[3] <= 5) {
                    sub = in.substr(0, end); // a line setting: answered as asked
                    sub[3] = char(sub[3] + 100);
                    send(sub);
                    if (in[3] == 5 && in[4] == 1) note("line set");
                } else if (in[0] == 0x55 && in.size() < 17) {
                    break;
                } else if (in[0] == 0x55) {
                    end = 17;
                    note(std::to_string(in[1]));
                    if (in[1] == 7) send(c.replyPrefix + "\xAA\x04" + std::string(1, '\0'));
                    if (in[1] == 3)
                        send(c.replyPrefix + std::string(kParams.begin(), kParams.end()));
                    if (in[1] == 5) send(c.replyPrefix + std::string(11, '\x05'));
                    if (++telegrams == std::size_t(c.hangUpAfter)) got = 0;
                }
            }
        }
        ::close(fd);
    }

    std::vector<Connection> script_;
    int listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    std::string address_;
    std::atomic<bool> stop_{false}, released_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::string log_;
};

} // namespace kivrel::test
