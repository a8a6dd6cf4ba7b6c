#include "journalset.h"

#include "journal.h"
#include "state.h"

#include "formatio.h"
#include "utility.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace kivrel
{

static char chunk[65536];

// A day file is named by the local date of the program that wrote it, which lies within a day
// of the UTC date of its rows' times: the days are counted in UTC, and a margin read either
// side.
static long UtcDay(double time)
{
    return static_cast<long>(std::floor(time / 86400.0));
}

// Hands every row of the day's file to `sink`; a day without a file has no rows.
static void ReadJournalDay(long day, JournalRowSink sink)
{
    char dir[MAX_PATHNAME_LEN + 16];
    char path[sizeof dir + 16];
    char name[11];
    if (GetUserDataDir(dir) != 0) return;
    std::strcat(dir, "/journal");
    DayName(day, name);
    std::snprintf(path, sizeof path, "%s/%s.csv", dir, name);
    const int file = OpenFile(path, VAL_READ_ONLY, 0, VAL_ASCII);
    if (file < 0) return;
    BeginJournalReading(sink);
    int n = 0;
    while ((n = ReadFile(file, chunk, sizeof chunk)) > 0)
        FeedJournalReading(chunk, n);
    EndJournalReading();
    CloseFile(file);
}

static int IsSensorRow(const JournalRow *row)
{
    return row->where == RAM || row->where == EEPROM;
}

// ---- The sensors of a span -------------------------------------------------------------------

static double sensorsFirst, sensorsLast;
static char (*sensorsOut)[JournalDeviceSize];
static int sensorsMax, sensorsFound;
static char sensorsSeen[8][JournalDeviceSize]; // the first few, to tell a new one
static int beforeFound;
static double beforeTime;
static char beforeDevice[JournalDeviceSize];

static void TakeSensorRow(const JournalRow *row)
{
    if (!IsSensorRow(row)) return;
    if (row->time < sensorsFirst) {
        if (!beforeFound || row->time >= beforeTime) {
            beforeFound = 1;
            beforeTime = row->time;
            std::memcpy(beforeDevice, row->device, sizeof beforeDevice);
        }
        return;
    }
    if (row->time > sensorsLast) return;
    const int known = sensorsFound < 8 ? sensorsFound : 8;
    for (int i = 0; i < known; i++)
        if (std::strcmp(sensorsSeen[i], row->device) == 0) return;
    if (sensorsFound < 8) std::memcpy(sensorsSeen[sensorsFound], row->device, JournalDeviceSize);
    if (sensorsFound < sensorsMax)
        std::memcpy(sensorsOut[sensorsFound], row->device, JournalDeviceSize);
    sensorsFound++;
}

int JournalSensorsOf(double first, double last, char devices[][JournalDeviceSize], int max)
{
    if (last < first) {
        const double t = first;
        first = last;
        last = t;
    }
    sensorsFirst = first;
    sensorsLast = last;
    sensorsOut = devices;
    sensorsMax = max;
    sensorsFound = 0;
    beforeFound = 0;
    const long firstDay = UtcDay(first);
    long lastDay = UtcDay(last);
    if (lastDay - firstDay > JournalLookBackDays) lastDay = firstDay + JournalLookBackDays;
    for (long day = firstDay - 1; day <= lastDay + 1; day++)
        ReadJournalDay(day, TakeSensorRow);
    if (sensorsFound > 0) return sensorsFound;
    // None in the span: the sensor of the last row before it, day by day further back.
    for (long day = firstDay - 2; !beforeFound && day > firstDay - 1 - JournalLookBackDays; day--)
        ReadJournalDay(day, TakeSensorRow);
    if (!beforeFound) return 0;
    if (max > 0) std::memcpy(devices[0], beforeDevice, JournalDeviceSize);
    return 1;
}

// ---- The set in force at a time --------------------------------------------------------------

static const char *setDevice;
static int setMemory, setFound;
static double setTime;
static JournalRow *setRow;

static void TakeSetRow(const JournalRow *row)
{
    const int memory =
        setMemory == JOURNAL_EITHER_MEMORY ? IsSensorRow(row) : row->where == setMemory;
    if (!memory || row->time > setTime || row->outcome == TRANSFER_VERIFY_FAILED ||
        std::strcmp(row->device, setDevice) != 0)
        return;
    if (setFound && row->time < setRow->time) return; // of equal times, the one written last
    *setRow = *row;
    setFound = 1;
}

int JournalSetAt(const char *device, int memory, double time, int days, JournalRow *found)
{
    setDevice = device;
    setMemory = memory;
    setTime = time;
    setRow = found;
    setFound = 0;
    // From the day after (a margin for the offset) back; once a day's file has given a row, the
    // day before it too, for rows of another offset, and no further.
    const long newest = UtcDay(time) + 1;
    long last = newest - days + 1;
    for (long day = newest; day >= last; day--) {
        ReadJournalDay(day, TakeSetRow);
        if (setFound && last < day - 1) last = day - 1;
    }
    return setFound;
}

} // namespace kivrel
