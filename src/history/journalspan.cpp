#include "journalspan.h"

#include "state.h"

#include "formatio.h"
#include "utility.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

static JournalSpanSink spanSink;
static double spanFirst, spanLast;
static int journalShown;
static char chunk[65536];

// The set each device and memory was last seen with: with two sensors in one journal, the
// other sensor's set says nothing about what changed on this one.
enum { JournalSets = 32 };
struct JournalSet {
    char device[sizeof JournalRow::device];
    int where;
    unsigned char values[AnzPara];
};
static JournalSet journalSets[JournalSets];
static int journalSetCount; // in use, the one seen most recently last

// The set last seen for the row's device and memory (into `before`), or null; from now on the
// row's set is that one.
static const unsigned char *SwapJournalSet(const JournalRow *row, unsigned char before[AnzPara])
{
    int at = 0;
    while (at < journalSetCount && (journalSets[at].where != row->where ||
                                    std::strcmp(journalSets[at].device, row->device) != 0))
        at++;
    const int known = at < journalSetCount;
    if (known)
        std::memcpy(before, journalSets[at].values, AnzPara);
    else if (journalSetCount < JournalSets)
        journalSetCount++;
    else
        at = 0; // the one seen longest ago makes room
    JournalSet entry{};
    std::memcpy(entry.device, row->device, sizeof entry.device);
    entry.where = row->where;
    std::memcpy(entry.values, row->values, AnzPara);
    std::memmove(journalSets + at, journalSets + at + 1,
                 sizeof(JournalSet) * static_cast<size_t>(journalSetCount - 1 - at));
    journalSets[journalSetCount - 1] = entry;
    return known ? before : nullptr;
}

static void TakeJournalRow(const JournalRow *row)
{
    unsigned char before[AnzPara];
    const unsigned char *previous = SwapJournalSet(row, before);
    if (row->time < spanFirst || row->time > spanLast) return;
    spanSink(row, previous);
    journalShown++;
}

// Day numbers of the first ten characters of a time stamp, "2026-12-08".
static long DayOfStamp(const char *stamp)
{
    int year = 0, month = 0, day = 0;
    if (std::sscanf(stamp, "%4d-%2d-%2d", &year, &month, &day) != 3) return 0;
    return DayNumber(year, month, day);
}

int ReadJournalSpan(const RecTally *tally, double first, double last, JournalSpanSink sink)
{
    char dir[MAX_PATHNAME_LEN + 16];
    char path[sizeof dir + 16];
    spanSink = sink;
    spanFirst = first;
    spanLast = last;
    journalSetCount = 0;
    journalShown = 0;
    if (GetUserDataDir(dir) != 0) return 0;
    std::strcat(dir, "/journal");
    // The days of the first and the last row, and one either side: a row's day is that of its
    // own time stamp, and the day before holds the set the first transfer changed.
    long firstDay = DayOfStamp(tally->firstStamp), lastDay = DayOfStamp(tally->lastStamp);
    if (lastDay < firstDay) {
        const long day = firstDay;
        firstDay = lastDay;
        lastDay = day;
    }
    if (lastDay - firstDay > 31) lastDay = firstDay + 31; // a month's files at most
    for (long day = firstDay - 1; day <= lastDay + 1; day++) {
        char name[11];
        DayName(day, name);
        std::snprintf(path, sizeof path, "%s/%s.csv", dir, name);
        const int file = OpenFile(path, VAL_READ_ONLY, 0, VAL_ASCII);
        if (file < 0) continue; // no transfer that day
        BeginJournalReading(TakeJournalRow);
        int n = 0;
        while ((n = ReadFile(file, chunk, sizeof chunk)) > 0)
            FeedJournalReading(chunk, n);
        EndJournalReading();
        CloseFile(file);
    }
    return journalShown;
}

} // namespace kivrel
