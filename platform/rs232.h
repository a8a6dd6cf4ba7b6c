// Serial ports addressed by number, as the sensor link uses them.
//
// COM n is the device named by the environment variable KIVREL_COM<n> when that is set,
// otherwise the n-th serial port of the machine in a stable order (USB and ACM adapters
// first, then on-board ports). On Windows COM n is COMn.
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

// The device behind COM n the way an operator knows it ("ttyUSB0", "~/sim/com2"), for titles
// and the journal, as the last open of a port found the machine's ports: at most size - 1 bytes
// and a NUL; empty when the number has no device. Returns 0, or a negative code for a number
// outside 1 to 255.
int GetComDeviceName(int port, char name[], int size);

#endif
