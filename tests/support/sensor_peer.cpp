#include "sensor_peer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace kivrel::test
{

using Clock = std::chrono::steady_clock;

namespace
{

Clock::duration seconds(double s)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

void closeFd(int &fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

} // namespace

SensorPeer::SensorPeer()
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];

    masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd_ < 0 || ::grantpt(masterFd_) != 0 || ::unlockpt(masterFd_) != 0) {
        closeFd(masterFd_);
        return;
    }
    char name[128];
    if (::ptsname_r(masterFd_, name, sizeof name) != 0) {
        closeFd(masterFd_);
        return;
    }
    slavePath_ = name;
    ::fcntl(masterFd_, F_SETFL, ::fcntl(masterFd_, F_GETFL) | O_NONBLOCK);

    // Raw at once: a cooked slave would echo every request back to the peer.
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    termios tio{};
    if (slaveFd_ < 0 || ::tcgetattr(slaveFd_, &tio) != 0) {
        closeFd(slaveFd_);
        closeFd(masterFd_);
        return;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(slaveFd_, TCSANOW, &tio);

    thread_ = std::thread([this] { run(); });
}

ComMapping::~ComMapping()
{
    for (const auto &[n, path] : mapped_) {
        const std::string var = "KIVREL_COM" + std::to_string(n);
        const char *value = std::getenv(var.c_str());
        if (value && path == value) ::unsetenv(var.c_str());
    }
}

void ComMapping::map(int n, const std::string &path)
{
    ::setenv(("KIVREL_COM" + std::to_string(n)).c_str(), path.c_str(), 1);
    mapped_.emplace_back(n, path);
}

SensorPeer::~SensorPeer()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake();
    if (thread_.joinable()) thread_.join();
    closeFd(masterFd_);
    closeFd(slaveFd_);
    closeFd(wakeRead_);
    closeFd(wakeWrite_);
}

void SensorPeer::mapToCom(int n)
{
    std::lock_guard lock(mutex_);
    coms_.map(n, slavePath_);
}

void SensorPeer::answer(int orderCode, Reply reply)
{
    std::lock_guard lock(mutex_);
    queued_[orderCode].push_back(std::move(reply));
}

void SensorPeer::answerAlways(int orderCode, Reply reply)
{
    std::lock_guard lock(mutex_);
    always_[orderCode] = std::move(reply);
}

void SensorPeer::forgetAnswers()
{
    std::lock_guard lock(mutex_);
    queued_.clear();
}

void SensorPeer::send(Bytes bytes)
{
    {
        std::lock_guard lock(mutex_);
        Reply r(std::move(bytes));
        schedule(r, Clock::now());
    }
    wake();
}

std::size_t SensorPeer::sentCount() const
{
    std::lock_guard lock(mutex_);
    return sent_;
}

SteadyTime SensorPeer::lastWriteTime() const
{
    std::lock_guard lock(mutex_);
    return lastWrite_;
}

bool SensorPeer::waitUntilSent(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return outgoing_.empty() || hungUp_; }) &&
           !hungUp_;
}

int SensorPeer::queuedAtSlave() const
{
    std::lock_guard lock(mutex_);
    int n = 0;
    if (slaveFd_ < 0 || ::ioctl(slaveFd_, FIONREAD, &n) != 0) return -1;
    return n;
}

bool SensorPeer::waitUntilQueuedAtSlave(int count, std::chrono::milliseconds timeout) const
{
    const auto end = Clock::now() + timeout;
    for (;;) {
        const int n = queuedAtSlave();
        if (n >= count) return true;
        if (n < 0 || Clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::vector<Telegram> SensorPeer::telegrams() const
{
    std::lock_guard lock(mutex_);
    return telegrams_;
}

bool SensorPeer::waitForTelegrams(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return telegrams_.size() >= count; });
}

Bytes SensorPeer::received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

void SensorPeer::clearReceived()
{
    std::lock_guard lock(mutex_);
    telegrams_.clear();
    received_.clear();
    partial_.clear();
}

void SensorPeer::hangUp()
{
    std::unique_lock lock(mutex_);
    if (hungUp_ || !thread_.joinable()) return;
    hangUpRequested_ = true;
    wake();
    changed_.wait(lock, [this] { return hungUp_; });
}

bool SensorPeer::hungUp() const
{
    std::lock_guard lock(mutex_);
    return hungUp_;
}

void SensorPeer::wake() const
{
    const char c = 0;
    if (wakeWrite_ >= 0) (void)!::write(wakeWrite_, &c, 1);
}

// Called with the lock held.
void SensorPeer::schedule(const Reply &reply, SteadyTime from)
{
    if (reply.silent || reply.bytes.empty()) return;
    const std::size_t chunk =
        reply.chunkSize > 0 ? static_cast<std::size_t>(reply.chunkSize) : reply.bytes.size();
    SteadyTime due = from + seconds(reply.delay);
    for (std::size_t at = 0; at < reply.bytes.size(); at += chunk) {
        const std::size_t n = std::min(chunk, reply.bytes.size() - at);
        Outgoing o{due, Bytes(reply.bytes.begin() + static_cast<long>(at),
                              reply.bytes.begin() + static_cast<long>(at + n))};
        // The front entry may be half written; nothing goes before it.
        auto first = outgoing_.begin() + (outOffset_ > 0 ? 1 : 0);
        auto pos = std::upper_bound(first, outgoing_.end(), due,
                                    [](SteadyTime t, const Outgoing &e) { return t < e.due; });
        outgoing_.insert(pos, std::move(o));
        due += seconds(reply.gap);
    }
}

// Called with the lock held.
void SensorPeer::onByte(unsigned char b, SteadyTime now)
{
    received_.push_back(b);
    partial_.push_back(b);
    if (partial_.size() < TelegramSize) return;
    Telegram t{std::move(partial_), now};
    partial_.clear();
    const int code = t.order();
    telegrams_.push_back(t);
    auto q = queued_.find(code);
    if (q != queued_.end() && !q->second.empty()) {
        schedule(q->second.front(), now);
        q->second.pop_front();
    } else if (auto a = always_.find(code); a != always_.end()) {
        schedule(a->second, now);
    }
}

void SensorPeer::run()
{
    std::vector<unsigned char> buf(4096);
    for (;;) {
        int timeoutMs = -1;
        bool wantWrite = false;
        int master = -1;
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
            if (hangUpRequested_ && !hungUp_) {
                closeFd(masterFd_);
                closeFd(slaveFd_);
                outgoing_.clear();
                outOffset_ = 0;
                hungUp_ = true;
                changed_.notify_all();
            }
            master = masterFd_;
            if (master >= 0 && !outgoing_.empty()) {
                const auto left = outgoing_.front().due - Clock::now();
                if (left <= Clock::duration::zero()) {
                    wantWrite = true;
                } else {
                    const double ms = std::chrono::duration<double, std::milli>(left).count();
                    timeoutMs = static_cast<int>(std::ceil(ms));
                }
            }
        }

        pollfd fds[2] = {{wakeRead_, POLLIN, 0},
                         {master, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
        const int r = ::poll(fds, master >= 0 ? 2 : 1, timeoutMs);
        if (r < 0 && errno != EINTR) return;
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        if (master < 0 || r <= 0) continue;

        std::lock_guard lock(mutex_);
        if (masterFd_ != master) continue;
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(master, buf.data(), buf.size());
            const SteadyTime now = Clock::now();
            for (ssize_t i = 0; i < n; ++i)
                onByte(buf[static_cast<size_t>(i)], now);
            if (n > 0) changed_.notify_all();
        }
        if (fds[1].revents & POLLOUT) {
            const SteadyTime now = Clock::now();
            while (!outgoing_.empty() && outgoing_.front().due <= now) {
                Outgoing &o = outgoing_.front();
                const SteadyTime started = Clock::now();
                const ssize_t n =
                    ::write(master, o.bytes.data() + outOffset_, o.bytes.size() - outOffset_);
                if (n <= 0) break; // the line is full; poll says when it takes more
                lastWrite_ = started;
                outOffset_ += static_cast<std::size_t>(n);
                sent_ += static_cast<std::size_t>(n);
                if (outOffset_ < o.bytes.size()) break;
                outgoing_.pop_front();
                outOffset_ = 0;
            }
            changed_.notify_all();
        }
    }
}

} // namespace kivrel::test
