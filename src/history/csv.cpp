#include "csv.h"

#include "recreader.h"

#include "utility.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kivrel
{

static void Stamp(char *text, int size, const char *date, long msOfDay, int offsetMinutes)
{
    const int offset = std::abs(offsetMinutes);
    std::snprintf(text, static_cast<size_t>(size), "%.10sT%02ld:%02ld:%02ld.%03ld%c%02d:%02d", date,
                  msOfDay / 3600000, msOfDay / 60000 % 60, msOfDay / 1000 % 60, msOfDay % 1000,
                  offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
}

void CsvTimeStamp(char *text, int size)
{
    LocalDateTime t{};
    GetLocalDateTime(&t);
    CsvTimeStampOf(text, size, &t);
}

void CsvTimeStampOf(char *text, int size, const LocalDateTime *t)
{
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", t->year, t->month, t->day);
    Stamp(text, size, date,
          ((t->hour * 60L + t->minute) * 60L + t->second) * 1000L + t->millisecond,
          t->utcOffsetMinutes);
}

void CsvTimeStampAt(char *text, int size, double time, int offsetMinutes)
{
    const long long ms = std::llround(time * 1000.0) + offsetMinutes * 60000LL;
    long long day = ms / 86400000LL;
    if (ms % 86400000LL < 0) day--;
    char date[11];
    DayName(static_cast<long>(day), date);
    Stamp(text, size, date, static_cast<long>(ms - day * 86400000LL), offsetMinutes);
}

int CsvAppendField(char *line, int size, const char *field)
{
    const size_t start = std::strlen(line);
    const int quoted = std::strpbrk(field, ",\"\r\n") != nullptr;
    size_t n = start;
    auto put = [&](char c) {
        if (n + 1 >= static_cast<size_t>(size)) return false;
        line[n++] = c;
        return true;
    };
    bool ok = !quoted || put('"');
    for (const char *p = field; ok && *p; p++)
        ok = (*p != '"' || put('"')) && put(*p); // a quote inside is doubled
    ok = ok && (!quoted || put('"'));
    if (!ok) {
        line[start] = '\0';
        return -1;
    }
    line[n] = '\0';
    return 0;
}

} // namespace kivrel
