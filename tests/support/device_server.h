// A serial device server scripted for what ser2net does not do: an RFC 2217 negotiation answered
// late, purges left unanswered, a subnegotiation without its end. Behind it a sensor that
// answers the line check, a parameter read (kParams), a record request (eleven bytes of 5) and
// the jump buffer (sixteen bytes of 6). Plain C++ and POSIX, on a thread of its own, one client
// after the other on a free loopback port.
#pragma once

#include "sensor_data.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kivrel::test
{

class ScriptedServer
{
  public:
    // What it does on one connection (the last one's script serves every later connection).
    struct Connection {
        bool held = false; // reads nothing of the client's until release()
        // One letter a purge of the input, in order: 'A' sends a stale byte 0xEE that was on its
        // way, then answers this purge and every one held; 'H' holds its answer. Purges beyond
        // the letters are answered at once.
        std::string purges;
        std::string lineCheckPrefix; // sent before the line check's answer
        int hangUpAfter = 0;         // hangs up after this many telegrams (0: never)
    };

    explicit ScriptedServer(std::vector<Connection> script) : script_(std::move(script))
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof a;
        if (::bind(listen_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
            ::listen(listen_, 4) == 0 &&
            ::getsockname(listen_, reinterpret_cast<sockaddr *>(&a), &length) == 0)
            address_ = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedServer()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    ScriptedServer(const ScriptedServer &) = delete;
    ScriptedServer &operator=(const ScriptedServer &) = delete;

    const std::string &address() const { return address_; }
    void release() { released_ = true; }
    // In order: "connected", "line set" once every line setting is answered, "purge", and
    // "telegram O" for each telegram with order code O.
    std::vector<std::string> log() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return log_;
    }

  private:
    static constexpr unsigned char IAC = 255, SB = 250, SE = 240, DO = 253, WILL = 251;

    void note(const std::string &event)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        log_.push_back(event);
    }
    // Waits up to 20 ms for `fd`; false when it never became readable.
    static bool readable(int fd)
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 20) > 0;
    }

    void run()
    {
        for (std::size_t n = 0; !stop_;) {
            if (!readable(listen_)) continue;
            const int fd = ::accept(listen_, nullptr, nullptr);
            if (fd < 0) continue;
            note("connected");
            serve(fd, script_[std::min(n++, script_.size() - 1)]);
            ::close(fd);
        }
    }

    void serve(int fd, const Connection &c)
    {
        Bytes in, data;
        std::size_t purges = 0, telegrams = 0;
        int held = 0;
        const auto send = [fd](Bytes b, const Bytes &more = {}) {
            b.insert(b.end(), more.begin(), more.end());
            (void)!::write(fd, b.data(), b.size());
        };
        while (!stop_) {
            if (c.held && !released_) {
                ::usleep(5000);
                continue;
            }
            if (!readable(fd)) continue;
            unsigned char buf[512];
            const ssize_t got = ::read(fd, buf, sizeof buf);
            if (got <= 0) return;
            in.insert(in.end(), buf, buf + got);
            // Telnet, a whole command at a time; the rest waits for more bytes.
            std::size_t i = 0;
            while (i < in.size()) {
                if (in[i] != IAC) {
                    data.push_back(in[i++]);
                    continue;
                }
                if (i + 2 >= in.size()) break;
                if (in[i + 1] == IAC) {
                    data.push_back(IAC);
                    i += 2;
                } else if (in[i + 1] == SB) {
                    std::size_t end = i + 2;
                    while (end + 1 < in.size() && !(in[end] == IAC && in[end + 1] == SE))
                        ++end;
                    if (end + 1 >= in.size()) break;
                    subnegotiation(Bytes(in.begin() + long(i) + 2, in.begin() + long(end)), c,
                                   purges, held, send);
                    i = end + 2;
                } else {
                    if (in[i + 1] == WILL && in[i + 2] == 44) send({IAC, DO, 44});
                    i += in[i + 1] >= WILL ? 3 : 2;
                }
            }
            in.erase(in.begin(), in.begin() + long(i));
            while (data.size() >= 17) {
                if (data[0] != 0x55) {
                    data.erase(data.begin());
                    continue;
                }
                const int order = data[1];
                data.erase(data.begin(), data.begin() + 17);
                note("telegram " + std::to_string(order));
                if (order == 7)
                    send(Bytes(c.lineCheckPrefix.begin(), c.lineCheckPrefix.end()), kLineOk);
                if (order == 3 || order == 4) send(kParams);
                if (order == 5 || order == 6) send(Bytes(order == 5 ? 11 : 16, order));
                if (++telegrams == std::size_t(c.hangUpAfter)) return;
            }
        }
    }

    // COM-PORT-OPTION's line settings answered as asked, purges by the script.
    template <typename Send>
    void subnegotiation(const Bytes &sub, const Connection &c, std::size_t &purges, int &held,
                        const Send &send)
    {
        if (sub.size() < 3 || sub[0] != 44) return;
        if (sub[1] == 12 && sub[2] == 1) {
            note("purge");
            const char what = purges < c.purges.size() ? c.purges[purges] : 'A';
            ++purges, ++held;
            if (what == 'H') return;
            send({0xEE});
            for (; held > 0; --held)
                send({IAC, SB, 44, 112, 1, IAC, SE});
        } else if (sub[1] >= 1 && sub[1] <= 5) {
            Bytes answer{IAC, SB, 44, static_cast<unsigned char>(sub[1] + 100)};
            answer.insert(answer.end(), sub.begin() + 2, sub.end());
            send(answer, {IAC, SE});
            if (sub[1] == 5 && sub[2] == 1) note("line set");
        }
    }

    std::vector<Connection> script_;
    int listen_ = -1;
    std::string address_;
    std::atomic<bool> stop_{false}, released_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> log_;
};

} // namespace kivrel::test
