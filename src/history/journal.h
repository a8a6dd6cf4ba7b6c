// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// The parameter journal: one CSV row for every parameter set that went between the panel and
// the sensor or a file, in a file a day under $XDG_DATA_HOME/kivrel/journal/. Every program that
// writes it takes the file's lock for its append, so rows of two programs never interleave and
// a day's file has one header.
#ifndef KIVREL_HISTORY_JOURNAL_H
#define KIVREL_HISTORY_JOURNAL_H

#include "columns.h" // the words of its columns

struct LocalDateTime;

namespace kivrel
{

// How a transfer ended. A read, or a write: the panel writes without reading back; the command
// line reads every write back and compares.
enum {
    TRANSFER_READ = 0,
    TRANSFER_WRITE = 1, // written without verification
    TRANSFER_VERIFIED = 2,
    TRANSFER_VERIFY_FAILED = 3
};

// The program named in the rows it writes.
extern const char *journalProgram;
// What the next writes note of themselves ("restored from 2026-12-08 05:58:12"); empty for
// most.
extern char journalNote[64];

// A row for pp as it was just read from or written to `where` (RAM, EEPROM or DATFILE; the
// file is file_name, named by its absolute path, the port com), with who wrote it on which
// machine and how the transfer ended. Under the file's lock the row takes its time, so rows
// stand in the order they were appended, and a row a full disk cut short is ended before it.
// 0, or -1 when the row could not be written: szKeepError then says why (and stderr, while
// keepSaysWhy is set).
int JournalTransfer(int outcome, int where);

// The clock the journal's rows are stamped by, and their day files chosen by: the local time
// unless a test sets another; null sets the local time again.
void SetJournalClock(void (*clock)(LocalDateTime *now));

} // namespace kivrel

#endif
