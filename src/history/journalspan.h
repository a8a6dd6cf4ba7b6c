// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// The parameter journal's rows that fall into a recording's span, found in the journal's day
// files, each with the set of the row before it, so a window can show what each changed.
#ifndef KIVREL_HISTORY_JOURNALSPAN_H
#define KIVREL_HISTORY_JOURNALSPAN_H

#include "journalreader.h" // JournalRow
#include "recreader.h"     // RecTally

namespace kivrel
{

// Called for every journal row from `first` to `last`, with the set of the journal's row before
// it of the same device and memory, or null when none was read before it.
typedef void (*JournalSpanSink)(const JournalRow *row, const unsigned char *before, void *sinkData);

// Called with the path of a day's file that is there but could not be read to its end.
typedef void (*JournalDayFailed)(const char *path);

// Reads the day files from `firstDay` to `lastDay` (DayNumber), in day order, and hands `sink`
// the rows from `first` to `last` (seconds since the epoch), each compared with the rows read
// before it. Returns how many.
int ReadJournalDays(long firstDay, long lastDay, double first, double last, JournalSpanSink sink,
                    void *sinkData, JournalDayFailed failed);
// Reads the days of the recording's first and last time stamps and one either side (a month's
// files at most), in day order, and hands `sink` the rows from `first` to `last` (seconds since
// the epoch: the earliest and the latest row, as a clock may have jumped). Returns how many.
int ReadJournalSpan(const RecTally *tally, double first, double last, JournalSpanSink sink,
                    void *sinkData);

} // namespace kivrel

#endif
