// src/link: the sensor link; uses every floor below it (core, util, panel, branding, history,
// assist).
// The sensor's telegram, the timed wait for its reply and the timeout report.
//
// Every request is 17 bytes: 0x55, an order code and the 15 bytes of pp. Replies carry no
// framing at all; each order code has a fixed reply length and a reply is accepted only when
// exactly that many bytes were read.
#ifndef KIVREL_LINK_COM232_H
#define KIVREL_LINK_COM232_H

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

// Outcome of WaitRxBuf.
enum { RX_FAILED = 0, RX_OK = 1, RX_ABANDONED = -1 };

void FillTxBuf(int orderCode);
void GetRxBufPara(void);
void GetRxBufData(void);

// Flushes both queues when asked, then frames the telegram for `order` and writes it.
void SendTelegram(int flushFirst);

// Waits for `expected` reply bytes or until more than `limit` seconds have passed, then reads
// whatever is queued into szReadBuf (nBytesR). With `pollTest`, a cleared poll abandons the
// wait at once and nothing is read. RX_OK only when exactly `expected` bytes were read.
int WaitRxBuf(int expected, double limit, int pollTest);

// The one reaction to every communication failure: status line and popup.
void TimeoutReport(void);

// Opens the port at 4800 baud 8N1 without handshake and checks the line; when the sensor
// answers, its parameter set is read onto the panel.
void InitRS232(int port);
void CheckComLine(void);
// The status text for a failed port open.
const char *OpenErrorText(int code);

} // namespace kivrel

#endif
