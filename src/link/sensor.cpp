#include "sensor.h"

#include "assistant.h"
#include "com232.h"
#include "controls.h"
#include "gui.h"
#include "norms.h"
#include "recording.h"
#include "runhistory.h"
#include "transfers.h"
#include "state.h"

#include "rs232.h"
#include "userint.h"
#include "utility.h"

namespace kivrel
{

void SendPara(void)
{
    poll = 0;
    order = target == RAM ? ORDER_SEND_RAM : ORDER_SEND_EEPROM;
    GetPanelValues();
    CopyVarsToPP();
    FillTxBuf(order); // no flush: the sensor does not answer a write
    nBytesW = ComWrt(com, szWriteBuf, AnzPara + 2);
    if (nBytesW != AnzPara + 2) {
        TimeoutReport();
        return;
    }
    NoteTransfer(TRANSFER_WRITE, order == ORDER_SEND_RAM ? RAM : EEPROM);
}

void GetPara(void)
{
    poll = 0;
    // The file target has no order code of its own. It reaches here only from a connect with
    // FILE selected; reading the sensor's RAM then is what the operator expects.
    order = target == EEPROM ? ORDER_GET_EEPROM : ORDER_GET_RAM;
    SendTelegram(1);
    if (WaitRxBuf(AnzPara, TIMEOUT_REPLY, 0) != RX_OK) {
        TimeoutReport();
        return;
    }
    GetRxBufPara();
    CopyPPtoVars();
    SetPanelValues();
    InitPanelValues();
    NoteTransfer(TRANSFER_READ, order == ORDER_GET_EEPROM ? EEPROM : RAM);
}

void GetData(void)
{
    order = ORDER_GET_DATA;
    poll = 1;
    DispVis();
    while (poll == 1) {
        SendTelegram(1);
        const int rx = WaitRxBuf(AnzData, TIMEOUT_REPLY, 1);
        if (rx == RX_ABANDONED) // a nested Stop, connect or transfer cleared poll
            break;
        if (rx == RX_OK) {
            GetRxBufData();
            CopyDatatoVars();
            SetPanelData();
            ShowGraph();
            KeepNorm();
            KeepRecord();
            KeepHistory();
            if (source == 2) ShowWindowVerdict();
        } else {
            // A recording ends with the polling a fault ends, its rows kept before the popup
            // holds everything up.
            StopRecording();
            TimeoutReport();
            poll = 0;
        }
        ProcessSystemEvents();
        Sleep(50);
    }
    HandOverRows(); // however polling ended, nothing recorded waits for the next record
}

void GetJmpBuf(void)
{
    unsigned char thresholdLine[16];

    poll = 0;
    order = ORDER_GET_JUMPBUF;
    SendTelegram(1);
    if (WaitRxBuf(16, TIMEOUT_REPLY, 0) != RX_OK) {
        TimeoutReport();
        return;
    }
    for (int i = 0; i < 16; i++) {
        jumpbuf[i] = szReadBuf[i];
        thresholdLine[i] = dataTrshWork;
    }
    DeleteGraphPlot(panel, PANEL_GRAPHDATA1, -1, 1);
    SetCtrlAttribute(panel, PANEL_GRAPHDATA2, ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, PANEL_GRAPHRAW1, ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, PANEL_GRAPHDATA1, ATTR_VISIBLE, 1);
    PlotY(panel, PANEL_GRAPHDATA1, jumpbuf, 16, VAL_UNSIGNED_CHAR, 5, 0, 0, 1, 0x0000FF);
    PlotY(panel, PANEL_GRAPHDATA1, thresholdLine, 16, VAL_UNSIGNED_CHAR, 5, 0, 0, 1, 0x000000);
    NoteJumpBuffer();
}

} // namespace kivrel
