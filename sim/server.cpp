#include "server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

namespace kivrel::sim
{

namespace
{

std::int64_t steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void hexLine(std::FILE *f, const char *prefix, const std::uint8_t *b, std::size_t n)
{
    std::fprintf(f, "%s", prefix);
    for (std::size_t i = 0; i < n; ++i)
        std::fprintf(f, " %02X", b[i]);
    std::fprintf(f, "\n");
}

} // namespace

std::string passCountLine(const PassCount &count)
{
    return std::string("kivrel-sim: since ") +
           (count.sinceWrite ? "the last parameter write" : "start") + ": marks " +
           std::to_string(count.marks) + ", edges " + std::to_string(count.edges);
}

Server::Server(Port &port, Engine &engine, const ServerConfig &config)
    : port_(port), engine_(engine), config_(config), startNs_(steadyNs())
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = fds[0];
        wakeWrite_ = fds[1];
    }
}

Server::~Server()
{
    if (wakeRead_ >= 0) ::close(wakeRead_);
    if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

void Server::stop()
{
    const char c = 1;
    if (wakeWrite_ >= 0) [[maybe_unused]]
        auto r = ::write(wakeWrite_, &c, 1);
}

void Server::lineChanged()
{
    queue_.clear();
    sendStartMs_ = -1;
    sent_ = 0;
    blocked_ = false;
}

double Server::nowMs() const
{
    return static_cast<double>(steadyNs() - startNs_) / 1e6;
}

double Server::nextWakeMs() const
{
    if (queue_.empty()) return -1;
    const Pending &p = queue_.front();
    if (sendStartMs_ < 0) return std::max(p.dueMs, txFreeMs_);
    return sendStartMs_ + static_cast<double>(sent_) * kByteMs;
}

bool Server::receive(double now)
{
    std::uint8_t buf[256];
    const ssize_t n = ::read(port_.fd(), buf, sizeof buf);
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) return true;
        // A pseudo-terminal master reads EIO while no client holds the slave; we hold it.
        error_ = std::string("read from the line failed: ") + std::strerror(errno);
        return false;
    }
    if (n == 0) {
        // Readable yet nothing to read: the device went away.
        error_ = "the line was closed";
        return false;
    }
    // The pseudo-terminal and a TCP client hand over a whole telegram at once; a real line
    // needs a byte time for each, so the bytes are taken as arriving at that pace. A real
    // device already did.
    const bool wireTime = !config_.fast && (port_.isPty() || port_.isListening());
    for (ssize_t i = 0; i < n; ++i) {
        double arrival = now;
        if (wireTime) arrival = std::max(now, rxFreeMs_) + kByteMs;
        rxFreeMs_ = arrival;
        auto answer = engine_.feed(buf[i], arrival);
        if (!answer) continue;
        Pending p;
        p.bytes = std::move(answer->bytes);
        p.hangUp = answer->hangUp;
        // Due when the first answer byte has fully arrived at the client.
        const bool delayed = config_.delayOrder == 0 || config_.delayOrder == answer->order;
        p.dueMs = arrival + (delayed ? config_.extraDelayMs : 0.0) +
                  (config_.fast ? 0.0 : kTurnaroundMs + kByteMs);
        if (config_.verbose) {
            char prefix[96];
            std::snprintf(prefix, sizeof prefix, "%10.1f ms  order %u%s ->", arrival, answer->order,
                          answer->faulted ? " (fault)" : "");
            hexLine(config_.log, prefix, p.bytes.data(), p.bytes.size());
            // What a parameter write left in the memory it wrote, garbled bytes and all.
            if (answer->order == SendRam || answer->order == SendEeprom) {
                const bool ram = answer->order == SendRam;
                const ParamBytes &held = ram ? engine_.ram() : engine_.eeprom();
                hexLine(config_.log, ram ? "kivrel-sim: RAM holds" : "kivrel-sim: EEPROM holds",
                        held.data(), held.size());
            }
            if (!engine_.lastError().empty())
                std::fprintf(config_.log, "kivrel-sim: %s\n", engine_.lastError().c_str());
            if (answer->closed)
                std::fprintf(config_.log, "%s\n", passCountLine(*answer->closed).c_str());
            std::fflush(config_.log);
        }
        queue_.push_back(std::move(p));
    }
    return true;
}

bool Server::transmit(double now, bool &hangUp)
{
    while (!queue_.empty()) {
        Pending &p = queue_.front();
        if (sendStartMs_ < 0) {
            const double start = std::max(p.dueMs, txFreeMs_);
            if (now < start) return true;
            sendStartMs_ = start;
            sent_ = 0;
        }
        std::size_t due = p.bytes.size();
        if (!config_.fast) {
            // Everything whose slot has come, so a late wake-up does not stretch the reply.
            const auto slots = static_cast<std::size_t>((now - sendStartMs_) / kByteMs) + 1;
            due = std::min(due, slots);
        }
        if (due > sent_) {
            const ssize_t n = ::write(port_.fd(), p.bytes.data() + sent_, due - sent_);
            if (n < 0) {
                // The client stopped reading and the buffer is full: wait for room.
                if (errno == EAGAIN || errno == EINTR) {
                    blocked_ = errno == EAGAIN;
                    return true;
                }
                error_ = std::string("write to the line failed: ") + std::strerror(errno);
                return false;
            }
            if (sent_ == 0 && n > 0) lateUs_.push_back((nowMs() - sendStartMs_) * 1000.0);
            sent_ += static_cast<std::size_t>(n);
        }
        if (sent_ < p.bytes.size()) return true;
        txFreeMs_ =
            sendStartMs_ + static_cast<double>(p.bytes.size()) * (config_.fast ? 0 : kByteMs);
        const bool drop = p.hangUp;
        queue_.erase(queue_.begin());
        sendStartMs_ = -1;
        sent_ = 0;
        if (drop) {
            hangUp = true;
            return true;
        }
    }
    return true;
}

StopReason Server::run()
{
    for (;;) {
        const double wake = nextWakeMs();
        // select() rather than poll(): byte pacing needs sub-millisecond timeouts.
        timeval timeout{};
        timeval *tp = nullptr;
        if (wake >= 0 && !blocked_) {
            const auto us = static_cast<long>(std::max(0.0, wake - nowMs()) * 1000.0);
            timeout.tv_sec = us / 1000000;
            timeout.tv_usec = us % 1000000;
            tp = &timeout;
        }
        fd_set readable, writable;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_SET(port_.fd(), &readable);
        FD_SET(wakeRead_, &readable);
        if (blocked_) FD_SET(port_.fd(), &writable);
        blocked_ = false;
        const int r =
            ::select(std::max(port_.fd(), wakeRead_) + 1, &readable, &writable, nullptr, tp);
        if (r < 0 && errno != EINTR) {
            error_ = std::string("waiting on the line failed: ") + std::strerror(errno);
            return StopReason::LineError;
        }
        if (r > 0 && FD_ISSET(wakeRead_, &readable)) return StopReason::Stopped;
        if (r > 0 && FD_ISSET(port_.fd(), &readable)) {
            if (!receive(nowMs())) return StopReason::LineError;
        }
        bool hangUp = false;
        if (!transmit(nowMs(), hangUp)) return StopReason::LineError;
        if (hangUp) {
            // Let the client read the last answer before the line goes away; a hang-up
            // discards what it has not read. The pseudo-terminal passes written bytes on
            // a moment later, so the queue is looked at only after a short pause.
            ::usleep(20000);
            for (int i = 0; i < 200 && port_.unreadByClient() > 0; ++i)
                ::usleep(5000);
            port_.close();
            return StopReason::HungUp;
        }
    }
}

TurnaroundStats Server::turnaround() const
{
    TurnaroundStats s;
    s.count = lateUs_.size();
    if (lateUs_.empty()) return s;
    std::vector<double> v = lateUs_;
    std::sort(v.begin(), v.end());
    s.medianUs = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    s.maxUs = v.back();
    return s;
}

} // namespace kivrel::sim
