#include "journalset.h"

#include "journal.h"
#include "journaldays.h"
#include "state.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace kivrel
{

// A day file is named by the local date of the program that wrote it, which lies within a day
// of the UTC date of its rows' times: the days are counted in UTC, and a margin read either
// side.
static long UtcDay(double time)
{
    return static_cast<long>(std::floor(time / 86400.0));
}

static int IsSensorRow(const JournalRow *row)
{
    return row->where == RAM || row->where == EEPROM;
}

// ---- The sensors of a span -------------------------------------------------------------------

// What the question of a span's sensors has found so far.
struct SensorsQuestion {
    double first, last;
    char (*out)[JournalDeviceSize];
    int max, found;
    char seen[8][JournalDeviceSize]; // the first few, to tell a new one
    int beforeFound;
    double beforeTime;
    char beforeDevice[JournalDeviceSize];
};

static void TakeSensorRow(const JournalRow *row, void *data)
{
    SensorsQuestion *q = static_cast<SensorsQuestion *>(data);
    if (!IsSensorRow(row)) return;
    if (row->time < q->first) {
        if (!q->beforeFound || row->time >= q->beforeTime) {
            q->beforeFound = 1;
            q->beforeTime = row->time;
            std::memcpy(q->beforeDevice, row->device, sizeof q->beforeDevice);
        }
        return;
    }
    if (row->time > q->last) return;
    const int known = q->found < 8 ? q->found : 8;
    for (int i = 0; i < known; i++)
        if (std::strcmp(q->seen[i], row->device) == 0) return;
    if (q->found < 8) std::memcpy(q->seen[q->found], row->device, JournalDeviceSize);
    if (q->found < q->max) std::memcpy(q->out[q->found], row->device, JournalDeviceSize);
    q->found++;
}

int JournalSensorsOf(double first, double last, char devices[][JournalDeviceSize], int max)
{
    if (last < first) {
        const double t = first;
        first = last;
        last = t;
    }
    SensorsQuestion q{};
    q.first = first;
    q.last = last;
    q.out = devices;
    q.max = max;
    const long firstDay = UtcDay(first);
    long lastDay = UtcDay(last);
    if (lastDay - firstDay > JournalLookBackDays) lastDay = firstDay + JournalLookBackDays;
    for (long day = firstDay - 1; day <= lastDay + 1; day++)
        ReadJournalDay(day, TakeSensorRow, &q);
    if (q.found > 0) return q.found;
    // None in the span: the sensor of the last row before it, day by day further back.
    for (long day = firstDay - 2; !q.beforeFound && day > firstDay - 1 - JournalLookBackDays; day--)
        ReadJournalDay(day, TakeSensorRow, &q);
    if (!q.beforeFound) return 0;
    if (max > 0) std::memcpy(devices[0], q.beforeDevice, JournalDeviceSize);
    return 1;
}

// ---- The set in force at a time --------------------------------------------------------------

// What the question of the set in force has found so far.
struct SetQuestion {
    const char *device;
    int memory, found;
    double time;
    JournalRow *row;
};

static void TakeSetRow(const JournalRow *row, void *data)
{
    SetQuestion *q = static_cast<SetQuestion *>(data);
    const int memory =
        q->memory == JOURNAL_EITHER_MEMORY ? IsSensorRow(row) : row->where == q->memory;
    if (!memory || row->time > q->time || row->outcome == TRANSFER_VERIFY_FAILED ||
        std::strcmp(row->device, q->device) != 0)
        return;
    if (q->found && row->time < q->row->time) return; // of equal times, the one written last
    *q->row = *row;
    q->found = 1;
}

int JournalSetAt(const char *device, int memory, double time, int days, JournalRow *found)
{
    SetQuestion q{device, memory, 0, time, found};
    // From the day after (a margin for the offset) back; once a day's file has given a row, the
    // day before it too, for rows of another offset, and no further.
    const long newest = UtcDay(time) + 1;
    long last = newest - days + 1;
    for (long day = newest; day >= last; day--) {
        ReadJournalDay(day, TakeSetRow, &q);
        if (q.found && last < day - 1) last = day - 1;
    }
    return q.found;
}

// ---- The first row of a sensor ------------------------------------------------------------

static void TakeFirstRow(const JournalRow *row, void *data)
{
    SetQuestion *q = static_cast<SetQuestion *>(data);
    if (row->where != q->memory || std::strcmp(row->device, q->device) != 0) return;
    if (q->found && row->time >= q->row->time) return;
    *q->row = *row;
    q->found = 1;
}

int JournalFirstOf(const char *device, int memory, long firstDay, long lastDay, JournalRow *found)
{
    SetQuestion q{device, memory, 0, 0.0, found};
    // Day by day from the first; the day after a day with a row may hold an earlier one.
    for (long day = firstDay; day <= lastDay && (!q.found || day <= UtcDay(found->time) + 2); day++)
        ReadJournalDay(day, TakeFirstRow, &q);
    return q.found;
}

} // namespace kivrel
