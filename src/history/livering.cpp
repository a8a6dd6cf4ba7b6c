#include "livering.h"

#include "measure.h"
#include "paths.h"
#include "portname.h"
#include "recreader.h"

#include "rs232.h"
#include "utility.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

static HistoryRecord records[HistoryRecords];
static int recordFirst, recordCount;
static HistoryTransfer transfers[HistoryTransfers];
static int transferFirst, transferCount;
static unsigned char lastSet[AnzPara]; // the set of the last transfer
static int lastSetKnown;

double ClockNowAndOffset(int *utcOffsetMinutes)
{
    LocalDateTime t{};
    GetLocalDateTime(&t);
    *utcOffsetMinutes = t.utcOffsetMinutes;
    return EpochSeconds(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond,
                        t.utcOffsetMinutes);
}

double ClockNow(void)
{
    int offset = 0;
    return ClockNowAndOffset(&offset);
}

void PortText(char *text, int size, int port, const char *device)
{
    if (port == 0)
        std::snprintf(text, static_cast<size_t>(size), "%.140s", device);
    else if (device[0])
        std::snprintf(text, static_cast<size_t>(size), "COM%d (%.140s)", port, device);
    else
        std::snprintf(text, static_cast<size_t>(size), "COM%d", port);
}

void CurrentPort(char *text, int size)
{
    ComLabel(com, text, size);
}

const HistoryRecord *KeepHistoryRecord(void)
{
    int offset = 0;
    const double now = ClockNowAndOffset(&offset);
    if (recordCount == HistoryRecords) {
        recordFirst = (recordFirst + 1) % HistoryRecords;
        recordCount--;
    }
    HistoryRecord &r = records[(recordFirst + recordCount) % HistoryRecords];
    r.time = now;
    r.values[0] = dataDat0;
    r.values[1] = dataDat1;
    r.values[2] = dataNorm;
    r.values[3] = dataTrshWork;
    r.values[4] = dataHystWork;
    r.in0Period = static_cast<unsigned short>(Word(dataAdjin0L, dataAdjin0H));
    r.activeWindow = static_cast<unsigned short>(Word(dataAdjin1L, dataAdjin1H));
    r.edgeTime = static_cast<unsigned short>(Word(dataAdjedgeL, dataAdjedgeH));
    r.utcOffset = static_cast<short>(offset);
    recordCount++;
    while (records[recordFirst].time < now - HistorySeconds) {
        recordFirst = (recordFirst + 1) % HistoryRecords;
        recordCount--;
    }
    return &r;
}

const HistoryTransfer *KeepHistoryTransfer(int direction, int where)
{
    if (transferCount == HistoryTransfers) {
        transferFirst = (transferFirst + 1) % HistoryTransfers;
        transferCount--;
    }
    HistoryTransfer &t = transfers[(transferFirst + transferCount) % HistoryTransfers];
    transferCount++;
    t.time = ClockNow();
    t.direction = direction;
    t.where = where;
    t.hasBefore = lastSetKnown;
    std::memcpy(t.before, lastSet, sizeof lastSet);
    std::memcpy(t.after, pp, sizeof t.after);
    if (where == DATFILE)
        std::snprintf(t.place, sizeof t.place, "%.150s", FileNameOf(file_name));
    else
        CurrentPort(t.place, sizeof t.place);
    std::memcpy(lastSet, pp, sizeof lastSet);
    lastSetKnown = 1;
    return &t;
}

int HistoryRecordCount(void)
{
    return recordCount;
}

const HistoryRecord *HistoryRecordAt(int index)
{
    return &records[(recordFirst + index) % HistoryRecords];
}

int HistoryTransferCount(void)
{
    return transferCount;
}

const HistoryTransfer *HistoryTransferAt(int index)
{
    return &transfers[(transferFirst + index) % HistoryTransfers];
}

void ForgetHistoryRing(void)
{
    recordFirst = recordCount = 0;
    transferFirst = transferCount = 0;
    lastSetKnown = 0;
}

} // namespace kivrel
