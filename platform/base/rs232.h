// Serial ports addressed by number, as the sensor link uses them.
//
// COM n is the device named by the environment variable KIVREL_COM<n> when that is set,
// otherwise the n-th serial port of the machine in a stable order (USB and ACM adapters
// first, then on-board ports). On Windows COM n is COMn.
//
// A device may be a port of a serial device server on the network: "rfc2217://HOST:PORT"
// (telnet's COM-PORT-OPTION; the open sets the server's line) or "tcp://HOST:PORT" (raw bytes;
// the server holds the line settings). The open connects, processing events meanwhile, for at
// most 3 s; a connection that drops later makes the port silent, and the next ComWrt connects
// again within its time limit. Such a port's device (GetComName) is its address.
#ifndef KIVREL_PLATFORM_RS232_H
#define KIVREL_PLATFORM_RS232_H

enum {
    RS232_UNKNOWN_SYSTEM_ERROR = -1, // the driver refused the line settings
    RS232_INVALID_PORT = -2,         // a port number outside 1 to 255
    RS232_PORT_NOT_OPEN = -3,
    RS232_IO_ERROR = -4,
    RS232_ERROR = -5,
    RS232_NO_PORT_FOUND = -6,    // no device for this number
    RS232_CANNOT_OPEN_PORT = -7, // busy, no permission
    RS232_TIMEOUT = -99
};

// Opens and configures the port; 0 on success, a negative code above on failure. An empty
// device name means the port's standard device. Reopening an open port closes it first.
int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);
int CloseCom(int port);

// Hands `count` bytes to the driver before returning; the count written or a negative code.
int ComWrt(int port, const unsigned char *buffer, int count);
// Moves at most `count` queued bytes into `buffer`, waiting up to the SetComTime limit for
// missing ones; the count moved or a negative code.
int ComRd(int port, unsigned char *buffer, int count);
// Bytes waiting, never more than the input queue size; negative when the port is not open.
int GetInQLen(int port);
int FlushInQ(int port);
int FlushOutQ(int port);
int SetComTime(int port, double seconds);
int SetCTSMode(int port, int mode);

// The device behind COM n by the kernel's name for it ("ttyUSB0", "pts/3"), whatever link or
// path named it, as the last open of a port found the machine's ports: at most size - 1 bytes
// and a NUL; empty when the number has no device. Returns 0, or a negative code for a number
// outside 1 to 255.
int GetComDeviceName(int port, char name[], int size);

// How COM n is named to the operator, in messages, JSON, the journal and titles. `number` is the
// COM number that maps its device (KIVREL_COM<n> or the machine's port list), 0 when none does:
// a device given by name (UsePortName) that no number maps, carried as COM n for the run only.
// `device` is the kernel's name of the device, as GetComDeviceName gives it; `given` the
// spelling a device without a number was given by. 0, or RS232_INVALID_PORT.
struct ComName {
    int number;
    char device[128];
    char given[260];
};
int GetComName(int port, ComName *name);

// Why the last OpenComConfig failed: 0 when it worked, else one of these, with the system's
// words for it in `reason` (at most size - 1 bytes and a NUL). COM_OPEN_NETWORK: a network port,
// and the reason says what the network or the server did (refused, timed out, host not found).
enum { COM_OPEN_FAILED = 1, COM_OPEN_NO_ACCESS = 2, COM_OPEN_IN_USE = 3, COM_OPEN_NETWORK = 4 };
int GetComOpenError(char reason[], int size);

// Why the last ComWrt on COM n, a network port whose connection had dropped, could not connect
// again: the code an open would have given (RS232_CANNOT_OPEN_PORT for a refused connection)
// with the system's words in `reason`, as stderr had them at once. 0 once a write found the
// connection or made it, and for every other port; RS232_INVALID_PORT for a number outside 1
// to 255.
int GetComReconnectError(int port, char reason[], int size);

// What the ports tell beside their codes, for the program to word in its own messages:
// COM_SAYS_FAILURE, an open or a reconnect that failed, with the system's words ("cannot open:
// Connection refused"); COM_SAYS_NOTICE, something a device server sent that made no sense.
// `device` is the port's device or address as opened. Without a handler nothing is said.
enum { COM_SAYS_FAILURE = 1, COM_SAYS_NOTICE = 2 };
typedef void (*ComReportHandler)(int port, const char *device, int kind, const char *text);
void SetComReportHandler(ComReportHandler handler);

// The port list as the panel's COM selector shows it.
struct ComPortInfo {
    char device[260];      // "/dev/ttyUSB0"; empty when the number has no device
    char name[260];        // the way an operator knows it: "ttyUSB0", "~/sim/com5"
    char description[128]; // "FT232R USB UART"; empty when the system does not say
    char serialNumber[64]; // of a USB adapter; empty when it has none
    int mapped;            // 1: the device was named by KIVREL_COM<n> or --port
    int present;           // 1: the device exists; 0: KIVREL_COM<n> names one that does not
    int access;            // 1: this user may open it; 0: not (the dialout group)
};
// Looks at the machine's ports afresh. Returns the highest COM number with a device, 0 when
// there is none.
int RefreshComPorts(void);
// What the last look found behind COM n; 0, or RS232_INVALID_PORT.
int GetComPortInfo(int port, ComPortInfo *info);

#endif
