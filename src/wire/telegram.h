// src/wire: the sensor's protocol below the panel, shared by the panel program and the command
// line; uses core and util.
// The sensor's telegram and the timed wait for its reply.
//
// Every request is 17 bytes: 0x55, an order code and the 15 bytes of pp. Replies carry no
// framing at all; each order code has a fixed reply length and a reply is accepted only when
// exactly that many bytes were read.
#ifndef KIVREL_WIRE_TELEGRAM_H
#define KIVREL_WIRE_TELEGRAM_H

namespace kivrel
{

enum {
    ORDER_SEND_RAM = 1,
    ORDER_SEND_EEPROM = 2,
    ORDER_GET_RAM = 3,
    ORDER_GET_EEPROM = 4,
    ORDER_GET_DATA = 5,
    ORDER_GET_JUMPBUF = 6,
    ORDER_CHECK_LINE = 7
};

inline constexpr double TIMEOUT_CHECK_LINE = 3.0; // seconds, the line check's own limit
inline constexpr double TIMEOUT_REPLY = 3.0;      // seconds, order codes 3 to 6

// Outcome of WaitRxBuf and of the operations of transfer.h.
enum { RX_FAILED = 0, RX_OK = 1, RX_ABANDONED = -1 };

void FillTxBuf(int orderCode);
void GetRxBufPara(void);
void GetRxBufData(void);

// Flushes both queues when asked, then frames the telegram for `order` and writes it to com.
// Reads order, which the caller has set; reads no target.
void SendTelegram(int flushFirst);

// Waits for `expected` reply bytes or until more than `limit` seconds have passed, then reads
// whatever is queued into szReadBuf (nBytesR). With `pollTest`, a cleared poll abandons the
// wait at once and nothing is read. RX_OK only when exactly `expected` bytes were read.
int WaitRxBuf(int expected, double limit, int pollTest);

// The status text for a failed port open.
const char *OpenErrorText(int code);

} // namespace kivrel

#endif
