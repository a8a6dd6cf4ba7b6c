// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// CSV the way spreadsheets and pandas read it as it stands: UTF-8, commas, '.' as the decimal
// point, LF line ends, a header row.
#ifndef KIVREL_HISTORY_CSV_H
#define KIVREL_HISTORY_CSV_H

struct LocalDateTime;

namespace kivrel
{

// Local time in ISO 8601 with milliseconds and the offset from UTC:
// "2026-12-08T14:30:12.345+01:00". Writes at most size bytes with the NUL.
void CsvTimeStamp(char *text, int size);
// The same for a clock reading already taken.
void CsvTimeStampOf(char *text, int size, const LocalDateTime *t);
// The same for `time` (seconds since the epoch) in a local time `offsetMinutes` ahead of UTC.
void CsvTimeStampAt(char *text, int size, double time, int offsetMinutes);
// Appends `field` to `line` (of `size` bytes), in double quotes when it holds a comma, a quote
// or a line break. Returns 0, or -1 when it does not fit (the line is left as it was).
int CsvAppendField(char *line, int size, const char *field);

} // namespace kivrel

#endif
