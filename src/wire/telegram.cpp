#include "telegram.h"

#include "state.h"

#include "eventloop.h"
#include "rs232.h"
#include "utility.h"

namespace kivrel
{

void FillTxBuf(int orderCode)
{
    szWriteBuf[0] = sync;
    szWriteBuf[1] = static_cast<unsigned char>(orderCode);
    for (int i = 0; i < AnzPara; i++)
        szWriteBuf[2 + i] = pp[i];
}

void GetRxBufPara(void)
{
    for (int i = 0; i < AnzPara; i++)
        pp[i] = szReadBuf[i];
}

void GetRxBufData(void)
{
    for (int i = 0; i < AnzData; i++)
        databuf[i] = szReadBuf[i];
}

void SendTelegram(int flushFirst)
{
    if (flushFirst) {
        FlushInQ(com);
        FlushOutQ(com);
    }
    FillTxBuf(order);
    ComWrt(com, szWriteBuf, AnzPara + 2);
}

int WaitRxBuf(int expected, double limit, int pollTest)
{
    int n = 0;
    tstart = Timer();
    SetSpinDeadline(tstart + limit);
    for (;;) {
        ProcessSystemEvents();
        n = GetInQLen(com);
        if (pollTest && poll == 0) {
            SetSpinDeadline(-1.0);
            return RX_ABANDONED;
        }
        tdiff = Timer() - tstart;
        // The time test comes first and both tests use this turn's count, so a reply that
        // completes in the turn in which the limit passes is still read and accepted.
        if (tdiff > limit) break;
        if (n >= expected) break;
    }
    SetSpinDeadline(-1.0);
    // The receive buffer holds a full input queue; the read is clamped to it whatever the
    // queue reported.
    if (n > static_cast<int>(sizeof szReadBuf)) n = static_cast<int>(sizeof szReadBuf);
    nBytesR = ComRd(com, szReadBuf, n);
    return nBytesR == expected ? RX_OK : RX_FAILED;
}

const char *OpenErrorText(int code)
{
    switch (code) {
    case -1: return "Unknown system error";
    case -2: return "Invalid port number";
    case -3: return "Port is not open";
    case -4: return "Unknown I/0 error"; // written with the digit zero, as it always was
    case -6: return "No serial port found";
    case -7: return "Cannot open port";
    case -99: return "Timeout";
    default: return "RS-232 error!";
    }
}

} // namespace kivrel
