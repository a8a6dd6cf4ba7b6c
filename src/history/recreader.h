// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// Reading back a recording REC wrote, from the bytes of a file in chunks of any size. Nothing
// here opens a file or touches the panel, so any bytes at all may be fed (tests/fuzz). Each file
// is read by a reader of its own, so two can be read at once.
#ifndef KIVREL_HISTORY_RECREADER_H
#define KIVREL_HISTORY_RECREADER_H

#include "lines.h"
#include "stamps.h"

namespace kivrel
{

// One row of a recording.
struct RecRow {
    double time;    // seconds since the epoch
    double seconds; // since REC was switched on
    unsigned char dat0, dat1, norm, threshold, hysteresis;
    unsigned in0Period, activeWindow, edgeTime;
    int activePercent, edgePercent; // -1 where the row leaves them empty (no IN0 period)
};

// What reading a file made of it.
struct RecTally {
    int isRecording;     // the first line was the header REC writes
    int empty;           // nothing at all was fed
    int isJournal;       // the first line was the parameter journal's header
    int rows;            // rows read
    int cutShort;        // a last line without its line end (a killed program)
    int notARow;         // lines with fewer fields than a row, ended as a row would be
    int notARowLines[3]; // the line numbers of the first of them (the header is line 1)
    int extraColumns;    // rows with more fields than the header names
    int unreadable;      // rows whose fields are not what REC writes (other bytes, not UTF-8,
                         // numbers out of range, far too long)
    int mended;          // rows read whole although a comma locale split their seconds in two
                         // ("0,061": written so before numbers kept their point)
    double first, last;  // times of the first and the last row read
    char firstStamp[30], lastStamp[30]; // their time stamps as written
};

// Called for every row read, in file order, with the reader's `sinkData`.
typedef void (*RecRowSink)(const RecRow *row, void *sinkData);

// A recording being read: begin, feed its bytes in any chunks, end. Once the first line has
// shown the file is no recording, the rest is ignored (RecReadingRefused says so).
struct RecReader {
    LineSplitter splitter;
    RecRowSink sink;
    void *sinkData;
    RecTally tally;
    int lines; // taken, the header included
    int refused;
    int fed;
    const char *rowText; // the row a sink is called for
    int rowLength;
    int rowMended;
};

void BeginRecReading(RecReader *reader, RecRowSink sink, void *sinkData);
void FeedRecReading(RecReader *reader, const char *bytes, int count);
int RecReadingRefused(const RecReader *reader);
// While a sink runs: the row as the file holds it, without its line end, and its length.
const char *RecRowText(const RecReader *reader, int *length);
// While a sink runs: 1 when the row's seconds were split by a comma and joined again.
int RecRowMended(const RecReader *reader);
void EndRecReading(RecReader *reader, RecTally *tally);

} // namespace kivrel

#endif
