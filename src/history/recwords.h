// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// What reading a recording made of it, in the words of a status line: how many rows from when
// to when, how many of the journal's transfers lie in its span, what was skipped and why, what
// was mended.
#ifndef KIVREL_HISTORY_RECWORDS_H
#define KIVREL_HISTORY_RECWORDS_H

#include "recreader.h" // RecTally

namespace kivrel
{

// The file `name`'s tally, with `transfers` found in its span and `readFailed` set when reading
// stopped early (GetFileErrorText says why), into `status` of `size` bytes. 0, or -1 when the
// file is no recording and nothing can be shown.
int DescribeRecording(const char *name, const RecTally *tally, int transfers, int readFailed,
                      char *status, int size);

} // namespace kivrel

#endif
