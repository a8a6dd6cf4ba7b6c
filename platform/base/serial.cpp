// Serial ports on Qt SerialPort, addressed by number; a port named by a network address goes
// to a serial device server instead (netport.cpp).
//
// Every call runs on the GUI thread. The logic reads by polling GetInQLen between calls to
// ProcessSystemEvents, so the bytes reach a port's queue through its notifier in the event
// loop; only ComWrt and ComRd block, and never longer than the port's time limit.
#include "rs232.h"
#include "netport_p.h"
#include "ports_p.h"
#include "serial_p.h"
#include "eventloop_p.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QString>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace kivrel::platform
{
namespace
{
int systemIoctl(int fd, unsigned long request, void *arg)
{
    return ::ioctl(fd, request, arg);
}
} // namespace
SerialIoctl serialIoctl = systemIoctl;
} // namespace kivrel::platform

using kivrel::platform::comDevice;
using kivrel::platform::NetPort;

namespace
{

constexpr int FirstPort = 1;
constexpr int LastPort = 255;
constexpr int DefaultQueueSize = 512;
constexpr double DefaultTimeLimit = 5.0; // seconds, until SetComTime says otherwise

struct Slot {
    std::unique_ptr<QSerialPort> port;
    // A port on a serial device server; whoever waits on it holds it too, so a callback that
    // closes the port meanwhile does not pull it from under them.
    std::shared_ptr<NetPort> net;
    int inputQueueSize = DefaultQueueSize;
    double timeLimit = DefaultTimeLimit;
    // The device went away while open. From then on the port counts as closed; the close
    // itself runs from the event loop, never inside the port's own error signal.
    bool gone = false;
    unsigned generation = 0; // bumped by every open, so a stale deferred close does nothing
};

class PortTable
{
  public:
    PortTable() = default;
    PortTable(const PortTable &) = delete;
    PortTable &operator=(const PortTable &) = delete;

    ~PortTable()
    {
        // Qt objects need their application to be torn down; without one the process is
        // ending and the system closes the descriptors.
        if (!QCoreApplication::instance()) {
            for (Slot &s : slots_) {
                (void)s.port.release();
                if (s.net) (void)new std::shared_ptr<NetPort>(std::move(s.net));
            }
            return;
        }
        releaseAll();
    }

    Slot &at(int port) { return slots_[static_cast<size_t>(port)]; }

    QSerialPort &portOf(int number)
    {
        Slot &s = at(number);
        if (!s.port) {
            releaseBeforeTheApplication();
            s.port = std::make_unique<QSerialPort>();
            QSerialPort *p = s.port.get();
            QObject::connect(p, &QSerialPort::errorOccurred, p,
                             [number](QSerialPort::SerialPortError e) { onError(number, e); });
        }
        return *s.port;
    }

    // Ports must go before the application's event dispatcher does.
    void releaseBeforeTheApplication()
    {
        if (postRoutineAdded_) return;
        qAddPostRoutine([] { table().releaseAll(); });
        postRoutineAdded_ = true;
    }

    void releaseAll()
    {
        for (Slot &s : slots_) {
            if (s.port && s.port->isOpen()) s.port->close();
            s.port.reset();
            if (s.net) s.net->close();
            s.net.reset();
            s.gone = false;
        }
        postRoutineAdded_ = false;
    }

    static PortTable &table()
    {
        static PortTable t;
        return t;
    }

  private:
    static void onError(int number, QSerialPort::SerialPortError e);

    std::array<Slot, LastPort + 1> slots_{};
    bool postRoutineAdded_ = false;
};

PortTable &ports()
{
    return PortTable::table();
}

bool meansDeviceGone(QSerialPort::SerialPortError e)
{
    switch (e) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError: return true;
    default: return false;
    }
}

void PortTable::onError(int number, QSerialPort::SerialPortError e)
{
    Slot &s = ports().at(number);
    if (!s.port || !s.port->isOpen() || s.gone || !meansDeviceGone(e)) return;
    // A hung-up terminal or a pulled adapter stays readable forever and Qt would report the
    // failed read on every pass of the event loop. Closing ends that; closing right here
    // would delete the notifier that is still delivering this very error.
    s.gone = true;
    const unsigned generation = s.generation;
    QSerialPort *p = s.port.get();
    QMetaObject::invokeMethod(
        p,
        [number, generation] {
            Slot &slot = ports().at(number);
            if (slot.generation == generation && slot.port && slot.port->isOpen())
                slot.port->close();
        },
        Qt::QueuedConnection);
}

bool validNumber(int port)
{
    return port >= FirstPort && port <= LastPort;
}

// The slot of an open, usable port, or null with the code to return.
Slot *openSlot(int port, int *code)
{
    if (!validNumber(port)) {
        *code = RS232_INVALID_PORT;
        return nullptr;
    }
    Slot &s = ports().at(port);
    if (s.net) return &s; // open until closed, connected or not
    if (!s.port || !s.port->isOpen() || s.gone) {
        *code = RS232_PORT_NOT_OPEN;
        return nullptr;
    }
    return &s;
}

int millisecondsOf(double seconds)
{
    if (!(seconds > 0.0)) return 0;
    const double ms = seconds * 1000.0;
    return ms >= INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// An empty name or "COMk" means the standard device of that number; anything else is taken
// as the device itself.
QString deviceFor(int port, const char *deviceName)
{
    const QString name = deviceName ? QString::fromLocal8Bit(deviceName).trimmed() : QString();
    if (name.isEmpty()) return comDevice(port);
    if (name.startsWith(u"COM", Qt::CaseInsensitive)) {
        bool ok = false;
        const int k = name.mid(3).toInt(&ok);
        if (ok && validNumber(k)) return comDevice(k);
    }
    return name;
}

struct OpenError {
    int kind = 0;
    QByteArray reason;
};

OpenError &lastOpenError()
{
    static OpenError e;
    return e;
}

// A line on stderr about COM n: "kivrel: COM1 (rfc2217://10.0.0.7:4001): ...".
void sayAbout(int port, const QString &device, const QString &text)
{
    const QString where = device.isEmpty() ? QStringLiteral("COM%1").arg(port)
                                           : QStringLiteral("COM%1 (%2)").arg(port).arg(device);
    // A program without a panel names itself in its own lines.
    const QString program = kivrel::platform::consoleProgram() ? QCoreApplication::applicationName()
                                                               : QStringLiteral("kivrel");
    std::fprintf(stderr, "%s: %s: %s\n", program.toLocal8Bit().constData(),
                 where.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// The status line keeps its short text; the system's own reason goes to stderr, and is kept
// for GetComOpenError. A program without a panel says it in its own words.
void complain(int port, const QString &device, const QString &reason, int kind)
{
    lastOpenError() = {kind, reason.toLocal8Bit()};
    if (!kivrel::platform::consoleProgram())
        sayAbout(port, device, QStringLiteral("cannot open: ") + reason);
}

bool applyLine(QSerialPort &p, long baudRate, int parity, int dataBits, int stopBits)
{
    if (baudRate <= 0 || baudRate > INT_MAX) return false;
    QSerialPort::Parity par;
    switch (parity) {
    case 0: par = QSerialPort::NoParity; break;
    case 1: par = QSerialPort::OddParity; break;
    case 2: par = QSerialPort::EvenParity; break;
    case 3: par = QSerialPort::MarkParity; break;
    case 4: par = QSerialPort::SpaceParity; break;
    default: return false;
    }
    if (dataBits < 5 || dataBits > 8) return false;
    QSerialPort::StopBits stop;
    switch (stopBits) {
    case 1: stop = QSerialPort::OneStop; break;
    case 2: stop = QSerialPort::TwoStop; break;
    default: return false;
    }
    return p.setBaudRate(static_cast<qint32>(baudRate)) &&
           p.setDataBits(static_cast<QSerialPort::DataBits>(dataBits)) && p.setParity(par) &&
           p.setStopBits(stop) && p.setFlowControl(QSerialPort::NoFlowControl);
}

// USB-serial adapters (FTDI above all) hold a short packet for their latency timer, 16 ms by
// default, unless the port is in low-latency mode: an 11-byte reply would arrive in pieces and
// late. Any user may ask for it on an open port. A driver without the setting (a
// pseudo-terminal) refuses, and the port works as it would have anyway.
void requestLowLatency(QSerialPort &p)
{
#ifdef Q_OS_LINUX
    const int fd = static_cast<int>(p.handle());
    if (fd < 0) return;
    serial_struct settings{};
    if (kivrel::platform::serialIoctl(fd, TIOCGSERIAL, &settings) != 0) return;
    if (settings.flags & ASYNC_LOW_LATENCY) return;
    settings.flags |= ASYNC_LOW_LATENCY;
    (void)kivrel::platform::serialIoctl(fd, TIOCSSERIAL, &settings);
#else
    Q_UNUSED(p);
#endif
}

// A port on a serial device server: connected, and over RFC 2217 its line set, before this
// returns; events are processed meanwhile.
int openNetwork(int port, Slot &s, const QString &device, long baudRate, int parity, int dataBits,
                int stopBits)
{
    if (baudRate <= 0 || baudRate > INT_MAX || parity < 0 || parity > 4 || dataBits < 5 ||
        dataBits > 8 || stopBits < 1 || stopBits > 2) {
        lastOpenError() = {COM_OPEN_FAILED, "the line settings are out of range"};
        return RS232_UNKNOWN_SYSTEM_ERROR;
    }
    ports().releaseBeforeTheApplication();
    auto net = std::make_shared<NetPort>(device, [port, device](const QString &line, bool failure) {
        if (!failure || !kivrel::platform::consoleProgram()) sayAbout(port, device, line);
    });
    s.net = net;
    kivrel::platform::NetOpenError error;
    const kivrel::platform::rfc2217::Line line{std::uint32_t(baudRate), dataBits, parity, stopBits};
    if (net->open(line, s.inputQueueSize, &error) < 0) {
        if (s.net == net) s.net.reset(); // unless a callback opened the port again meanwhile
        complain(port, device, error.reason, COM_OPEN_NETWORK);
        return error.code;
    }
    kivrel::platform::portsChanged();
    return 0;
}

} // namespace

int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize)
{
    (void)outputQueueSize; // the driver's own output queue is all there is
    if (!validNumber(port)) return RS232_INVALID_PORT;
    if (!QCoreApplication::instance())
        return RS232_ERROR; // the port's notifiers need an event loop
    Slot &s = ports().at(port);
    if (s.port && s.port->isOpen()) s.port->close();
    if (s.net) s.net->close();
    s.net.reset();
    s.gone = false;
    ++s.generation;

    const QString device = deviceFor(port, deviceName);
    lastOpenError() = {};
    s.inputQueueSize = inputQueueSize > 0 ? inputQueueSize : DefaultQueueSize;
    if (kivrel::platform::isNetworkAddress(device))
        return openNetwork(port, s, device.trimmed(), baudRate, parity, dataBits, stopBits);
    if (device.isEmpty() || (device.startsWith(u'/') && !QFileInfo::exists(device))) {
        complain(port, device, QStringLiteral("no such device"), COM_OPEN_FAILED);
        return RS232_NO_PORT_FOUND;
    }

    QSerialPort &p = ports().portOf(port);
    p.setPortName(device);
    // Qt stops pulling from the driver once its buffer holds a full input queue.
    p.setReadBufferSize(s.inputQueueSize);
    if (!p.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError e = p.error();
        // A permission error on a device the user may read and write: another program has it.
        const bool denied =
            e == QSerialPort::PermissionError && !kivrel::platform::userMayOpen(device);
        const bool inUse = e == QSerialPort::PermissionError && !denied;
        complain(port, device,
                 inUse ? p.errorString() + QStringLiteral(": in use by another program")
                       : p.errorString(),
                 denied  ? COM_OPEN_NO_ACCESS
                 : inUse ? COM_OPEN_IN_USE
                         : COM_OPEN_FAILED);
        p.clearError();
        kivrel::platform::noteAccess(port, denied);
        kivrel::platform::portsChanged();
        return e == QSerialPort::DeviceNotFoundError ? RS232_NO_PORT_FOUND : RS232_CANNOT_OPEN_PORT;
    }
    kivrel::platform::noteAccess(port, false);
    kivrel::platform::portsChanged();
    if (!applyLine(p, baudRate, parity, dataBits, stopBits)) {
        lastOpenError() = {COM_OPEN_FAILED, "the driver refused the line settings"};
        p.close();
        return RS232_UNKNOWN_SYSTEM_ERROR;
    }
    requestLowLatency(p);
    return 0;
}

int CloseCom(int port)
{
    if (!validNumber(port)) return RS232_INVALID_PORT;
    Slot &s = ports().at(port);
    if (s.net) {
        s.net->close();
        s.net.reset();
        return 0;
    }
    if (!s.port || !s.port->isOpen()) return RS232_PORT_NOT_OPEN;
    if (s.gone) {
        // Already closed as far as the caller knows; finish what the deferred close would do.
        s.port->close();
        return RS232_PORT_NOT_OPEN;
    }
    s.port->close();
    return 0;
}

int ComWrt(int port, const unsigned char *buffer, int count)
{
    int code = 0;
    Slot *s = openSlot(port, &code);
    if (!s) return code;
    if (count < 0 || (!buffer && count > 0)) return RS232_ERROR;
    if (count == 0) return 0;
    if (const auto net = s->net)
        return net->write(reinterpret_cast<const char *>(buffer), count, s->timeLimit);
    QSerialPort &p = *s->port;
    if (p.write(reinterpret_cast<const char *>(buffer), count) != count) return RS232_IO_ERROR;
    // write() only buffers until the event loop runs, and the caller may not run it.
    QDeadlineTimer deadline(millisecondsOf(s->timeLimit));
    while (!s->gone && p.isOpen() && p.bytesToWrite() > 0) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || !p.waitForBytesWritten(static_cast<int>(left))) break;
    }
    if (s->gone || !p.isOpen()) return RS232_IO_ERROR;
    // Qt's buffer drains in order, so whatever is still in it is the tail of these bytes.
    return count - static_cast<int>(std::min<qint64>(p.bytesToWrite(), count));
}

int ComRd(int port, unsigned char *buffer, int count)
{
    int code = 0;
    Slot *s = openSlot(port, &code);
    if (!s) return code;
    if (count <= 0) return 0;
    if (!buffer) return RS232_ERROR;
    if (const auto net = s->net)
        return net->read(reinterpret_cast<char *>(buffer), count, s->timeLimit);
    QSerialPort &p = *s->port;
    char *out = reinterpret_cast<char *>(buffer);
    int moved = 0;
    p.clearError();
    QDeadlineTimer deadline(millisecondsOf(s->timeLimit));
    for (;;) {
        const qint64 got = p.read(out + moved, count - moved);
        if (got > 0) moved += static_cast<int>(got);
        if (moved >= count || got < 0 || s->gone || !p.isOpen()) break;
        const qint64 left = deadline.remainingTime();
        if (left <= 0) break;
        if (!p.waitForReadyRead(static_cast<int>(left)) && p.error() != QSerialPort::NoError &&
            p.error() != QSerialPort::TimeoutError)
            break; // no spinning on a port that keeps failing
        p.clearError();
    }
    p.clearError();
    return moved;
}

int GetInQLen(int port)
{
    int code = 0;
    Slot *s = openSlot(port, &code);
    if (!s) return code;
    const qint64 n = s->net ? s->net->queued() : s->port->bytesAvailable();
    return static_cast<int>(std::min<qint64>(n, s->inputQueueSize));
}

int FlushInQ(int port)
{
    int code = 0;
    Slot *s = openSlot(port, &code);
    if (!s) return code;
    if (const auto net = s->net) {
        net->flushInput();
        return 0;
    }
    return s->port->clear(QSerialPort::Input) ? 0 : RS232_IO_ERROR;
}

int FlushOutQ(int port)
{
    int code = 0;
    Slot *s = openSlot(port, &code);
    if (!s) return code;
    if (s->net) {
        s->net->flushOutput();
        return 0;
    }
    return s->port->clear(QSerialPort::Output) ? 0 : RS232_IO_ERROR;
}

int SetComTime(int port, double seconds)
{
    int code = 0;
    Slot *s = openSlot(port, &code);
    if (!s) return code;
    if (seconds < 0.0) return RS232_ERROR;
    s->timeLimit = seconds;
    return 0;
}

int SetCTSMode(int port, int mode)
{
    int code = 0;
    Slot *s = openSlot(port, &code);
    if (!s) return code;
    QSerialPort::FlowControl flow;
    switch (mode) {
    case 0: flow = QSerialPort::NoFlowControl; break;
    case 1: flow = QSerialPort::HardwareControl; break;
    default: return RS232_ERROR;
    }
    // Flow control on a device server is set with the line; hardware handshake is not offered.
    if (s->net) return flow == QSerialPort::NoFlowControl ? 0 : RS232_UNKNOWN_SYSTEM_ERROR;
    return s->port->setFlowControl(flow) ? 0 : RS232_UNKNOWN_SYSTEM_ERROR;
}

int GetComDeviceName(int port, char name[], int size)
{
    if (!validNumber(port)) return RS232_INVALID_PORT;
    if (!name || size <= 0) return RS232_ERROR;
    QByteArray bytes =
        kivrel::platform::kernelDeviceName(kivrel::platform::comDevice(port, false)).toLocal8Bit();
    if (bytes.size() >= size) bytes.truncate(size - 1);
    std::memcpy(name, bytes.constData(), size_t(bytes.size()));
    name[bytes.size()] = '\0';
    return 0;
}

namespace
{

// `text` into `out` of `size` bytes, cut short where it does not fit.
void copyOut(const QByteArray &text, char out[], int size)
{
    if (!out || size <= 0) return;
    const qsizetype n = std::min<qsizetype>(text.size(), size - 1);
    std::memcpy(out, text.constData(), size_t(n));
    out[n] = '\0';
}

} // namespace

int GetComReconnectError(int port, char reason[], int size)
{
    copyOut({}, reason, size);
    if (!validNumber(port)) return RS232_INVALID_PORT;
    const Slot &s = ports().at(port);
    if (!s.net) return 0;
    const kivrel::platform::NetOpenError &e = s.net->reconnectError();
    copyOut(e.reason.toLocal8Bit(), reason, size);
    return e.code;
}

int GetComOpenError(char reason[], int size)
{
    const OpenError &e = lastOpenError();
    copyOut(e.reason, reason, size);
    return e.kind;
}
