// Times as an operator types them after --since, --until and --at: "2026-12-08 06:00", "06:00"
// (today), "yesterday 22:00", or ISO 8601 ("2026-12-08T06:00:00+01:00", "...Z"). A time
// without an offset is local time.
#include "cli.h"

#include "stamps.h"

#include "utility.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

// "HH:MM", "HH:MM:SS" or "HH:MM:SS.sss" at `text`: the characters read, or -1.
static int ParseClock(const char *text, LocalDateTime *t)
{
    int n = 0;
    t->second = t->millisecond = 0;
    if (std::sscanf(text, "%2d:%2d%n", &t->hour, &t->minute, &n) != 2 || n != 5) return -1;
    if (text[n] == ':') {
        int m = 0;
        if (std::sscanf(text + n + 1, "%2d%n", &t->second, &m) != 1 || m != 2) return -1;
        n += 3;
    }
    if (n == 8 && text[n] == '.') {
        int digits = 0, ms = 0;
        for (n++; text[n] >= '0' && text[n] <= '9'; n++, digits++)
            if (digits < 3) ms = ms * 10 + (text[n] - '0');
        if (digits == 0) return -1;
        for (int d = digits; d < 3; d++)
            ms *= 10;
        t->millisecond = ms;
    }
    if (t->hour < 0 || t->hour > 23 || t->minute < 0 || t->minute > 59 || t->second < 0 ||
        t->second > 59)
        return -1;
    return n;
}

// "Z", "+01:00", "-0330": its minutes ahead of UTC; -1 when it is none.
static int ParseOffset(const char *text, int *minutes)
{
    if (std::strcmp(text, "Z") == 0) {
        *minutes = 0;
        return 0;
    }
    int hours = 0, mins = 0, n = 0;
    if ((text[0] != '+' && text[0] != '-') ||
        (std::sscanf(text + 1, "%2d:%2d%n", &hours, &mins, &n) != 2 &&
         std::sscanf(text + 1, "%2d%2d%n", &hours, &mins, &n) != 2) ||
        text[1 + n] != '\0' || hours > 18 || mins > 59)
        return -1;
    *minutes = (hours * 60 + mins) * (text[0] == '-' ? -1 : 1);
    return 0;
}

int ParseWhen(const char *text, double *seconds)
{
    LocalDateTime now{};
    GetLocalDateTime(&now);
    LocalDateTime t = now;
    const char *clock = text;
    if (std::strncmp(text, "yesterday ", 10) == 0) {
        char day[11];
        DayName(DayNumber(now.year, now.month, now.day) - 1, day);
        std::sscanf(day, "%4d-%2d-%2d", &t.year, &t.month, &t.day);
        clock = text + 10;
    } else if (std::strlen(text) >= 10 && text[4] == '-') {
        int n = 0;
        if (std::sscanf(text, "%4d-%2d-%2d%n", &t.year, &t.month, &t.day, &n) != 3 || n != 10)
            return -1;
        clock = text + 10;
        if (*clock == '\0') { // the day from its beginning
            t.hour = t.minute = t.second = t.millisecond = 0;
            return LocalDateTimeToEpoch(&t, seconds);
        }
        if (*clock != ' ' && *clock != 'T') return -1;
        clock++;
    }
    const int n = ParseClock(clock, &t);
    if (n < 0) return -1;
    if (clock[n] == '\0') return LocalDateTimeToEpoch(&t, seconds);
    int offset = 0;
    if (clock == text || ParseOffset(clock + n, &offset) != 0) return -1;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return -1;
    // With its offset the time names one moment, whatever the local time.
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", t.year,
                  t.month, t.day, t.hour, t.minute, t.second, t.millisecond, offset < 0 ? '-' : '+',
                  (offset < 0 ? -offset : offset) / 60, (offset < 0 ? -offset : offset) % 60);
    return ParseTimeStamp(stamp, static_cast<int>(std::strlen(stamp)), seconds);
}

void FormatWhen(double seconds, char *text, int size)
{
    LocalDateTime t{};
    GetLocalDateTimeAt(seconds, &t);
    std::snprintf(text, static_cast<size_t>(size), "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month,
                  t.day, t.hour, t.minute, t.second);
}

} // namespace kivrel
