// A sensor behind a serial device server on the network, as one more kind of COM port:
// "rfc2217://HOST:PORT" (telnet's COM-PORT-OPTION sets the server's line) or "tcp://HOST:PORT"
// (raw bytes; the server holds the line settings). Internals of the serial ports.
#pragma once

#include "port_p.h"
#include "rfc2217.h"
#include "rs232.h"

#include <QDeadlineTimer>
#include <QString>

#include <functional>
#include <memory>

class QTcpSocket;

namespace kivrel::platform
{

// "rfc2217://..." or "tcp://...", whatever follows.
bool isNetworkAddress(const QString &device);

class NetPort final : public Port
{
  public:
    // COM `number` on the server at `address`; what makes no sense or fails later is reported
    // about it (reportAbout).
    NetPort(int number, const QString &address);
    ~NetPort() override;
    NetPort(const NetPort &) = delete;
    NetPort &operator=(const NetPort &) = delete;

    // Why `address` is no address of the form rfc2217://HOST:PORT or tcp://HOST:PORT; empty
    // when it is one.
    static QString addressError(const QString &address);

    // Looks the host up, connects and, for RFC 2217, sets the line; events are processed
    // meanwhile, for at most kOpenSeconds.
    int open(const LineSettings &line, int inputQueueSize, PortFailure *failure) override;
    // Lets go of the connection, once the server has taken what was written; an open or a
    // reconnect running further out gives up.
    void close() override;
    // Open until closed, connected or not.
    bool isOpen() const override { return !closed_; }

    // Each of these, called while the port is being opened (by a callback that the open's wait
    // ran), first waits for the open to end: nothing goes to the server before its line is set.
    //
    // A dropped connection is made again first, within `seconds`.
    int write(const char *data, int count, double seconds) override;
    int read(char *data, int count, double seconds) override;
    qint64 queued() override;
    // Over RFC 2217 the server's buffer too, and bytes from before that purge never count (the
    // server's answer is waited for at most kPurgeSeconds).
    int flushInput() override;
    int flushOutput() override;
    // Flow control on a device server is set with the line; hardware handshake is not offered.
    int setHardwareHandshake(bool on) override { return on ? RS232_UNKNOWN_SYSTEM_ERROR : 0; }

    // Said at once, as the failure comes.
    PortFailure reconnectFailure() const override { return reconnectError_; }
    QString name() const override { return address_; }

    static constexpr double kOpenSeconds = 3.0;
    static constexpr double kPurgeSeconds = 0.1;
    // How long a close waits for the server to take the last bytes and close its end.
    static constexpr double kCloseSeconds = 0.5;
    // A connection made takes no byte until none has come for kQuietSeconds (at most
    // kSettleSeconds).
    static constexpr double kQuietSeconds = 0.05;
    static constexpr double kSettleSeconds = 0.5;

  private:
    // An open goes through these; callbacks run by its waits see it under way.
    enum class Phase { Idle, Connecting, Negotiating, LineSet, Open, Failed };
    bool opening() const
    {
        return phase_ == Phase::Connecting || phase_ == Phase::Negotiating ||
               phase_ == Phase::LineSet;
    }

    // Connects (again) and waits, turning events, until the open has ended.
    int connectWithin(double seconds, PortFailure *error);
    // Takes an open under way as far as it can go now. From the socket's own signals it only
    // moves on, so a modal window's loop does not hold a negotiation up; the waits also give it
    // up and settle the line.
    void advance(bool fromSignal = false);
    void negotiate(bool fromSignal);
    void settle();
    void fail(int code, const QString &reason);
    // Waits, turning events, for an open under way to end; false when it failed.
    bool awaitOpen();
    bool connected() const;
    void purge();
    // Moves what the socket holds into the input queue, through the telnet session.
    void pump();
    void send(const QByteArray &bytes);

    int number_;
    QString address_;
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
    Phase phase_ = Phase::Idle;
    QDeadlineTimer openDeadline_;
    double openSeconds_ = 0;
    bool lineAsked_ = false;
    bool advancing_ = false;
    PortFailure openError_;
    bool reconnecting_ = false; // the open under way is a write's
    PortFailure reconnectError_;
    bool closed_ = false;
    int unansweredPurges_ = 0; // in a row, on this connection
    int purgeAnswersSeen_ = 0;
    int subnegotiationsDropped_ = 0; // those already said
};

} // namespace kivrel::platform
