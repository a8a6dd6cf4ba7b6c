// The RS-232 services over COM numbers: a table of the ports open, each a Port of whatever kind
// its device asked for at open (port_p.h), and what they report.
//
// Every call runs on the GUI thread. Whoever waits on a port holds it too, so a callback that
// closes or opens the number again meanwhile does not pull it from under them.
#include "rs232.h"
#include "netport_p.h"
#include "port_p.h"
#include "ports_p.h"
#include "serialport_p.h"

#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <utility>

using kivrel::platform::Port;

namespace
{

constexpr int FirstPort = 1;
constexpr int LastPort = 255;
constexpr int DefaultQueueSize = 512;
constexpr double DefaultTimeLimit = 5.0; // seconds, until SetComTime says otherwise

struct Slot {
    std::shared_ptr<Port> port;
    int inputQueueSize = DefaultQueueSize;
    double timeLimit = DefaultTimeLimit;
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
            for (Slot &s : slots_)
                if (s.port) (void)new std::shared_ptr<Port>(std::move(s.port));
            return;
        }
        releaseAll();
    }

    Slot &at(int port) { return slots_[static_cast<size_t>(port)]; }

    // Ports must go before the application's event dispatcher does.
    void releaseBeforeTheApplication()
    {
        if (postRoutineAdded_) return;
        qAddPostRoutine([] { table().releaseAll(); });
        postRoutineAdded_ = true;
    }

    void releaseAll()
    {
        for (Slot &s : slots_)
            if (const auto port = std::exchange(s.port, nullptr)) port->close();
        postRoutineAdded_ = false;
    }

    static PortTable &table()
    {
        static PortTable t;
        return t;
    }

  private:
    std::array<Slot, LastPort + 1> slots_{};
    bool postRoutineAdded_ = false;
};

PortTable &ports()
{
    return PortTable::table();
}

bool validNumber(int port)
{
    return port >= FirstPort && port <= LastPort;
}

// An open, usable port, or null with the code to return.
std::shared_ptr<Port> openPort(int port, int *code)
{
    if (!validNumber(port)) {
        *code = RS232_INVALID_PORT;
        return nullptr;
    }
    const std::shared_ptr<Port> p = ports().at(port).port;
    if (!p || !p->isOpen()) {
        *code = RS232_PORT_NOT_OPEN;
        return nullptr;
    }
    return p;
}

// An empty name or "COMk" means the standard device of that number; anything else is taken
// as the device itself.
QString deviceFor(int port, const char *deviceName)
{
    const QString name = deviceName ? QString::fromLocal8Bit(deviceName).trimmed() : QString();
    if (name.isEmpty()) return kivrel::platform::comDevice(port);
    if (name.startsWith(u"COM", Qt::CaseInsensitive)) {
        bool ok = false;
        const int k = name.mid(3).toInt(&ok);
        if (ok && validNumber(k)) return kivrel::platform::comDevice(k);
    }
    return name;
}

kivrel::platform::PortMaker &portMaker()
{
    static kivrel::platform::PortMaker maker;
    return maker;
}

// The one place that knows the kinds of port: a network address is a device server's port,
// anything else a device of this machine.
std::shared_ptr<Port> makePort(int number, const QString &device)
{
    if (portMaker())
        if (auto port = portMaker()(number, device)) return port;
    if (kivrel::platform::isNetworkAddress(device))
        return std::make_shared<kivrel::platform::NetPort>(number, device.trimmed());
    return kivrel::platform::makeSerialPort(number, device);
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

ComReportHandler &reportHandler()
{
    static ComReportHandler handler = nullptr;
    return handler;
}

// `text` into `out` of `size` bytes, cut short where it does not fit.
void copyOut(const QByteArray &text, char out[], int size)
{
    if (!out || size <= 0) return;
    const qsizetype n = std::min<qsizetype>(text.size(), size - 1);
    std::memcpy(out, text.constData(), size_t(n));
    out[n] = '\0';
}

} // namespace

namespace kivrel::platform
{

void reportAbout(int number, const QString &device, int kind, const QString &text)
{
    if (reportHandler())
        reportHandler()(number, device.toLocal8Bit().constData(), kind,
                        text.toLocal8Bit().constData());
}

void setPortMaker(PortMaker maker)
{
    portMaker() = std::move(maker);
}

} // namespace kivrel::platform

void SetComReportHandler(ComReportHandler handler)
{
    reportHandler() = handler;
}

int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize)
{
    (void)outputQueueSize; // the driver's own output queue is all there is
    if (!validNumber(port)) return RS232_INVALID_PORT;
    if (!QCoreApplication::instance())
        return RS232_ERROR; // the port's notifiers need an event loop
    Slot &s = ports().at(port);
    if (const auto old = std::exchange(s.port, nullptr)) old->close();

    const QString device = deviceFor(port, deviceName);
    lastOpenError() = {};
    s.inputQueueSize = inputQueueSize > 0 ? inputQueueSize : DefaultQueueSize;
    ports().releaseBeforeTheApplication();
    const std::shared_ptr<Port> p = makePort(port, device);
    s.port = p;
    kivrel::platform::PortFailure failure;
    const int rc = p->open({baudRate, parity, dataBits, stopBits}, s.inputQueueSize, &failure);
    if (rc == 0) return 0;
    if (s.port == p) s.port.reset(); // unless a callback opened the number again meanwhile
    // The status line keeps its short text; the system's own reason is kept for
    // GetComOpenError, and goes to the program's messages.
    lastOpenError() = {failure.kind, failure.reason.toLocal8Bit()};
    if (failure.tell)
        kivrel::platform::reportAbout(port, p->name(), COM_SAYS_FAILURE,
                                      QStringLiteral("cannot open: ") + failure.reason);
    return rc;
}

int CloseCom(int port)
{
    if (!validNumber(port)) return RS232_INVALID_PORT;
    const auto p = std::exchange(ports().at(port).port, nullptr);
    if (!p) return RS232_PORT_NOT_OPEN;
    // A device that went away counts as closed already; what is left of it goes now.
    const bool wasOpen = p->isOpen();
    p->close();
    return wasOpen ? 0 : RS232_PORT_NOT_OPEN;
}

int ComWrt(int port, const unsigned char *buffer, int count)
{
    int code = 0;
    const auto p = openPort(port, &code);
    if (!p) return code;
    if (count < 0 || (!buffer && count > 0)) return RS232_ERROR;
    if (count == 0) return 0;
    return p->write(reinterpret_cast<const char *>(buffer), count, ports().at(port).timeLimit);
}

int ComRd(int port, unsigned char *buffer, int count)
{
    int code = 0;
    const auto p = openPort(port, &code);
    if (!p) return code;
    if (count <= 0) return 0;
    if (!buffer) return RS232_ERROR;
    return p->read(reinterpret_cast<char *>(buffer), count, ports().at(port).timeLimit);
}

int GetInQLen(int port)
{
    int code = 0;
    const auto p = openPort(port, &code);
    if (!p) return code;
    return static_cast<int>(std::min<qint64>(p->queued(), ports().at(port).inputQueueSize));
}

int FlushInQ(int port)
{
    int code = 0;
    const auto p = openPort(port, &code);
    return p ? p->flushInput() : code;
}

int FlushOutQ(int port)
{
    int code = 0;
    const auto p = openPort(port, &code);
    return p ? p->flushOutput() : code;
}

int SetComTime(int port, double seconds)
{
    int code = 0;
    if (!openPort(port, &code)) return code;
    if (seconds < 0.0) return RS232_ERROR;
    ports().at(port).timeLimit = seconds;
    return 0;
}

int SetCTSMode(int port, int mode)
{
    int code = 0;
    const auto p = openPort(port, &code);
    if (!p) return code;
    if (mode != 0 && mode != 1) return RS232_ERROR;
    return p->setHardwareHandshake(mode == 1);
}

int GetComDeviceName(int port, char name[], int size)
{
    if (!validNumber(port)) return RS232_INVALID_PORT;
    if (!name || size <= 0) return RS232_ERROR;
    copyOut(
        kivrel::platform::kernelDeviceName(kivrel::platform::comDevice(port, false)).toLocal8Bit(),
        name, size);
    return 0;
}

int GetComReconnectError(int port, char reason[], int size)
{
    copyOut({}, reason, size);
    if (!validNumber(port)) return RS232_INVALID_PORT;
    const std::shared_ptr<Port> p = ports().at(port).port;
    if (!p) return 0;
    const kivrel::platform::PortFailure e = p->reconnectFailure();
    copyOut(e.reason.toLocal8Bit(), reason, size);
    return e.code;
}

int GetComOpenError(char reason[], int size)
{
    const OpenError &e = lastOpenError();
    copyOut(e.reason, reason, size);
    return e.kind;
}
