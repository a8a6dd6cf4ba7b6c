// A serial device of this machine as a COM port. Every call runs on the GUI thread. The logic
// reads by polling GetInQLen between calls to ProcessSystemEvents, so the bytes reach the
// port's queue through its notifier in the event loop; only a write and a read of bytes still
// missing block, and never longer than the port's time limit.
#include "serialport_p.h"
#include "ports_p.h"
#include "rs232.h"
#include "serial_p.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSerialPort>

#include <algorithm>
#include <climits>

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

namespace
{

int millisecondsOf(double seconds)
{
    if (!(seconds > 0.0)) return 0;
    const double ms = seconds * 1000.0;
    return ms >= INT_MAX ? INT_MAX : static_cast<int>(ms);
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

bool applyLine(QSerialPort &p, const LineSettings &line)
{
    if (line.baudRate <= 0 || line.baudRate > INT_MAX) return false;
    QSerialPort::Parity par;
    switch (line.parity) {
    case 0: par = QSerialPort::NoParity; break;
    case 1: par = QSerialPort::OddParity; break;
    case 2: par = QSerialPort::EvenParity; break;
    case 3: par = QSerialPort::MarkParity; break;
    case 4: par = QSerialPort::SpaceParity; break;
    default: return false;
    }
    if (line.dataBits < 5 || line.dataBits > 8) return false;
    QSerialPort::StopBits stop;
    switch (line.stopBits) {
    case 1: stop = QSerialPort::OneStop; break;
    case 2: stop = QSerialPort::TwoStop; break;
    default: return false;
    }
    return p.setBaudRate(static_cast<qint32>(line.baudRate)) &&
           p.setDataBits(static_cast<QSerialPort::DataBits>(line.dataBits)) && p.setParity(par) &&
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
    if (serialIoctl(fd, TIOCGSERIAL, &settings) != 0) return;
    if (settings.flags & ASYNC_LOW_LATENCY) return;
    settings.flags |= ASYNC_LOW_LATENCY;
    (void)serialIoctl(fd, TIOCSSERIAL, &settings);
#else
    Q_UNUSED(p);
#endif
}

class SerialPort final : public Port
{
  public:
    SerialPort(int number, const QString &device) : number_(number), device_(device) {}

    int open(const LineSettings &line, int inputQueueSize, PortFailure *failure) override
    {
        if (device_.isEmpty() || (device_.startsWith(u'/') && !QFileInfo::exists(device_))) {
            *failure = {RS232_NO_PORT_FOUND, COM_OPEN_FAILED, QStringLiteral("no such device")};
            return failure->code;
        }
        port_ = std::make_unique<QSerialPort>();
        QSerialPort &p = *port_;
        QObject::connect(&p, &QSerialPort::errorOccurred, &p,
                         [this](QSerialPort::SerialPortError e) { onError(e); });
        p.setPortName(device_);
        // Qt stops pulling from the driver once its buffer holds a full input queue.
        p.setReadBufferSize(inputQueueSize);
        if (!p.open(QIODevice::ReadWrite)) {
            const QSerialPort::SerialPortError e = p.error();
            // A permission error on a device the user may read and write: another program has
            // it.
            const bool denied = e == QSerialPort::PermissionError && !userMayOpen(device_);
            const bool inUse = e == QSerialPort::PermissionError && !denied;
            *failure = {e == QSerialPort::DeviceNotFoundError ? RS232_NO_PORT_FOUND
                                                              : RS232_CANNOT_OPEN_PORT,
                        denied  ? COM_OPEN_NO_ACCESS
                        : inUse ? COM_OPEN_IN_USE
                                : COM_OPEN_FAILED,
                        inUse ? p.errorString() + QStringLiteral(": in use by another program")
                              : p.errorString()};
            p.clearError();
            noteAccess(number_, denied);
            portsChanged();
            return failure->code;
        }
        noteAccess(number_, false);
        portsChanged();
        if (!applyLine(p, line)) {
            *failure = {RS232_UNKNOWN_SYSTEM_ERROR, COM_OPEN_FAILED,
                        QStringLiteral("the driver refused the line settings"), false};
            p.close();
            return failure->code;
        }
        requestLowLatency(p);
        return 0;
    }

    void close() override
    {
        if (port_ && port_->isOpen()) port_->close();
    }

    bool isOpen() const override { return port_ && port_->isOpen() && !gone_; }

    int write(const char *data, int count, double seconds) override
    {
        QSerialPort &p = *port_;
        if (p.write(data, count) != count) return RS232_IO_ERROR;
        // write() only buffers until the event loop runs, and the caller may not run it.
        QDeadlineTimer deadline(millisecondsOf(seconds));
        while (!gone_ && p.isOpen() && p.bytesToWrite() > 0) {
            const qint64 left = deadline.remainingTime();
            if (left <= 0 || !p.waitForBytesWritten(static_cast<int>(left))) break;
        }
        if (gone_ || !p.isOpen()) return RS232_IO_ERROR;
        // Qt's buffer drains in order, so whatever is still in it is the tail of these bytes.
        return count - static_cast<int>(std::min<qint64>(p.bytesToWrite(), count));
    }

    int read(char *data, int count, double seconds) override
    {
        QSerialPort &p = *port_;
        int moved = 0;
        p.clearError();
        QDeadlineTimer deadline(millisecondsOf(seconds));
        for (;;) {
            const qint64 got = p.read(data + moved, count - moved);
            if (got > 0) moved += static_cast<int>(got);
            if (moved >= count || got < 0 || gone_ || !p.isOpen()) break;
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

    qint64 queued() override { return port_->bytesAvailable(); }
    int flushInput() override { return port_->clear(QSerialPort::Input) ? 0 : RS232_IO_ERROR; }
    int flushOutput() override { return port_->clear(QSerialPort::Output) ? 0 : RS232_IO_ERROR; }
    int setHardwareHandshake(bool on) override
    {
        return port_->setFlowControl(on ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl)
                   ? 0
                   : RS232_UNKNOWN_SYSTEM_ERROR;
    }
    QString name() const override { return device_; }

  private:
    void onError(QSerialPort::SerialPortError e)
    {
        if (!port_->isOpen() || gone_ || !meansDeviceGone(e)) return;
        // A hung-up terminal or a pulled adapter stays readable forever and Qt would report the
        // failed read on every pass of the event loop. Closing ends that; closing right here
        // would delete the notifier that is still delivering this very error. From now on the
        // port counts as closed; the port object going first takes the queued close with it.
        gone_ = true;
        QSerialPort *p = port_.get();
        QMetaObject::invokeMethod(
            p,
            [p] {
                if (p->isOpen()) p->close();
            },
            Qt::QueuedConnection);
    }

    int number_;
    QString device_;
    std::unique_ptr<QSerialPort> port_;
    bool gone_ = false; // the device went away while open
};

} // namespace

std::shared_ptr<Port> makeSerialPort(int number, const QString &device)
{
    return std::make_shared<SerialPort>(number, device);
}

} // namespace kivrel::platform
