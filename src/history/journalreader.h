// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// Reading back the parameter journal, from the bytes of a day's file in chunks of any size;
// its header and every row that does not read are passed over. Each file is read by a reader of
// its own, so the journal can be read while a recording is.
#ifndef KIVREL_HISTORY_JOURNALREADER_H
#define KIVREL_HISTORY_JOURNALREADER_H

#include "lines.h"
#include "stamps.h"

namespace kivrel
{

// How the journal's header begins, in every form it has had.
extern const char JournalHeaderStart[];

// One row of the parameter journal.
struct JournalRow {
    double time;              // seconds since the epoch
    int direction;            // TRANSFER_READ or TRANSFER_WRITE
    int outcome;              // TRANSFER_READ ... TRANSFER_VERIFY_FAILED; -1 where not said
    int where;                // RAM, EEPROM or DATFILE
    int port;                 // the COM number; 0 for a file, or a device no number mapped
    char device[128];         // the port's device or the file's path (cut to fit)
    char who[128];            // "user@host", empty in rows that do not say
    char user[64], host[64];  // the same apart
    char program[32];         // "kivrel", "kivrel-cli"; empty in rows that do not say
    char note[64];            // "restored from 2026-12-08 05:58:12"; empty in most rows
    unsigned char values[15]; // the parameter set, in wire order
};

// Called for every row read, in file order, with the reader's `sinkData`.
typedef void (*JournalRowSink)(const JournalRow *row, void *sinkData);

struct JournalReader {
    LineSplitter splitter;
    JournalRowSink sink;
    void *sinkData;
    int skipped;
    char fields[2 * LineMax + 2]; // every byte of a row, and a NUL per field
};

void BeginJournalReading(JournalReader *reader, JournalRowSink sink, void *sinkData);
void FeedJournalReading(JournalReader *reader, const char *bytes, int count);
// How many rows were passed over.
int EndJournalReading(JournalReader *reader);

} // namespace kivrel

#endif
