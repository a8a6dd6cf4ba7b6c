#include "csv.h"

#include "utility.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kivrel
{

void CsvTimeStamp(char *text, int size)
{
    LocalDateTime t{};
    GetLocalDateTime(&t);
    const int offset = std::abs(t.utcOffsetMinutes);
    std::snprintf(text, static_cast<size_t>(size), "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                  t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond,
                  t.utcOffsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
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
