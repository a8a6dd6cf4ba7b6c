// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// The run's own history, whether a window shows it or not: the records polling showed in the
// last ten minutes and the last parameter transfers, each with the set before it, in fixed
// rings.
#ifndef KIVREL_HISTORY_LIVERING_H
#define KIVREL_HISTORY_LIVERING_H

#include "state.h" // AnzPara

namespace kivrel
{

// Ten minutes of records at up to 13 a second (the line gives about nine); 192 KiB.
inline constexpr int HistoryRecords = 8192;
inline constexpr int HistoryTransfers = 256;
inline constexpr int HistoryTraces = 5; // DAT0, DAT1, NORM, TRSH, HYST
inline constexpr int PlaceSize = 160;
inline constexpr double HistorySeconds = 600.0;

struct HistoryRecord {
    double time; // seconds since the epoch
    unsigned char values[HistoryTraces];
    // The rest of a recording's row, so a span can be written as REC writes it.
    unsigned short in0Period, activeWindow, edgeTime;
    short utcOffset; // minutes local time was ahead of UTC
};

struct HistoryTransfer {
    double time;
    int direction, where;
    int hasBefore;
    unsigned char before[AnzPara], after[AnzPara];
    char place[PlaceSize]; // "COM1 (ttyUSB0)", or the name of the file
};

// The local clock now, in seconds since the epoch.
double ClockNow(void);
// The same, and how many minutes local time is ahead of UTC.
double ClockNowAndOffset(int *utcOffsetMinutes);
// A journal row's port: "COM1 (ttyUSB0)", "COM1" when the number had no device, the device
// alone when no COM number mapped it (port 0).
void PortText(char *text, int size, int port, const char *device);
// Com, the port in use, as ComLabel names it.
void CurrentPort(char *text, int size);

// Keeps the record polling has just shown (the measurement variables), and lets go of those
// older than HistorySeconds. Returns the record kept.
const HistoryRecord *KeepHistoryRecord(void);
// Keeps the transfer of pp just made, against the set of the transfer before it. Returns it.
const HistoryTransfer *KeepHistoryTransfer(int direction, int where);

// What the rings hold, oldest first.
int HistoryRecordCount(void);
const HistoryRecord *HistoryRecordAt(int index);
int HistoryTransferCount(void);
const HistoryTransfer *HistoryTransferAt(int index);

// Forgets every record and transfer.
void ForgetHistoryRing(void);

} // namespace kivrel

#endif
