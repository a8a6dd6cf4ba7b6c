// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// A recording file read a step at a time, so that whoever reads it (a window) can give the event
// loop back between steps: the file, how far it has got, and its reader.
#ifndef KIVREL_HISTORY_RECLOAD_H
#define KIVREL_HISTORY_RECLOAD_H

#include "recreader.h"

namespace kivrel
{

struct RecordingLoad {
    int file;        // -1 while none is read
    long size, read; // bytes
    RecReader reader;
    char chunk[65536];
};

// Opens `path` and begins reading it, every row to `sink` with `sinkData`: 0, or -1 when it
// cannot be opened (GetFileErrorText says why). The load may have been used before.
int BeginRecordingLoad(RecordingLoad *load, const char *path, RecRowSink sink, void *sinkData);
// 1 while a file is being read.
int RecordingLoadOpen(const RecordingLoad *load);
// Reads on for at most `seconds`: 1 while more is left, 0 at the end of the file (or once it
// showed itself no recording), -1 when reading failed (GetFileErrorText says why).
int ContinueRecordingLoad(RecordingLoad *load, double seconds);
// How far the reading has got, 0 to 100.
int RecordingLoadPercent(const RecordingLoad *load);
// Closes the file; what reading made of it into `tally`. Nothing happens without a file.
void EndRecordingLoad(RecordingLoad *load, RecTally *tally);

} // namespace kivrel

#endif
