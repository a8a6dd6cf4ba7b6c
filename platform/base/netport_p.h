// A sensor behind a serial device server on the network, as one more kind of COM port:
// "rfc2217://HOST:PORT" (telnet's COM-PORT-OPTION sets the server's line) or "tcp://HOST:PORT"
// (raw bytes; the server holds the line settings). Internals of the serial ports.
#pragma once

#include "rfc2217.h"

#include <QDeadlineTimer>
#include <QString>

#include <memory>

class QTcpSocket;

namespace kivrel::platform
{

// "rfc2217://..." or "tcp://...", whatever follows.
bool isNetworkAddress(const QString &device);

// Why an open failed, as the RS-232 library's code and the words for it.
struct NetOpenError {
    int code = 0;
    QString reason;
};

class NetPort
{
  public:
    explicit NetPort(const QString &address);
    ~NetPort();
    NetPort(const NetPort &) = delete;
    NetPort &operator=(const NetPort &) = delete;

    // Looks the host up, connects and, for RFC 2217, sets the line; events are processed
    // meanwhile, for at most kOpenSeconds. 0, or a negative code with the reason in `error`.
    int open(const rfc2217::Line &line, int inputQueueSize, NetOpenError *error);
    // Lets go of the connection, once the server has taken what was written; an open or a
    // reconnect running further out gives up.
    void close();

    // As ComWrt: a dropped connection is made again first, within `seconds`.
    int write(const char *data, int count, double seconds);
    // As ComRd and GetInQLen.
    int read(char *data, int count, double seconds);
    int queued();
    // As FlushInQ: over RFC 2217 the server's buffer too, and bytes from before that purge
    // never count (the server's answer is waited for at most kPurgeSeconds).
    void flushInput();
    void flushOutput();

    static constexpr double kOpenSeconds = 3.0;
    static constexpr double kPurgeSeconds = 0.1;
    // How long a close waits for the server to take the last bytes and close its end.
    static constexpr double kCloseSeconds = 0.5;
    // A connection made takes no byte until none has come for kQuietSeconds (at most
    // kSettleSeconds).
    static constexpr double kQuietSeconds = 0.05;
    static constexpr double kSettleSeconds = 0.5;

  private:
    int connectWithin(double seconds, NetOpenError *error);
    bool negotiateWithin(const QDeadlineTimer &deadline, NetOpenError *error);
    // Moves what the socket holds into the input queue, through the telnet session.
    void pump();
    void send(const QByteArray &bytes);

    QString host_;
    quint16 port_ = 0;
    bool rfc2217_ = false;
    QString addressError_;
    rfc2217::Line line_;
    int queueSize_ = 1024;
    std::unique_ptr<QTcpSocket> socket_;
    rfc2217::Session session_;
    QByteArray input_;
    QDeadlineTimer lineBusy_; // until the server's line has sent what was written last
    bool connecting_ = false;
    bool closed_ = false;
    int unansweredPurges_ = 0; // in a row; a server that never answers is not waited for
};

} // namespace kivrel::platform
