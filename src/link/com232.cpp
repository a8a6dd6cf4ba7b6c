#include "com232.h"

#include "controls.h"
#include "helptexts.h"
#include "marks.h"
#include "sensor.h"
#include "state.h"

#include "rs232.h"
#include "userint.h"
#include "utility.h"

#include <cstring>

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
    for (;;) {
        ProcessSystemEvents();
        n = GetInQLen(com);
        if (pollTest && poll == 0) return RX_ABANDONED;
        tdiff = Timer() - tstart;
        // The time test comes first and both tests use this turn's count, so a reply that
        // completes in the turn in which the limit passes is still read and accepted.
        if (tdiff > limit) break;
        if (n >= expected) break;
    }
    // The receive buffer holds a full input queue; the read is clamped to it whatever the
    // queue reported.
    if (n > static_cast<int>(sizeof szReadBuf)) n = static_cast<int>(sizeof szReadBuf);
    nBytesR = ComRd(com, szReadBuf, n);
    return nBytesR == expected ? RX_OK : RX_FAILED;
}

void TimeoutReport(void)
{
    SetCtrlVal(panel, PANEL_STATUS, "TIMEOUT");
    MessagePopup("INFO", InfoTimeout);
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

void InitRS232(int port)
{
    poll = 0;
    ret = OpenComConfig(port, "", 4800, 0, 8, 1, 1024, 1024);
    ShowTitle(); // the port and the device the open found
    if (ret < 0) {
        std::strcpy(szStatus, OpenErrorText(ret));
        SetCtrlVal(panel, PANEL_STATUS, szStatus);
        return;
    }
    SetComTime(port, 2.0);
    FlushInQ(port);
    FlushOutQ(port);
    SetCTSMode(port, 0);
    CheckComLine();
}

void CheckComLine(void)
{
    order = ORDER_CHECK_LINE;
    SendTelegram(0); // the port set-up has just flushed both queues
    if (WaitRxBuf(3, TIMEOUT_CHECK_LINE, 0) == RX_OK && szReadBuf[0] == 0xAA &&
        szReadBuf[1] == 0x04 && szReadBuf[2] == 0x00) {
        std::strcpy(szStatus, "LINE OK                              V4.0");
        SetCtrlVal(panel, PANEL_STATUS, szStatus);
        GetPara();
    } else {
        TimeoutReport();
    }
}

} // namespace kivrel
