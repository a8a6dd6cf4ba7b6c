// One COM port once opened, whatever carries it: a serial device on this machine
// (serialport.cpp) or a port on a serial device server (netport.cpp). The RS-232 services
// (serial.cpp) pick the kind at open and from then on talk to this interface alone.
// Internals of the serial ports.
#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace kivrel::platform
{

// The line the sensor speaks, as OpenComConfig was given it.
struct LineSettings {
    long baudRate = 0;
    int parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8; // 5 to 8
    int stopBits = 1; // 1 or 2
};

// Why an open failed: the RS-232 code, the kind GetComOpenError gives (COM_OPEN_*), and the
// system's words; `tell` when the program's messages should carry them.
struct PortFailure {
    int code = 0;
    int kind = 0;
    QString reason;
    bool tell = true;
};

class Port
{
  public:
    virtual ~Port() = default;

    // Opens the port and sets its line: 0, or a negative code with why in `failure`. A network
    // port processes events meanwhile, so callbacks may run; any call they make on this port
    // waits for the open to end.
    virtual int open(const LineSettings &line, int inputQueueSize, PortFailure *failure) = 0;
    // Lets go of the device; the port is closed afterwards.
    virtual void close() = 0;
    // Usable: a serial device that went away counts as closed; a network port stays open until
    // closed, connected or not.
    virtual bool isOpen() const = 0;

    // As ComWrt and ComRd, within `seconds`.
    virtual int write(const char *data, int count, double seconds) = 0;
    virtual int read(char *data, int count, double seconds) = 0;
    // Bytes waiting.
    virtual qint64 queued() = 0;
    // As FlushInQ and FlushOutQ: 0 or a negative code.
    virtual int flushInput() = 0;
    virtual int flushOutput() = 0;
    // As SetCTSMode: 0 or a negative code.
    virtual int setHardwareHandshake(bool on) = 0;

    // Why the last write could not make a dropped connection again; code 0 when it did not
    // need to or could.
    virtual PortFailure reconnectFailure() const { return {}; }
    // The device or address, as messages name it.
    virtual QString name() const = 0;
};

// What a port tells beside its codes (SetComReportHandler words it): kind COM_SAYS_FAILURE or
// COM_SAYS_NOTICE, about COM `number` on `device`.
void reportAbout(int number, const QString &device, int kind, const QString &text);

// Makes ports of one more kind, asked first at every open; it answers null for a device it does
// not serve (tests of the interface). An empty function takes it away.
using PortMaker = std::function<std::shared_ptr<Port>(int number, const QString &device)>;
void setPortMaker(PortMaker maker);

} // namespace kivrel::platform
