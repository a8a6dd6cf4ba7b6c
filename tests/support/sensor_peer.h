// A scripted sensor on the far end of a pseudo-terminal pair.
//
// The program opens the slave side as a serial port (mapToCom makes it COM n); the peer
// works the master side from its own thread. It cuts what it receives into 17-byte
// telegrams, time-stamps them, and answers each one as scripted for its order code.
// The peer keeps a slave descriptor of its own open, so the master never sees a hang-up
// when the program closes its port. Every member is safe to call from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kivrel::test
{

using Bytes = std::vector<unsigned char>;
using SteadyTime = std::chrono::steady_clock::time_point;

// One scripted answer to a telegram.
struct Reply {
    Bytes bytes;
    double delay = 0.0;  // seconds from the telegram's arrival to the first byte sent
    int chunkSize = 0;   // bytes per write; 0 sends everything in one write
    double gap = 0.0;    // seconds between chunks
    bool silent = false; // send nothing at all

    Reply() = default;
    explicit Reply(Bytes b) : bytes(std::move(b)) {}
    Reply &after(double seconds)
    {
        delay = seconds;
        return *this;
    }
    Reply &inChunks(int size, double gapSeconds)
    {
        chunkSize = size;
        gap = gapSeconds;
        return *this;
    }
    static Reply silence()
    {
        Reply r;
        r.silent = true;
        return r;
    }
};

struct Telegram {
    Bytes bytes;     // all 17 bytes as received
    SteadyTime time; // when the last of them arrived
    int order() const { return bytes.size() > 1 ? bytes[1] : -1; }
};

// COM numbers mapped to a device (KIVREL_COM<n> set to its path) for as long as this lives;
// a number mapped to another device since is left as it is.
class ComMapping
{
  public:
    ComMapping() = default;
    ~ComMapping();
    ComMapping(const ComMapping &) = delete;
    ComMapping &operator=(const ComMapping &) = delete;
    void map(int n, const std::string &path);

  private:
    std::vector<std::pair<int, std::string>> mapped_;
};

class SensorPeer
{
  public:
    static constexpr std::size_t TelegramSize = 17;

    // Opens the pair and starts the peer's thread; ok() tells whether that worked.
    SensorPeer();
    // Stops the thread, closes every descriptor and unmaps the COM numbers.
    ~SensorPeer();
    SensorPeer(const SensorPeer &) = delete;
    SensorPeer &operator=(const SensorPeer &) = delete;

    bool ok() const { return masterFd_ >= 0 && slaveFd_ >= 0; }
    const std::string &slavePath() const { return slavePath_; }
    // Sets KIVREL_COM<n> to the slave's path for as long as the peer lives.
    void mapToCom(int n);

    // Queues one answer for the next telegram with this order code.
    void answer(int orderCode, Reply reply);
    // Queues "no answer" for the next telegram with this order code.
    void silent(int orderCode) { answer(orderCode, Reply::silence()); }
    // The answer for this order code whenever its queue is empty (the default is silence).
    void answerAlways(int orderCode, Reply reply);
    // Drops every queued answer not yet given.
    void forgetAnswers();

    // Sends bytes unasked, as soon as the line takes them.
    void send(Bytes bytes);
    // Bytes sent so far, unasked or scripted, and accepted by the line.
    std::size_t sentCount() const;
    // When the last write to the line began (for latency figures).
    SteadyTime lastWriteTime() const;
    // Waits until everything queued for sending has been handed to the line.
    bool waitUntilSent(std::chrono::milliseconds timeout);
    // Bytes the program has not yet taken from the slave side's input queue.
    int queuedAtSlave() const;
    // Waits until the slave's input queue holds at least `count` bytes.
    bool waitUntilQueuedAtSlave(int count, std::chrono::milliseconds timeout) const;

    std::vector<Telegram> telegrams() const;
    bool waitForTelegrams(std::size_t count, std::chrono::milliseconds timeout) const;
    // Every byte received, telegram or not.
    Bytes received() const;
    // Forgets telegrams, received bytes and a partial telegram.
    void clearReceived();

    // Closes the master and the peer's slave descriptor, as an adapter pulled out would.
    void hangUp();
    bool hungUp() const;

  private:
    struct Outgoing {
        SteadyTime due;
        Bytes bytes;
    };

    void run();
    void onByte(unsigned char b, SteadyTime now);
    void schedule(const Reply &reply, SteadyTime from);
    void wake() const;

    int masterFd_ = -1;
    int slaveFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::string slavePath_;
    ComMapping coms_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<int, std::deque<Reply>> queued_;
    std::map<int, Reply> always_;
    std::deque<Outgoing> outgoing_; // kept in order of due time
    std::size_t outOffset_ = 0;     // bytes of the front entry already written
    std::size_t sent_ = 0;
    SteadyTime lastWrite_{};
    Bytes partial_;
    Bytes received_;
    std::vector<Telegram> telegrams_;
    bool stop_ = false;
    bool hangUpRequested_ = false;
    bool hungUp_ = false;
    std::thread thread_;
};

} // namespace kivrel::test
