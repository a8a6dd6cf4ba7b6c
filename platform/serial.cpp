// Serial ports on Qt SerialPort (being written).
#include "rs232.h"

int OpenComConfig(int, const char *, long, int, int, int, int, int) { return RS232_NO_PORT_FOUND; }
int CloseCom(int) { return 0; }
int ComWrt(int, const unsigned char *, int) { return RS232_PORT_NOT_OPEN; }
int ComRd(int, unsigned char *, int) { return RS232_PORT_NOT_OPEN; }
int GetInQLen(int) { return RS232_PORT_NOT_OPEN; }
int FlushInQ(int) { return RS232_PORT_NOT_OPEN; }
int FlushOutQ(int) { return RS232_PORT_NOT_OPEN; }
int SetComTime(int, double) { return RS232_PORT_NOT_OPEN; }
int SetCTSMode(int, int) { return RS232_PORT_NOT_OPEN; }
