// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// Reading back what the tool wrote: the rows of a recording (REC) and of the parameter journal,
// from the bytes of a file in chunks of any size. Nothing here opens a file or touches the
// panel, so any bytes at all may be fed (tests/fuzz).
#ifndef KIVREL_HISTORY_RECREADER_H
#define KIVREL_HISTORY_RECREADER_H

namespace kivrel
{

// Seconds since 1970-01-01 UTC of a local date and time that is `offsetMinutes` ahead of UTC.
double EpochSeconds(int year, int month, int day, int hour, int minute, int second, int millisecond,
                    int offsetMinutes);
// Days since 1970-01-01 of a date, and back to "YYYY-MM-DD" (11 bytes with the NUL).
long DayNumber(int year, int month, int day);
void DayName(long dayNumber, char name[11]);
// A time stamp as CsvTimeStamp writes it, "2026-12-08T14:30:12.345+01:00" and nothing else:
// 0 and its seconds since the epoch, or -1.
int ParseTimeStamp(const char *text, int length, double *seconds);
enum { TimeStampLength = 29 }; // "2026-12-08T14:30:12.345+01:00"

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

// Called for every row read, in file order.
typedef void (*RecRowSink)(const RecRow *row);

// Reading a recording: begin, feed its bytes in any chunks, end. Once the first line has shown
// the file is no recording, the rest is ignored (RecReadingRefused says so).
void BeginRecReading(RecRowSink sink);
void FeedRecReading(const char *bytes, int count);
int RecReadingRefused(void);
// While a sink runs: the row as the file holds it, without its line end, and its length.
const char *RecRowText(int *length);
// While a sink runs: 1 when the row's seconds were split by a comma and joined again.
int RecRowMended(void);
void EndRecReading(RecTally *tally);

// One row of the parameter journal.
struct JournalRow {
    double time;              // seconds since the epoch
    int direction;            // TRANSFER_READ or TRANSFER_WRITE
    int outcome;              // TRANSFER_READ ... TRANSFER_VERIFY_FAILED; -1 where not said
    int where;                // RAM, EEPROM or DATFILE
    int port;                 // the COM number; 0 for a file, or a device no number mapped
    char device[128];         // the port's device or the file's path (cut to fit)
    char who[128];            // "user@host", empty in rows that do not say
    unsigned char values[15]; // the parameter set, in wire order
};

typedef void (*JournalRowSink)(const JournalRow *row);

// Reading a journal file the same way; its header and every row that does not read are passed
// over. EndJournalReading answers how many rows were passed over.
void BeginJournalReading(JournalRowSink sink);
void FeedJournalReading(const char *bytes, int count);
int EndJournalReading(void);

} // namespace kivrel

#endif
