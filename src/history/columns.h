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

} // namespace kivrel

#endif
