// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// The words the tool's CSV files are written with, shared by their writers and their reader:
// the recording's header and the journal's direction and target columns. Nothing else here, so
// the reader can be compiled with it alone (tests/fuzz).
#ifndef KIVREL_HISTORY_COLUMNS_H
#define KIVREL_HISTORY_COLUMNS_H

namespace kivrel
{

// The header row of a recording, with its line end.
extern const char RecordingHeader[];

// A journal row's direction, "read" or "write" (TRANSFER_READ, TRANSFER_WRITE), and its target,
// "RAM", "EEPROM" or "FILE" (RAM, EEPROM, DATFILE).
const char *JournalDirectionName(int direction);
const char *JournalTargetName(int where);
// A journal row's outcome, its last column: "read", "written without verification", "written
// and verified" or "verification failed" (TRANSFER_READ ... TRANSFER_VERIFY_FAILED).
const char *JournalOutcomeName(int outcome);
// The journal's header, with its line end. Files begun before rows named their outcome have
// the same header without its last column.
extern const char JournalHeader[];
enum { JournalHeaderMax = 256 }; // its length and more

} // namespace kivrel

#endif
