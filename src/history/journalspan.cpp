#include "journalspan.h"

#include "journaldays.h"
#include "state.h"

#include "utility.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

// The set each device and memory was last seen with: with two sensors in one journal, the
// other sensor's set says nothing about what changed on this one.
enum { JournalSets = 32 };
struct JournalSet {
    char device[sizeof JournalRow::device];
    int where;
    unsigned char values[AnzPara];
};

// One reading of a span: where it goes, and the sets seen so far.
struct SpanReading {
    JournalSpanSink sink;
    void *sinkData;
    double first, last;
    int shown;
    JournalSet sets[JournalSets];
    int setCount; // in use, the one seen most recently last
};

// The set last seen for the row's device and memory (into `before`), or null; from now on the
// row's set is that one.
static const unsigned char *SwapJournalSet(SpanReading *s, const JournalRow *row,
                                           unsigned char before[AnzPara])
{
    int at = 0;
    while (at < s->setCount &&
           (s->sets[at].where != row->where || std::strcmp(s->sets[at].device, row->device) != 0))
        at++;
    const int known = at < s->setCount;
    if (known)
        std::memcpy(before, s->sets[at].values, AnzPara);
    else if (s->setCount < JournalSets)
        s->setCount++;
    else
        at = 0; // the one seen longest ago makes room
    JournalSet entry{};
    std::memcpy(entry.device, row->device, sizeof entry.device);
    entry.where = row->where;
    std::memcpy(entry.values, row->values, AnzPara);
    std::memmove(s->sets + at, s->sets + at + 1,
                 sizeof(JournalSet) * static_cast<size_t>(s->setCount - 1 - at));
    s->sets[s->setCount - 1] = entry;
    return known ? before : nullptr;
}

static void TakeJournalRow(const JournalRow *row, void *data)
{
    SpanReading *s = static_cast<SpanReading *>(data);
    unsigned char before[AnzPara];
    const unsigned char *previous = SwapJournalSet(s, row, before);
    if (row->time < s->first || row->time > s->last) return;
    s->sink(row, previous, s->sinkData);
    s->shown++;
}

// Day numbers of the first ten characters of a time stamp, "2026-12-08".
static long DayOfStamp(const char *stamp)
{
    int year = 0, month = 0, day = 0;
    if (std::sscanf(stamp, "%4d-%2d-%2d", &year, &month, &day) != 3) return 0;
    return DayNumber(year, month, day);
}

int ReadJournalDays(long firstDay, long lastDay, double first, double last, JournalSpanSink sink,
                    void *sinkData, JournalDayFailed failed)
{
    SpanReading s{};
    s.sink = sink;
    s.sinkData = sinkData;
    s.first = first;
    s.last = last;
    for (long day = firstDay; day <= lastDay; day++) {
        char path[MAX_PATHNAME_LEN + 32];
        if (ReadJournalDay(day, TakeJournalRow, &s, path) != 0 && failed) failed(path);
    }
    return s.shown;
}

int ReadJournalSpan(const RecTally *tally, double first, double last, JournalSpanSink sink,
                    void *sinkData)
{
    // The days of the first and the last row, and one either side: a row's day is that of its
    // own time stamp, and the day before holds the set the first transfer changed.
    long firstDay = DayOfStamp(tally->firstStamp), lastDay = DayOfStamp(tally->lastStamp);
    if (lastDay < firstDay) {
        const long day = firstDay;
        firstDay = lastDay;
        lastDay = day;
    }
    if (lastDay - firstDay > 31) lastDay = firstDay + 31; // a month's files at most
    return ReadJournalDays(firstDay - 1, lastDay + 1, first, last, sink, sinkData, nullptr);
}

} // namespace kivrel
