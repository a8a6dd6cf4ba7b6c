#include "payloads.h"

#include "csv.h"
#include "journal.h"
#include "jsontext.h"
#include "numbers.h"
#include "paranames.h"
#include "records.h"
#include "state.h"

#include "utility.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kivrel
{

// snprintf's count as a payload's length: -1 when it did not fit.
static int Fitted(int n, int size)
{
    return n >= 0 && n < size ? n : -1;
}

// Appends to the payload of length `n` in `text`; -1 once anything did not fit.
static int Append(char *text, int size, int n, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
static int Append(char *text, int size, int n, const char *format, ...)
{
    if (n < 0) return -1;
    va_list args;
    va_start(args, format);
    const int added = std::vsnprintf(text + n, static_cast<size_t>(size - n), format, args);
    va_end(args);
    return added >= 0 && n + added < size ? n + added : -1;
}

// A JSON object with its line end, as the tool's other JSON writers give it, opened again for
// more members: its length without "}\n".
static int Reopened(const char *text, int n)
{
    return n >= 2 && text[n - 2] == '}' && text[n - 1] == '\n' ? n - 2 : -1;
}

int FormatStatusTail(char *text, int size, const char *version)
{
    char port[400], host[300], user[300], login[256], machine[256], program[128], ver[128];
    JsonPort(port, sizeof port);
    GetMachineName(machine, sizeof machine);
    GetLoginName(login, sizeof login);
    JsonString(host, sizeof host, machine);
    JsonString(user, sizeof user, login);
    JsonString(program, sizeof program, journalProgram);
    JsonString(ver, sizeof ver, version);
    return Fitted(std::snprintf(text, static_cast<size_t>(size),
                                ",%s,\"host\":%s,\"user\":%s,\"program\":%s,\"version\":%s}", port,
                                host, user, program, ver),
                  size);
}

int FormatStatus(char *text, int size, const char *state, const char *since, const char *version)
{
    int n = Fitted(std::snprintf(text, static_cast<size_t>(size),
                                 "{\"state\":\"%s\",\"since\":\"%s\"", state, since),
                   size);
    if (n < 0) return -1;
    const int tail = FormatStatusTail(text + n, size - n, version);
    return tail < 0 ? -1 : n + tail;
}

int FormatLive(char *text, int size, double seconds, long seq, const char *started)
{
    const int n = Reopened(text, FormatRecordJson(text, size, seconds));
    return Append(text, size, n, ",\"seq\":%ld,\"started\":\"%s\"}", seq, started);
}

int FormatSet(char *text, int size, const unsigned char values[15], const char *memory,
              const char *readAt, const unsigned char *eeprom)
{
    int n = Reopened(text, FormatParaSetJson(text, size, values, memory));
    if (n > 0 && n + 1 >= size) n = -1; // cut short to fit: no whole object
    n = Append(text, size, n, ",\"read_at\":\"%s\"", readAt);
    if (eeprom) {
        n = Append(text, size, n, ",\"differs_from_eeprom\":[");
        int listed = 0;
        for (int i = 0; i < AnzPara; i++)
            if (values[i] != eeprom[i])
                n = Append(text, size, n, "%s\"%s\"", listed++ ? "," : "", paraNames[i].name);
        n = Append(text, size, n, "]");
    }
    return Append(text, size, n, "}");
}

int FormatChanged(char *text, int size, const char *memory, const char *when,
                  const unsigned char before[15], const unsigned char after[15])
{
    char port[400];
    JsonPort(port, sizeof port);
    int n = Fitted(std::snprintf(text, static_cast<size_t>(size),
                                 "{\"memory\":\"%s\",\"when\":\"%s\",%s,\"parameters\":{", memory,
                                 when, port),
                   size);
    int listed = 0;
    for (int i = 0; i < AnzPara; i++)
        if (before[i] != after[i])
            n = Append(text, size, n, "%s\"%s\":{\"before\":%u,\"after\":%u}", listed++ ? "," : "",
                       paraNames[i].name, before[i], after[i]);
    return Append(text, size, n, "}}");
}

// A decimal, or null for a value not known (< 0).
static void Decimal(char *text, int size, double value, int decimals)
{
    if (value < 0 || FormatDecimal(text, size, value, decimals) < 0)
        std::snprintf(text, static_cast<size_t>(size), "null");
}

int FormatHealth(char *text, int size, const PublishHealth *h, const char *started)
{
    char now[40], period[32], age[32];
    CsvTimeStamp(now, sizeof now);
    Decimal(period, sizeof period, h->periodMs, 1);
    Decimal(age, sizeof age, h->lastReplyAge, 3);
    return Fitted(
        std::snprintf(text, static_cast<size_t>(size),
                      "{\"time\":\"%s\",\"started\":\"%s\",\"records\":%ld,\"missed\":%ld,"
                      "\"wrong_length\":%ld,\"period_median_ms\":%s,"
                      "\"last_reply_age_s\":%s,\"reconnects\":%ld,\"dropped\":%ld}",
                      now, started, h->records, h->missed, h->wrongLength, period, age,
                      h->reconnects, h->dropped),
        size);
}

int ParseSet(const char *payload, unsigned char values[15])
{
    const char *members = std::strstr(payload, "\"parameters\":{");
    if (!members) return -1;
    members += std::strlen("\"parameters\":{");
    const char *end = std::strchr(members, '}');
    if (!end) return -1;
    for (int i = 0; i < AnzPara; i++) {
        char key[40];
        std::snprintf(key, sizeof key, "\"%s\":", paraNames[i].name);
        const char *at = std::strstr(members, key);
        if (!at || at > end) return -1;
        char *after = nullptr;
        const long value = std::strtol(at + std::strlen(key), &after, 10);
        if (after == at + std::strlen(key) || value < 0 || value > 255) return -1;
        values[i] = static_cast<unsigned char>(value);
    }
    return 0;
}

} // namespace kivrel
