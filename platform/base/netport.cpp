// A COM port on a serial device server, over Qt Network in the program's own event loop.
//
// Looking the host up and connecting run in the background while the caller's wait processes
// events, so the window stays live; only the small waits on bytes already on their way (a
// write, a read of bytes counted, the answer to a purge) block, as a serial port's would.
#include "netport_p.h"

#include "eventloop.h"
#include "eventloop_p.h"
#include "ports_p.h"
#include "rs232.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <chrono>
#include <cstring>
#include <thread>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace kivrel::platform
{
namespace
{

// A server that leaves this many purges in a row unanswered is sent the next ones without
// waiting, until it answers one (however late) or the connection is made again.
constexpr int kPurgesUnanswered = 3;

QDeadlineTimer deadlineIn(double seconds)
{
    return QDeadlineTimer(qint64(std::max(0.0, seconds) * 1000.0));
}

// One turn of a wait, the way the logic's own waits turn.
void spinOnce()
{
    if (ProcessSystemEvents() < 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// ser2net says why before it hangs up on a client ("Port already in use").
QString hungUp(const QByteArray &said)
{
    const QString words = QString::fromLatin1(said).simplified();
    return QStringLiteral("the server closed the connection") +
           (words.isEmpty() ? QString() : QStringLiteral(": ") + words);
}

int remainingMs(const QDeadlineTimer &deadline)
{
    return int(std::max<qint64>(0, deadline.remainingTime()));
}

struct Address {
    QString host;
    quint16 port = 0;
    bool rfc2217 = false;
    QString error;
};

// SCHEME://HOST:PORT and nothing more: a port number, no user, no path. A trailing slash is
// how addresses are often copied and says nothing.
Address parseAddress(const QString &text)
{
    Address a;
    const QString address = text.trimmed();
    const qsizetype schemeEnd = address.indexOf(u"://");
    a.rfc2217 = address.left(schemeEnd).compare(u"rfc2217", Qt::CaseInsensitive) == 0;
    const QString rest = address.mid(schemeEnd + 3); // the caller saw "://"
    static const QRegularExpression authorityEnd(QStringLiteral("[/?#]"));
    const qsizetype end = rest.indexOf(authorityEnd);
    const QString authority = rest.left(end);
    const QString after = end < 0 ? QString() : rest.mid(end);
    static const QRegularExpression hostPort(
        QStringLiteral(R"(^(\[[^\]]*\]|[^:\[\]]*)(:(\d*))?$)"));
    const QRegularExpressionMatch m = hostPort.match(authority);
    QUrl host;
    host.setHost(m.captured(1), QUrl::StrictMode);
    bool number = false;
    const qulonglong port = m.captured(3).toULongLong(&number);
    QString why;
    if (authority.contains(u'@'))
        why = QStringLiteral("no user before the host");
    else if (!after.isEmpty() && after != u"/")
        why = QStringLiteral("nothing after the port, not \"%1\"").arg(after);
    else if (!m.hasMatch() || !host.isValid())
        why = QStringLiteral("no such host name (an IPv6 address goes in brackets)");
    else if (m.captured(1).isEmpty())
        why = QStringLiteral("no host");
    else if (m.captured(3).isEmpty())
        why = QStringLiteral("no port");
    else if (!number || port < 1 || port > 65535)
        why = QStringLiteral("port %1 is not 1 to 65535").arg(m.captured(3));
    if (!why.isEmpty()) {
        a.error = QStringLiteral("not an address of the form rfc2217://HOST:PORT or "
                                 "tcp://HOST:PORT: ") +
                  why;
        return a;
    }
    a.host = host.host();
    a.port = quint16(port);
    return a;
}

} // namespace

bool isNetworkAddress(const QString &device)
{
    return device.startsWith(u"rfc2217://", Qt::CaseInsensitive) ||
           device.startsWith(u"tcp://", Qt::CaseInsensitive);
}

NetPort::NetPort(int number, const QString &address) : number_(number), address_(address)
{
    const Address a = parseAddress(address);
    host_ = a.host;
    port_ = a.port;
    rfc2217_ = a.rfc2217;
    addressError_ = a.error;
}

NetPort::~NetPort() = default;

QString NetPort::addressError(const QString &address)
{
    return parseAddress(address).error;
}

int NetPort::open(const LineSettings &line, int inputQueueSize, PortFailure *failure)
{
    if (line.baudRate <= 0 || line.baudRate > INT_MAX || line.parity < 0 || line.parity > 4 ||
        line.dataBits < 5 || line.dataBits > 8 || line.stopBits < 1 || line.stopBits > 2) {
        *failure = {RS232_UNKNOWN_SYSTEM_ERROR, COM_OPEN_FAILED,
                    QStringLiteral("the line settings are out of range"), false};
        return failure->code;
    }
    line_ = {std::uint32_t(line.baudRate), line.dataBits, line.parity, line.stopBits};
    queueSize_ = inputQueueSize > 0 ? inputQueueSize : queueSize_;
    if (!addressError_.isEmpty()) {
        *failure = {RS232_NO_PORT_FOUND, COM_OPEN_NETWORK, addressError_};
        return failure->code;
    }
    const int code = connectWithin(kOpenSeconds, failure);
    if (code == 0) portsChanged();
    return code;
}

void NetPort::close()
{
    closed_ = true;
    if (socket_ && socket_->state() == QAbstractSocket::ConnectedState && !opening()) {
        // A telegram just written must reach the device. A server drops what its serial line
        // has not yet sent when the client goes (ser2net does), so the line gets the time it
        // takes for the last bytes written; closing with bytes from the server unread would
        // reset the connection and lose what the server had not read of ours, so our end goes
        // first, then what the server still says, until it closes.
        std::this_thread::sleep_for(std::chrono::milliseconds(
            std::max<qint64>(0, std::min<qint64>(lineBusy_.remainingTime(), 1000))));
#ifdef Q_OS_UNIX
        ::shutdown(int(socket_->socketDescriptor()), SHUT_WR);
#endif
        const QDeadlineTimer deadline = deadlineIn(kCloseSeconds);
        while (socket_->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            socket_->waitForReadyRead(remainingMs(deadline));
            socket_->readAll();
        }
    }
    if (socket_) socket_->abort();
    input_.clear();
}

bool NetPort::connected() const
{
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState;
}

int NetPort::connectWithin(double seconds, PortFailure *error)
{
    if (!socket_) {
        socket_ = std::make_unique<QTcpSocket>();
        QTcpSocket *socket = socket_.get();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this] {
            pump();
            advance(true);
        });
        QObject::connect(socket, &QTcpSocket::connected, socket, [this] { advance(true); });
    }
    socket_->abort();
    session_ = rfc2217::Session{};
    input_.clear();
    // Every connection waits for its purges' answers again.
    unansweredPurges_ = 0;
    purgeAnswersSeen_ = 0;
    subnegotiationsDropped_ = 0;
    closed_ = false;
    lineAsked_ = false;
    openError_ = {};
    openSeconds_ = seconds;
    openDeadline_ = deadlineIn(seconds);
    phase_ = Phase::Connecting;
    socket_->connectToHost(host_, port_);
    while (opening()) {
        advance();
        if (opening()) spinOnce();
    }
    *error = openError_;
    return error->code;
}

void NetPort::advance(bool fromSignal)
{
    // The settling below waits on the socket, whose signals come back here.
    if (advancing_ || !opening()) return;
    advancing_ = true;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{advancing_};

    if (!fromSignal && (closed_ || terminating())) {
        fail(RS232_ERROR, QString::fromLatin1(closed_ ? "closed while connecting"
                                                      : "asked to end while connecting"));
        return;
    }
    if (phase_ == Phase::Connecting) {
        if (connected()) {
            // A 17-byte request leaves at once, not when Nagle's algorithm thinks it worth a
            // packet.
            socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            if (rfc2217_) {
                // The line settings only once the server takes COM-PORT commands at all.
                send(session_.greeting());
                phase_ = Phase::Negotiating;
            } else {
                phase_ = Phase::LineSet;
            }
        } else if (fromSignal) {
            return;
        } else if (socket_->state() == QAbstractSocket::UnconnectedState) {
            const auto e = socket_->error();
            fail(e == QAbstractSocket::HostNotFoundError    ? RS232_NO_PORT_FOUND
                 : e == QAbstractSocket::SocketTimeoutError ? RS232_TIMEOUT
                                                            : RS232_CANNOT_OPEN_PORT,
                 socket_->errorString());
            return;
        } else if (openDeadline_.hasExpired()) {
            fail(RS232_TIMEOUT, QStringLiteral("no connection within %1 s").arg(openSeconds_));
            return;
        }
    }
    if (phase_ == Phase::Negotiating) negotiate(fromSignal);
    if (phase_ == Phase::LineSet && !fromSignal) settle();
}

void NetPort::negotiate(bool fromSignal)
{
    pump();
    if (!lineAsked_ && session_.accepted()) {
        send(session_.configure(line_));
        lineAsked_ = true;
    }
    QString why;
    if (lineAsked_ && session_.configured(&why)) {
        if (why.isEmpty())
            phase_ = Phase::LineSet;
        else if (!fromSignal)
            fail(RS232_UNKNOWN_SYSTEM_ERROR, why);
        return;
    }
    if (fromSignal) return;
    const QString raw = QStringLiteral("; a raw TCP port is tcp://%1:%2").arg(host_).arg(port_);
    if (session_.refused())
        fail(RS232_UNKNOWN_SYSTEM_ERROR,
             QStringLiteral("the server takes no RFC 2217 commands") + raw);
    else if (!connected())
        fail(RS232_CANNOT_OPEN_PORT, hungUp(input_));
    else if (openDeadline_.hasExpired())
        fail(RS232_TIMEOUT,
             QStringLiteral("no answer to the RFC 2217 negotiation within %1 s").arg(openSeconds_) +
                 raw);
}

void NetPort::settle()
{
    // The device may have answered a request sent before the connection dropped. A server
    // reads such bytes as soon as a client comes and may pass them on a few milliseconds later
    // (ser2net's character delay), even after answering a purge: they go until the line has been
    // quiet for a while.
    pump();
    QByteArray dropped = input_; // the server's words, should it hang up
    purge();
    const QDeadlineTimer settle = deadlineIn(std::min<double>(
        kSettleSeconds, std::max<qint64>(0, openDeadline_.remainingTime()) / 1000.0));
    QDeadlineTimer quiet = deadlineIn(kQuietSeconds);
    while (!quiet.hasExpired() && !settle.hasExpired() && connected()) {
        socket_->waitForReadyRead(remainingMs(quiet));
        pump();
        if (input_.isEmpty()) continue;
        dropped += input_;
        input_.clear();
        quiet = deadlineIn(kQuietSeconds);
    }
    if (!connected()) {
        fail(RS232_CANNOT_OPEN_PORT, hungUp(dropped + session_.purged()));
        return;
    }
    phase_ = Phase::Open;
}

void NetPort::fail(int code, const QString &reason)
{
    if (socket_) socket_->abort();
    input_.clear(); // what the server said is in the reason, and no sensor's reply
    openError_ = {code, COM_OPEN_NETWORK, reason};
    phase_ = Phase::Failed;
    // Said at once: the command that found the server away reports only once its wait is over.
    if (reconnecting_ && !closed_ && !terminating()) {
        reconnectError_ = openError_;
        reportAbout(number_, address_, COM_SAYS_FAILURE, QStringLiteral("cannot open: ") + reason);
    }
}

bool NetPort::awaitOpen()
{
    if (!opening()) return true;
    while (opening()) {
        advance();
        if (opening()) spinOnce();
    }
    return phase_ == Phase::Open && !closed_;
}

void NetPort::pump()
{
    if (!socket_) return;
    QByteArray reply;
    while (input_.size() < queueSize_ && socket_->bytesAvailable() > 0) {
        const QByteArray chunk = socket_->read(queueSize_ - input_.size());
        if (chunk.isEmpty()) break;
        if (rfc2217_)
            session_.receive(chunk.constData(), chunk.size(), input_, reply);
        else
            input_ += chunk;
    }
    if (!reply.isEmpty()) send(reply);
    if (session_.droppedSubnegotiations() != subnegotiationsDropped_) {
        subnegotiationsDropped_ = session_.droppedSubnegotiations();
        reportAbout(number_, address_, COM_SAYS_NOTICE,
                    QStringLiteral("a telnet subnegotiation of more than %1 bytes came without "
                                   "its end, and was dropped")
                        .arg(rfc2217::Session::kMaxSubnegotiation));
    }
}

void NetPort::send(const QByteArray &bytes)
{
    if (!connected()) return;
    socket_->write(bytes);
    socket_->flush();
}

int NetPort::write(const char *data, int count, double seconds)
{
    // A callback run by an open's wait waits for that open, and never starts another.
    if (opening() && !awaitOpen()) return closed_ ? RS232_PORT_NOT_OPEN : RS232_IO_ERROR;
    if (closed_) return RS232_PORT_NOT_OPEN;
    if (!connected()) {
        // The connection dropped since the last write: made again, within this write's limit.
        reconnecting_ = true;
        PortFailure error;
        const int code = connectWithin(seconds, &error);
        reconnecting_ = false;
        if (code < 0) return RS232_IO_ERROR;
    }
    reconnectError_ = {};
    const QByteArray bytes =
        rfc2217_ ? rfc2217::escape(data, count) : QByteArray(data, qsizetype(count));
    if (socket_->write(bytes) != bytes.size()) return RS232_IO_ERROR;
    socket_->flush();
    // Ten bits a byte on the server's line, and a little for the server itself.
    lineBusy_ = deadlineIn(count * 10.0 / std::max<std::uint32_t>(line_.baudRate, 1) + 0.02);
    const QDeadlineTimer deadline = deadlineIn(seconds);
    while (socket_->bytesToWrite() > 0 && connected() && !deadline.hasExpired())
        socket_->waitForBytesWritten(remainingMs(deadline));
    if (!connected()) return RS232_IO_ERROR;
    // What is still in the socket's buffer is the tail of these bytes.
    return count - int(std::min<qint64>(socket_->bytesToWrite(), count));
}

int NetPort::read(char *data, int count, double seconds)
{
    awaitOpen();
    int moved = 0;
    const QDeadlineTimer deadline = deadlineIn(seconds);
    for (;;) {
        pump();
        const int take = int(std::min<qsizetype>(count - moved, input_.size()));
        std::memcpy(data + moved, input_.constData(), size_t(take));
        input_.remove(0, take);
        moved += take;
        if (moved >= count || !connected() || deadline.hasExpired()) break;
        socket_->waitForReadyRead(remainingMs(deadline));
    }
    return moved;
}

qint64 NetPort::queued()
{
    awaitOpen();
    pump();
    return input_.size();
}

int NetPort::flushInput()
{
    if (awaitOpen()) purge();
    return 0;
}

void NetPort::purge()
{
    pump();
    input_.clear();
    if (!rfc2217_ || !connected()) return;
    // An answer since the last purge, however late: the server does answer, so it is waited for.
    if (session_.purgeAnswers() != purgeAnswersSeen_) unansweredPurges_ = 0;
    send(session_.purgeInput());
    if (unansweredPurges_ < kPurgesUnanswered) {
        const QDeadlineTimer deadline = deadlineIn(kPurgeSeconds);
        while (session_.purging() && connected() && !deadline.hasExpired()) {
            socket_->waitForReadyRead(remainingMs(deadline));
            pump();
        }
        unansweredPurges_ = session_.purging() ? unansweredPurges_ + 1 : 0;
    }
    // Whatever comes from here counts, answered or not.
    session_.givePurgeUp();
    purgeAnswersSeen_ = session_.purgeAnswers();
}

int NetPort::flushOutput()
{
    if (awaitOpen() && rfc2217_ && connected()) send(session_.purgeOutput());
    return 0;
}

} // namespace kivrel::platform
