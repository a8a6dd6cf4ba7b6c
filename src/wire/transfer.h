// src/wire: the sensor's protocol below the panel, shared by the panel program and the command
// line; uses core and util.
// The sensor's operations as they go over the line, without showing anything: each works on
// the program state (com, target, order, pp, databuf, jumpbuf) and says how it went. The panel
// shows the outcome in its way, the command line in its own. Each says below which of target
// and order it reads and which it sets: order is left as the code of the last telegram sent,
// so a caller can tell from it what went over the line.
#ifndef KIVREL_WIRE_TRANSFER_H
#define KIVREL_WIRE_TRANSFER_H

#include "telegram.h" // RX_OK, RX_FAILED, RX_ABANDONED

namespace kivrel
{

// Opens `port` at 4800 baud 8N1 without handshake, with 2.0 s for single reads and writes,
// empties both queues and turns CTS off. Returns the open's result, also left in ret: 0, or a
// negative code (OpenErrorText) after which nothing else was done.
int OpenLine(int port);

// The line check on com, right after OpenLine: RX_OK when the sensor answered 0xAA 0x04 0x00.
// Sets order to ORDER_CHECK_LINE; reads no target.
int CheckLine(void);

// Reads the parameter set of the sensor's EEPROM (target EEPROM) or RAM (any other target)
// into pp; on failure pp is as it was. Reads target; sets order to ORDER_GET_EEPROM or
// ORDER_GET_RAM, the one sent. Target FILE reads RAM: the file target has no order code.
int ReadPara(void);

// Writes pp to the sensor's RAM (target RAM) or EEPROM (any other target). The sensor does not
// answer a write: RX_OK means all 17 bytes went to the line. Reads target; sets order to
// ORDER_SEND_RAM or ORDER_SEND_EEPROM, the one sent. Target FILE writes the sensor's EEPROM,
// not a file: a caller that means the file writes it itself (SendParaToFile).
int WritePara(void);

// One polling cycle's request and reply: the record lands in databuf and the measurement
// variables. With `pollTest` a cleared poll abandons the wait (RX_ABANDONED). Reads order, which
// the caller sets (ORDER_GET_DATA) and leaves alone while it polls; reads no target.
int ReadRecord(int pollTest);

// The 16 minima of the jump buffer into jumpbuf. Sets order to ORDER_GET_JUMPBUF.
int ReadJumpBuffer(void);

// The pause before a read: 1.5 s when target is EEPROM, which needs the time to settle after
// a write, else 0.1 s. Events are processed meanwhile. Reads target.
void SettleWait(void);

} // namespace kivrel

#endif
