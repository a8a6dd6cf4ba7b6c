#include "transfer.h"

#include "state.h"

#include "eventloop.h"
#include "rs232.h"
#include "utility.h"

namespace kivrel
{

int OpenLine(int port)
{
    ret = OpenComConfig(port, "", 4800, 0, 8, 1, 1024, 1024);
    if (ret < 0) return ret;
    SetComTime(port, 2.0);
    FlushInQ(port);
    FlushOutQ(port);
    SetCTSMode(port, 0);
    return ret;
}

int CheckLine(void)
{
    order = ORDER_CHECK_LINE;
    SendTelegram(0); // the port set-up has just flushed both queues
    // The three bytes are compared only when exactly three were read.
    if (WaitRxBuf(3, TIMEOUT_CHECK_LINE, 0) == RX_OK && szReadBuf[0] == 0xAA &&
        szReadBuf[1] == 0x04 && szReadBuf[2] == 0x00)
        return RX_OK;
    return RX_FAILED;
}

int ReadPara(void)
{
    // The file target has no order code of its own. It reaches here only from a connect with
    // FILE selected; reading the sensor's RAM then is what the operator expects.
    order = target == EEPROM ? ORDER_GET_EEPROM : ORDER_GET_RAM;
    SendTelegram(1);
    const int rx = WaitRxBuf(AnzPara, TIMEOUT_REPLY, 0);
    if (rx == RX_OK) GetRxBufPara();
    return rx;
}

int WritePara(void)
{
    order = target == RAM ? ORDER_SEND_RAM : ORDER_SEND_EEPROM;
    FillTxBuf(order); // no flush: the sensor does not answer a write
    nBytesW = ComWrt(com, szWriteBuf, AnzPara + 2);
    return nBytesW == AnzPara + 2 ? RX_OK : RX_FAILED;
}

int ReadRecord(int pollTest)
{
    SendTelegram(1);
    const int rx = WaitRxBuf(AnzData, TIMEOUT_REPLY, pollTest);
    if (rx == RX_OK) {
        GetRxBufData();
        CopyDatatoVars();
    }
    return rx;
}

int ReadJumpBuffer(void)
{
    order = ORDER_GET_JUMPBUF;
    SendTelegram(1);
    const int rx = WaitRxBuf(16, TIMEOUT_REPLY, 0);
    if (rx == RX_OK)
        for (int i = 0; i < 16; i++)
            jumpbuf[i] = szReadBuf[i];
    return rx;
}

void SettleWait(void)
{
    tstart = Timer();
    tdiff = 0.0;
    const double wait = target == EEPROM ? 1.5 : 0.1;
    SetSpinDeadline(tstart + wait);
    while (wait > tdiff) {
        ProcessSystemEvents();
        tdiff = Timer() - tstart;
    }
    SetSpinDeadline(-1.0);
}

} // namespace kivrel
