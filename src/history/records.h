// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// A measurement record as a CSV row, the one format of the panel's recordings and of what the
// command line's watch prints: UTF-8, commas, '.' as the decimal point, LF line ends.
#ifndef KIVREL_HISTORY_RECORDS_H
#define KIVREL_HISTORY_RECORDS_H

#include "columns.h"   // RecordingHeader
#include "recreader.h" // RecRow

namespace kivrel
{

// The row for the measurement variables as they are now, `seconds` after the recording began,
// with its line end: time, seconds, the record's values (the 16-bit ones as numbers) and the
// two percentages the displays show (empty without an IN0 period). Returns its length, or -1
// when it does not fit in `size` bytes.
int FormatRecordRow(char *row, int size, double seconds);
// The same row for the values of `r` (its time aside) under the time stamp `stamp`.
int FormatRecRow(char *row, int size, const char *stamp, double seconds, const RecRow *r);
// The same values as one JSON object on a line, named as the header names the columns.
int FormatRecordJson(char *line, int size, double seconds);

} // namespace kivrel

#endif
