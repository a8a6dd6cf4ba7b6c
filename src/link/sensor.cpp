#include "sensor.h"

#include "assistant.h"
#include "com232.h"
#include "controls.h"
#include "gui.h"
#include "norms.h"
#include "recording.h"
#include "runhistory.h"
#include "state.h"
#include "transfer.h"
#include "transfers.h"

#include "userint.h"
#include "utility.h"

namespace kivrel
{

void SendPara(void)
{
    poll = 0;
    GetPanelValues();
    CopyVarsToPP();
    if (WritePara() != RX_OK) {
        TimeoutReport();
        return;
    }
    NoteTransfer(TRANSFER_WRITE, order == ORDER_SEND_RAM ? RAM : EEPROM);
}

void GetPara(void)
{
    poll = 0;
    if (ReadPara() != RX_OK) {
        TimeoutReport();
        return;
    }
    SensorAnswered();
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
        const int rx = ReadRecord(1);
        if (rx == RX_ABANDONED) // a nested Stop, connect or transfer cleared poll
            break;
        if (rx == RX_OK) {
            SensorAnswered();
            SetPanelData();
            ShowGraph();
            KeepNorm();
            KeepRecord();
            KeepHistory();
            if (source == 2) ShowWindowVerdict();
        } else {
            // A recording ends with the polling a fault ends, its rows kept before the popup
            // holds everything up; once it is answered, the status line names the file.
            const int ended = EndRecordingKept();
            TimeoutReport();
            if (ended) TellRecordingEnded("TIMEOUT");
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
    if (ReadJumpBuffer() != RX_OK) {
        TimeoutReport();
        return;
    }
    SensorAnswered();
    for (int i = 0; i < 16; i++)
        thresholdLine[i] = dataTrshWork;
    DeleteGraphPlot(panel, PANEL_GRAPHDATA1, -1, 1);
    SetCtrlAttribute(panel, PANEL_GRAPHDATA2, ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, PANEL_GRAPHRAW1, ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, PANEL_GRAPHDATA1, ATTR_VISIBLE, 1);
    PlotY(panel, PANEL_GRAPHDATA1, jumpbuf, 16, VAL_UNSIGNED_CHAR, 5, 0, 0, 1, 0x0000FF);
    PlotY(panel, PANEL_GRAPHDATA1, thresholdLine, 16, VAL_UNSIGNED_CHAR, 5, 0, 0, 1, 0x000000);
    NoteJumpBuffer();
}

} // namespace kivrel
