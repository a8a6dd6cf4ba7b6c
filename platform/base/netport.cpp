// A COM port on a serial device server, over Qt Network in the program's own event loop.
//
// Looking the host up and connecting run in the background while the caller's wait processes
// events, so the window stays live; only the small waits on bytes already on their way (a
// write, a read of bytes counted, the answer to a purge) block, as a serial port's would.
#include "netport_p.h"

#include "eventloop.h"
#include "eventloop_p.h"
#include "rs232.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QUrl>

#include <algorithm>
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

// A server that leaves this many purges in a row unanswered is not waited for any more.
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

} // namespace

bool isNetworkAddress(const QString &device)
{
    return device.startsWith(u"rfc2217://", Qt::CaseInsensitive) ||
           device.startsWith(u"tcp://", Qt::CaseInsensitive);
}

NetPort::NetPort(const QString &address)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const int port = url.port(-1);
    rfc2217_ = url.scheme() == u"rfc2217";
    host_ = url.host();
    port_ = quint16(port);
    if (!url.isValid() || host_.isEmpty() || port < 1 || port > 65535 ||
        (!url.path().isEmpty() && url.path() != u"/") || url.hasQuery() || url.hasFragment() ||
        !url.userInfo().isEmpty())
        addressError_ = QStringLiteral("not an address of the form rfc2217://HOST:PORT or "
                                       "tcp://HOST:PORT (an IPv6 address in brackets)");
}

NetPort::~NetPort() = default;

int NetPort::open(const rfc2217::Line &line, int inputQueueSize, NetOpenError *error)
{
    line_ = line;
    queueSize_ = inputQueueSize > 0 ? inputQueueSize : queueSize_;
    if (!addressError_.isEmpty()) {
        *error = {RS232_NO_PORT_FOUND, addressError_};
        return error->code;
    }
    return connectWithin(kOpenSeconds, error);
}

void NetPort::close()
{
    closed_ = true;
    if (socket_ && socket_->state() == QAbstractSocket::ConnectedState) {
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

int NetPort::connectWithin(double seconds, NetOpenError *error)
{
    // A callback run by the wait below may write to this port again; it does not connect twice.
    if (connecting_) {
        *error = {RS232_ERROR, QStringLiteral("a connection is being made")};
        return error->code;
    }
    connecting_ = true;
    closed_ = false;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{connecting_};

    if (!socket_) {
        socket_ = std::make_unique<QTcpSocket>();
        QObject::connect(socket_.get(), &QTcpSocket::readyRead, socket_.get(), [this] { pump(); });
    }
    socket_->abort();
    session_ = rfc2217::Session{};
    input_.clear();

    const QDeadlineTimer deadline = deadlineIn(seconds);
    socket_->connectToHost(host_, port_);
    while (socket_->state() != QAbstractSocket::ConnectedState) {
        if (closed_ || terminating()) {
            socket_->abort();
            *error = {RS232_ERROR, QString::fromLatin1(closed_ ? "closed while connecting"
                                                               : "asked to end while connecting")};
            return error->code;
        }
        if (socket_->state() == QAbstractSocket::UnconnectedState) {
            const auto e = socket_->error();
            *error = {e == QAbstractSocket::HostNotFoundError    ? RS232_NO_PORT_FOUND
                      : e == QAbstractSocket::SocketTimeoutError ? RS232_TIMEOUT
                                                                 : RS232_CANNOT_OPEN_PORT,
                      socket_->errorString()};
            return error->code;
        }
        if (deadline.hasExpired()) {
            socket_->abort();
            *error = {RS232_TIMEOUT, QStringLiteral("no connection within %1 s").arg(seconds)};
            return error->code;
        }
        spinOnce();
    }
    // A 17-byte request leaves at once, not when Nagle's algorithm thinks it worth a packet.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (rfc2217_ && !negotiateWithin(deadline, error)) {
        socket_->abort();
        input_.clear(); // what the server said is in the reason, and no sensor's reply
        return error->code;
    }
    // The device may have answered a request sent before the connection dropped. A server
    // reads such bytes as soon as a client comes and may pass them on a few milliseconds later
    // (ser2net's character delay), even after answering a purge: they go until the line has been
    // quiet for a while.
    pump();
    QByteArray dropped = input_; // the server's words, should it hang up
    flushInput();
    const QDeadlineTimer settle =
        deadlineIn(std::min<double>(kSettleSeconds, deadline.remainingTime() / 1000.0));
    QDeadlineTimer quiet = deadlineIn(kQuietSeconds);
    while (!quiet.hasExpired() && !settle.hasExpired() &&
           socket_->state() == QAbstractSocket::ConnectedState) {
        socket_->waitForReadyRead(remainingMs(quiet));
        if (queued() == 0) continue;
        dropped += input_;
        input_.clear();
        quiet = deadlineIn(kQuietSeconds);
    }
    if (socket_->state() != QAbstractSocket::ConnectedState) {
        *error = {RS232_CANNOT_OPEN_PORT, hungUp(dropped + session_.purged())};
        return error->code;
    }
    return 0;
}

bool NetPort::negotiateWithin(const QDeadlineTimer &deadline, NetOpenError *error)
{
    const auto fail = [error](int code, const QString &reason) {
        *error = {code, reason};
        return false;
    };
    const QString raw = QStringLiteral("; a raw TCP port is tcp://%1:%2").arg(host_).arg(port_);
    // The line settings only once the server takes COM-PORT commands at all.
    send(session_.greeting());
    bool asked = false;
    QString why;
    while (!asked || !session_.configured(&why)) {
        pump();
        if (!asked && session_.accepted()) {
            send(session_.configure(line_));
            asked = true;
            continue;
        }
        if (closed_) return fail(RS232_ERROR, QStringLiteral("closed while connecting"));
        if (terminating())
            return fail(RS232_ERROR, QStringLiteral("asked to end while connecting"));
        if (session_.refused())
            return fail(RS232_UNKNOWN_SYSTEM_ERROR,
                        QStringLiteral("the server takes no RFC 2217 commands") + raw);
        if (socket_->state() != QAbstractSocket::ConnectedState)
            return fail(RS232_CANNOT_OPEN_PORT, hungUp(input_));
        if (deadline.hasExpired())
            return fail(RS232_TIMEOUT,
                        QStringLiteral("no answer to the RFC 2217 negotiation within %1 s")
                                .arg(kOpenSeconds) +
                            raw);
        spinOnce();
    }
    return why.isEmpty() || fail(RS232_UNKNOWN_SYSTEM_ERROR, why);
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
}

void NetPort::send(const QByteArray &bytes)
{
    if (socket_->state() != QAbstractSocket::ConnectedState) return;
    socket_->write(bytes);
    socket_->flush();
}

int NetPort::write(const char *data, int count, double seconds)
{
    if (closed_) return RS232_PORT_NOT_OPEN;
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) {
        // The connection dropped since the last write: made again, within this write's limit.
        NetOpenError error;
        if (connectWithin(seconds, &error) < 0) return RS232_IO_ERROR;
    }
    const QByteArray bytes =
        rfc2217_ ? rfc2217::escape(data, count) : QByteArray(data, qsizetype(count));
    if (socket_->write(bytes) != bytes.size()) return RS232_IO_ERROR;
    socket_->flush();
    // Ten bits a byte on the server's line, and a little for the server itself.
    lineBusy_ = deadlineIn(count * 10.0 / std::max<std::uint32_t>(line_.baudRate, 1) + 0.02);
    const QDeadlineTimer deadline = deadlineIn(seconds);
    while (socket_->bytesToWrite() > 0 && socket_->state() == QAbstractSocket::ConnectedState &&
           !deadline.hasExpired())
        socket_->waitForBytesWritten(remainingMs(deadline));
    if (socket_->state() != QAbstractSocket::ConnectedState) return RS232_IO_ERROR;
    // What is still in the socket's buffer is the tail of these bytes.
    return count - int(std::min<qint64>(socket_->bytesToWrite(), count));
}

int NetPort::read(char *data, int count, double seconds)
{
    int moved = 0;
    const QDeadlineTimer deadline = deadlineIn(seconds);
    for (;;) {
        pump();
        const int take = int(std::min<qsizetype>(count - moved, input_.size()));
        std::memcpy(data + moved, input_.constData(), size_t(take));
        input_.remove(0, take);
        moved += take;
        if (moved >= count || !socket_ || socket_->state() != QAbstractSocket::ConnectedState ||
            deadline.hasExpired())
            break;
        socket_->waitForReadyRead(remainingMs(deadline));
    }
    return moved;
}

int NetPort::queued()
{
    pump();
    return int(input_.size());
}

void NetPort::flushInput()
{
    pump();
    input_.clear();
    if (!rfc2217_ || !socket_ || socket_->state() != QAbstractSocket::ConnectedState) return;
    send(session_.purgeInput());
    if (unansweredPurges_ >= kPurgesUnanswered) {
        session_.givePurgeUp();
        return;
    }
    const QDeadlineTimer deadline = deadlineIn(kPurgeSeconds);
    while (session_.purging() && socket_->state() == QAbstractSocket::ConnectedState &&
           !deadline.hasExpired()) {
        socket_->waitForReadyRead(remainingMs(deadline));
        pump();
    }
    if (session_.purging()) {
        session_.givePurgeUp();
        ++unansweredPurges_;
    } else {
        unansweredPurges_ = 0;
    }
}

void NetPort::flushOutput()
{
    if (rfc2217_ && socket_ && socket_->state() == QAbstractSocket::ConnectedState)
        send(session_.purgeOutput());
}

} // namespace kivrel::platform
