// The journal as the sensor's memory: log lists what went to and from a sensor's RAM and EEPROM
// and what each transfer changed; restore puts back the set the journal says a memory held at a
// time. log never opens the port: the journal names a sensor by its device.
#include "cli.h"

#include "csv.h"
#include "journal.h"
#include "journaldays.h"
#include "journalset.h"
#include "journalspan.h"
#include "paranames.h"
#include "state.h"
#include "text.h"

#include "cmdline.h"
#include "formatio.h"
#include "rs232.h"
#include "utility.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace kivrel
{

// A journal day file is named by its writer's local date, within a day of the UTC date.
static long UtcDay(double time)
{
    return static_cast<long>(std::floor(time / 86400.0));
}

// The device of com as the journal names it: the kernel's name ("ttyUSB0", "pts/3"), or the
// address of a device server's port. An adapter not plugged in is named as /dev has it.
static const char *JournalDevice(void)
{
    static ComName name;
    RefreshComPorts();
    GetComName(com, &name);
    if (std::strncmp(name.device, "/dev/", 5) == 0)
        std::memmove(name.device, name.device + 5, std::strlen(name.device + 5) + 1);
    return name.device;
}

// --since, --until or --at as seconds since the epoch: 0, or EXIT_USAGE after saying why.
static int WhenOption(const char *option, double *seconds)
{
    if (ParseWhen(CmdLineValue(option), seconds) == 0) return EXIT_OK;
    return Fail(EXIT_USAGE,
                "--%s %s: not a time (2026-12-08 06:00, 06:00, yesterday 22:00 or ISO 8601)",
                option, CmdLineValue(option));
}

// How a row ended, as the journal words it; rows written before the journal said so do not.
static const char *OutcomeOf(const JournalRow *row)
{
    if (row->outcome >= 0) return JournalOutcomeName(row->outcome);
    return row->direction == TRANSFER_READ ? "read" : nullptr;
}

// ---- log ---------------------------------------------------------------------------------

struct LogQuestion {
    const char *device;
    int memory; // RAM, EEPROM, or 0 for both
    int json;
    int rows;
};

static void PrintLogText(const JournalRow *row, const unsigned char *before)
{
    char when[32], line[2048];
    FormatWhen(row->time, when, sizeof when);
    const char *outcome = OutcomeOf(row);
    std::snprintf(line, sizeof line, "%s  %s %s  %s  %s %s  ", when,
                  JournalDirectionName(row->direction), JournalTargetName(row->where),
                  outcome ? outcome : "outcome not recorded", row->who[0] ? row->who : "-",
                  row->program[0] ? row->program : "-");
    int changed = 0;
    for (int i = 0; i < AnzPara; i++) {
        if (before && before[i] == row->values[i]) continue;
        char from[64], to[64];
        DescribeValue(i, row->values, to, sizeof to);
        if (before) {
            DescribeValue(i, before, from, sizeof from);
            Append(line, sizeof line, "%s%s %s → %s", changed ? ", " : "", paraNames[i].name, from,
                   to);
        } else {
            Append(line, sizeof line, "%s%s %s", changed ? ", " : "set: ", paraNames[i].name, to);
        }
        changed++;
    }
    if (!changed) Append(line, sizeof line, "no parameter changed");
    if (row->note[0]) Append(line, sizeof line, " (%s)", row->note);
    Print("%s\n", line);
}

static void PrintLogJson(const JournalRow *row, const unsigned char *before)
{
    char stamp[40], line[4096], text[200];
    LocalDateTime t{};
    GetLocalDateTimeAt(row->time, &t);
    CsvTimeStampOf(stamp, sizeof stamp, &t);
    const char *outcome = OutcomeOf(row);
    std::snprintf(line, sizeof line, "{\"time\":\"%s\",\"direction\":\"%s\",\"memory\":\"%s\",",
                  stamp, JournalDirectionName(row->direction), JournalTargetName(row->where));
    const char *fields[][2] = {{"outcome", outcome},
                               {"user", row->user},
                               {"host", row->host},
                               {"program", row->program},
                               {"note", row->note}};
    for (const auto &f : fields) {
        if (f[1] && f[1][0])
            JsonString(text, sizeof text, f[1]);
        else
            std::snprintf(text, sizeof text, "null");
        Append(line, sizeof line, "\"%s\":%s,", f[0], text);
    }
    Append(line, sizeof line, "\"values\":{");
    for (int i = 0; i < AnzPara; i++)
        Append(line, sizeof line, "%s\"%s\":%u", i ? "," : "", paraNames[i].name, row->values[i]);
    Append(line, sizeof line, "},\"changes\":[");
    int changed = 0;
    for (int i = 0; i < AnzPara; i++) {
        if (before && before[i] == row->values[i]) continue;
        if (before)
            std::snprintf(text, sizeof text, "%u", before[i]);
        else
            std::snprintf(text, sizeof text, "null");
        Append(line, sizeof line, "%s{\"name\":\"%s\",\"from\":%s,\"to\":%u}", changed++ ? "," : "",
               paraNames[i].name, text, row->values[i]);
    }
    Print("%s]}\n", line);
}

static void TakeLogRow(const JournalRow *row, const unsigned char *before, void *data)
{
    LogQuestion *q = static_cast<LogQuestion *>(data);
    if ((row->where != RAM && row->where != EEPROM) || (q->memory && row->where != q->memory) ||
        std::strcmp(row->device, q->device) != 0)
        return;
    q->json ? PrintLogJson(row, before) : PrintLogText(row, before);
    q->rows++;
}

static void SayUnreadable(const char *path)
{
    Fail(EXIT_OK, "%s: cannot be read: %s; the other days are listed", path, GetFileErrorText());
}

int CmdLog(void)
{
    if (CmdLineArgCount() != 0) return Fail(EXIT_USAGE, "log: no file, please");
    if (CmdLineIsSet("ram") && CmdLineIsSet("eeprom"))
        return Fail(EXIT_USAGE, "log: --ram or --eeprom, not both");
    double since = -1e18, until = 1e18;
    if (CmdLineIsSet("since") && WhenOption("since", &since) != EXIT_OK) return EXIT_USAGE;
    if (CmdLineIsSet("until") && WhenOption("until", &until) != EXIT_OK) return EXIT_USAGE;
    if (since > until) return Fail(EXIT_USAGE, "log: --since lies after --until");
    LogQuestion q{JournalDevice(),
                  CmdLineIsSet("ram")      ? RAM
                  : CmdLineIsSet("eeprom") ? EEPROM
                                           : 0,
                  CmdLineIsSet("json"), 0};
    long firstDay = 0, lastDay = 0;
    const int files = JournalDays(&firstDay, &lastDay);
    if (files < 0)
        return Fail(EXIT_OK, "the journal's folder cannot be read: %s", GetFileErrorText());
    if (files == 0) return EXIT_OK;
    // The row compared with may lie before --since: a month further back.
    if (CmdLineIsSet("since") && UtcDay(since) - 1 - JournalLookBackDays > firstDay)
        firstDay = UtcDay(since) - 1 - JournalLookBackDays;
    if (CmdLineIsSet("until") && UtcDay(until) + 1 < lastDay) lastDay = UtcDay(until) + 1;
    ReadJournalDays(firstDay, lastDay, since, until, TakeLogRow, &q, SayUnreadable);
    return EXIT_OK;
}

// ---- restore -----------------------------------------------------------------------------

// Why nothing can be restored: the journal's earliest row of the sensor's memory, if any.
static int NoRowBefore(const char *device, double at)
{
    char when[32], earliest[96] = "the journal knows no row of it";
    FormatWhen(at, when, sizeof when);
    long firstDay = 0, lastDay = 0;
    JournalRow first{};
    if (JournalDays(&firstDay, &lastDay) > 0 &&
        JournalFirstOf(device, target, firstDay, lastDay, &first)) {
        char time[32];
        FormatWhen(first.time, time, sizeof time);
        std::snprintf(earliest, sizeof earliest, "the earliest the journal knows is %s", time);
    }
    return FailAt(EXIT_NO_ROW, "no %s set in the journal at or before %s; %s", MemoryName(), when,
                  earliest);
}

int CmdRestore(void)
{
    target = CmdLineIsSet("eeprom") ? EEPROM : RAM;
    if (CmdLineArgCount() != 0) return Fail(EXIT_USAGE, "restore: no file, please");
    if (!CmdLineIsSet("at")) return Fail(EXIT_USAGE, "restore: --at TIME, please");
    double at = 0;
    if (WhenOption("at", &at) != EXIT_OK) return EXIT_USAGE;
    const char *device = JournalDevice();
    long firstDay = 0, lastDay = 0;
    JournalRow row{};
    if (JournalDays(&firstDay, &lastDay) <= 0 ||
        !JournalSetAt(device, target, at, static_cast<int>(UtcDay(at) + 3 - firstDay), &row))
        return NoRowBefore(device, at);

    int status = Connect();
    if (status == EXIT_OK) status = ReadSensorSet();
    if (status != EXIT_OK) return status;
    char when[32];
    FormatWhen(row.time, when, sizeof when);
    const char *outcome = OutcomeOf(&row);
    Print("%s: %s as the journal's row of %s has it (%s %s, %s, %s %s):\n", SensorName(),
          MemoryName(), when, JournalDirectionName(row.direction), JournalTargetName(row.where),
          outcome ? outcome : "outcome not recorded", row.who[0] ? row.who : "-",
          row.program[0] ? row.program : "-");
    int changes = 0;
    for (int i = 0; i < AnzPara; i++) {
        if (pp[i] == row.values[i]) continue;
        char now[64], then[64];
        DescribeValue(i, pp, now, sizeof now);
        DescribeValue(i, row.values, then, sizeof then);
        Print("  %-13s %s → %s\n", paraNames[i].name, now, then);
        changes++;
    }
    if (changes == 0) {
        Print("%s: %s holds that set already; nothing written\n", SensorName(), MemoryName());
        return EXIT_OK;
    }
    if (CmdLineIsSet("dry-run")) return EXIT_DIFFERENT;
    // Every byte as the row has it, a POWER byte no percent shows included.
    std::memcpy(pp, row.values, AnzPara);
    std::snprintf(journalNote, sizeof journalNote, "restored from %s", when);
    status = WriteSensorSet(1);
    journalNote[0] = '\0';
    if (status == EXIT_OK) Print("%s: restored in %s and verified\n", SensorName(), MemoryName());
    return status;
}

} // namespace kivrel
