// src/core, the ground floor: program state, constants and help texts; includes nothing of src/.
// The program's state: every value lives here, under one name, for the whole run.
#ifndef KIVREL_CORE_STATE_H
#define KIVREL_CORE_STATE_H

namespace kivrel
{

// Counts and codes.
inline constexpr int AnzPara = 15; // bytes in the parameter set and in every telegram
inline constexpr int AnzData = 11; // bytes in the measurement record
inline constexpr int RAM = 1;      // transfer targets
inline constexpr int EEPROM = 2;
inline constexpr int DATFILE = 3;

// Link and panel.
extern int com;             // COM port number in use
extern unsigned char sync;  // first byte of every telegram, 0x55
extern unsigned char order; // order code of the telegram being built or last sent (transfer.h
                            // says which call reads it and which sets it)
extern int target;          // RAM, EEPROM or DATFILE; a sensor write (WritePara) with DATFILE
                            // goes to the EEPROM
extern int poll;            // 1 while live polling runs; clearing it ends the loop
extern int source;          // display source 0, 1 or 2, as last read from the panel
extern unsigned char para;  // page switch: 1 first parameter page, 0 second
extern int panel;           // the main panel's handle
extern char proj_dir[260];  // where the file dialogs open
extern char file_name[260]; // path chosen in the last file dialog
extern char szStatus[64];   // status-line composition buffer
extern double tstart;       // start of the wait in progress, shared by every timed wait
extern double tdiff;        // seconds elapsed in that wait
extern int nBytesW;         // bytes the last parameter write reported written
extern int nBytesR;         // bytes the last read returned
extern int ret;             // result of the last port open

// Wire images and buffers.
extern unsigned char pp[AnzPara];
extern unsigned char databuf[AnzData];
extern unsigned char szWriteBuf[1024];
extern unsigned char szReadBuf[1024];
extern unsigned char jumpbuf[16];
extern double alldata[500];

// The parameter set, in wire order.
extern unsigned char threshold, hysteresis, power, pmod, hold, trigger, backlim, regcnt, average,
    deadtimemode, deadtime, outmode, trshmod, deltatrsh, frei15;

// The measurement record, in wire order.
extern unsigned char dataDat0, dataDat1, dataNorm, dataAdjedgeL, dataAdjedgeH, dataAdjin0L,
    dataAdjin0H, dataAdjin1L, dataAdjin1H, dataTrshWork, dataHystWork;

void CopyVarsToPP(void);
void CopyPPtoVars(void);
void CopyDatatoVars(void);

} // namespace kivrel

#endif
