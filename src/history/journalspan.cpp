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
static unsigned char journalSet[AnzPara];
static int journalSetKnown;
static int journalShown;
static char chunk[65536];

static void TakeJournalRow(const JournalRow *row)
{
    if (row->time >= spanFirst && row->time <= spanLast) {
        spanSink(row, journalSetKnown ? journalSet : nullptr);
        journalShown++;
    }
    std::memcpy(journalSet, row->values, sizeof journalSet);
    journalSetKnown = 1;
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
    journalSetKnown = 0;
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
