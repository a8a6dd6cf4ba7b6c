// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// The parameter journal's day files, one a day (YYYY-MM-DD.csv, named by the writer's local
// date) in the journal folder of the user's data folder: where they are, and reading one.
#ifndef KIVREL_HISTORY_JOURNALDAYS_H
#define KIVREL_HISTORY_JOURNALDAYS_H

#include "journalreader.h"

namespace kivrel
{

// The journal's folder, the data folder and "/journal", in `dir` of `size` bytes: 0, or -1 when
// its name is too long.
int JournalFolder(char dir[], int size);
// Hands every row of day `day`'s file (DayNumber) to `sink` with `sinkData`; a day without a
// file has no rows. 0, or -1 when the file is there but cannot be read to its end
// (GetFileErrorText says why; `path`, when given, names it in MAX_PATHNAME_LEN + 32 bytes).
int ReadJournalDay(long day, JournalRowSink sink, void *sinkData, char *path = nullptr);
// The first and the last day the journal has a file for: how many files there are, 0 for none,
// -1 when the folder cannot be read.
int JournalDays(long *first, long *last);

} // namespace kivrel

#endif
