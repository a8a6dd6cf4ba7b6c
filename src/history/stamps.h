// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// Dates, the time stamps the recordings and the journal write, and the plain numbers in their
// fields, read back exactly.
#ifndef KIVREL_HISTORY_STAMPS_H
#define KIVREL_HISTORY_STAMPS_H

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

// A whole unsigned decimal of 1 to 9 digits no larger than `max`: 0 and its value, or -1.
int ParseUnsigned(const char *text, int length, unsigned max, unsigned *value);

} // namespace kivrel

#endif
