// The main loop: reads telegrams from the port, answers them with the timing of a 4800-baud
// line, and measures how late the simulator itself is.
#pragma once

#include "line.h"
#include "protocol.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kivrel::sim
{

inline constexpr double kByteMs = 10.0 * 1000.0 / 4800.0; // start, 8 data, stop bit
inline constexpr double kTurnaroundMs = 1.0;

struct ServerConfig {
    bool fast = false;       // no wire time: answer at once, in one write
    double extraDelayMs = 0; // fault: wait this much longer before answering
    int delayOrder = 0;      // ... only this order code's answers; 0: every answer
    bool verbose = false;    // one line per telegram on the log
    std::FILE *log = stderr;
};

struct TurnaroundStats {
    std::size_t count = 0;
    double medianUs = 0;
    double maxUs = 0;
};

enum class StopReason { Stopped, HungUp, LineError };

// "kivrel-sim: since the last parameter write: marks M, edges E", without the newline.
std::string passCountLine(const PassCount &count);

class Server
{
  public:
    Server(Port &port, Engine &engine, const ServerConfig &config);
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;
    ~Server();

    // Runs until stop(), a hang-up fault or a line error.
    StopReason run();
    // Safe from another thread and from a signal handler.
    void stop();
    int wakeFd() const { return wakeWrite_; }
    // Readable once stop() was asked for, and stays so.
    int stopFd() const { return wakeRead_; }
    // A new client on the line: replies still owed to the last one are dropped.
    void lineChanged();
    // The clock telegram arrival times are on, in ms since the server was made.
    double nowMs() const;

    TurnaroundStats turnaround() const;
    const std::string &error() const { return error_; }

  private:
    struct Pending {
        std::vector<std::uint8_t> bytes;
        double dueMs = 0;
        bool hangUp = false;
    };

    bool receive(double now);
    bool transmit(double now, bool &hangUp);
    double nextWakeMs() const;

    Port &port_;
    Engine &engine_;
    ServerConfig config_;
    int wakeRead_ = -1, wakeWrite_ = -1;
    std::int64_t startNs_ = 0;
    double rxFreeMs_ = 0; // when the virtual receive line finishes the last byte
    double txFreeMs_ = 0; // when the virtual transmit line finishes the last reply
    std::vector<Pending> queue_;
    double sendStartMs_ = -1; // scheduled start of the reply at the queue front
    std::size_t sent_ = 0;
    bool blocked_ = false; // last write found the line full
    std::vector<double> lateUs_;
    std::string error_;
};

} // namespace kivrel::sim
