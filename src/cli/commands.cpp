// The command line's commands.
#include "cli.h"

#include "journal.h"
#include "norms.h"
#include "numbers.h"
#include "paranames.h"
#include "records.h"
#include "rules.h"
#include "state.h"
#include "transfer.h"

#include "cmdline.h"
#include "eventloop.h"
#include "formatio.h"
#include "rs232.h"
#include "utility.h"
#include "wholefile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kivrel
{

// --eeprom picks the sensor's EEPROM, else RAM.
static void ChooseMemory(void)
{
    target = CmdLineIsSet("eeprom") ? EEPROM : RAM;
}

int CmdPorts(void)
{
    const int json = CmdLineIsSet("json");
    const int highest = RefreshComPorts();
    if (json) Print("[");
    int listed = 0;
    for (int n = 1; n <= highest; n++) {
        ComPortInfo info{};
        if (GetComPortInfo(n, &info) != 0 || !info.device[0]) continue;
        if (json) {
            char device[600], path[600], description[300], serial[160];
            JsonString(device, sizeof device, info.name);
            JsonString(path, sizeof path, info.device);
            JsonString(description, sizeof description, info.description);
            JsonString(serial, sizeof serial, info.serialNumber);
            Print("%s{\"port\":%d,\"device\":%s,\"path\":%s,\"description\":%s,\"serial\":%s,"
                  "\"present\":%s,\"access\":%s,\"mapped\":%s}",
                  listed ? "," : "", n, device, path, description, serial,
                  info.present ? "true" : "false", info.access ? "true" : "false",
                  info.mapped ? "true" : "false");
        } else {
            Print("COM%-3d %-24s %-28s %-16s %s\n", n, info.name,
                  info.description[0] ? info.description : "-",
                  info.serialNumber[0] ? info.serialNumber : "-",
                  !info.present ? "no such device"
                  : info.access ? "ok"
                                : "no access: add the user to the dialout group");
        }
        listed++;
    }
    if (json) Print("]\n");
    return EXIT_OK;
}

int CmdCheck(void)
{
    const int status = Connect();
    if (status == EXIT_OK) Print("LINE OK                              V4.0\n");
    return status;
}

// The set as JSON into a file of its own, whole or not at all.
static int WriteJsonFile(const char *path)
{
    char text[1024];
    const int n = FormatParaSetJson(text, sizeof text, pp, MemoryName());
    return SaveWholeFile(path, text, n) == 0 ? 0 : -1;
}

int CmdRead(void)
{
    ChooseMemory();
    const char *output = CmdLineValue("output");
    const int json = CmdLineIsSet("json");
    int status = Connect();
    if (status == EXIT_OK) status = ReadSensorSet();
    if (status != EXIT_OK) return status;
    const int toStdout = !CmdLineIsSet("output") || std::strcmp(output, "-") == 0;
    if (json && toStdout) {
        PrintParaSet(pp, 1, MemoryName());
        return EXIT_OK;
    }
    if (json) {
        if (WriteJsonFile(output) != 0)
            return Fail(EXIT_NOT_KEPT, "%s: cannot write: %s", output, GetFileErrorText());
        return EXIT_OK;
    }
    if (!CmdLineIsSet("output")) {
        PrintParaSet(pp, 0, MemoryName());
        return EXIT_OK;
    }
    // The parameter file the panel writes; "-" is stdout.
    std::fflush(stdout);
    errno = 0;
    if (ArrayToFile(output, pp, VAL_UNSIGNED_CHAR, AnzPara, 1, 0, 0, 0, 4, 1, 0) < 0) {
        // stdout closed by its reader ends the command quietly, as it does for watch.
        if (toStdout && errno == EPIPE) return EXIT_OK;
        if (toStdout)
            return Fail(EXIT_NOT_KEPT, "the output cannot be written: %s", GetFileErrorText());
        return Fail(EXIT_NOT_KEPT, "%s: cannot write: %s", output, GetFileErrorText());
    }
    if (!toStdout) {
        std::snprintf(file_name, sizeof file_name, "%s", output);
        NoteJournal(JournalTransfer(TRANSFER_WRITE, DATFILE));
    }
    return EXIT_OK;
}

int CmdWrite(void)
{
    ChooseMemory();
    if (CmdLineArgCount() != 1) return Fail(EXIT_USAGE, "write: one parameter file, please");
    unsigned char values[AnzPara];
    int status = LoadParaFile(CmdLineArg(0), values); // a bad file sends nothing
    if (status == EXIT_OK) status = Connect();
    if (status != EXIT_OK) return status;
    std::memcpy(pp, values, sizeof values);
    status = WriteSensorSet(!CmdLineIsSet("no-verify"));
    if (status == EXIT_OK)
        Print(CmdLineIsSet("no-verify") ? "%s: written to %s\n"
                                        : "%s: written to %s and verified\n",
              SensorName(), MemoryName());
    return status;
}

int CmdSet(void)
{
    ChooseMemory();
    const int count = CmdLineArgCount();
    if (count == 0) return Fail(EXIT_USAGE, "set: NAME=VALUE, one or more");
    int wires[64];
    unsigned char values[64];
    if (count > 64) return Fail(EXIT_USAGE, "set: at most 64 assignments");
    // Every assignment is checked before anything goes to the sensor.
    for (int i = 0; i < count; i++) {
        const int status = ParseAssignment(CmdLineArg(i), &wires[i], &values[i]);
        if (status != EXIT_OK) return status;
    }
    int status = Connect();
    if (status == EXIT_OK) status = ReadSensorSet();
    if (status != EXIT_OK) return status;
    for (int i = 0; i < count; i++)
        pp[wires[i]] = values[i];
    status = WriteSensorSet(1);
    if (status == EXIT_OK) Print("%s: set in %s and verified\n", SensorName(), MemoryName());
    return status;
}

// The parameters in which `a` and `b` differ, by name, one a line: "threshold     sensor 120
// file 110"; with --json one object, `memory` (its first fields) then the port and
// "differences", each set under its key. EXIT_DIFFERENT or EXIT_OK.
static int PrintDifferences(const char *memory, const unsigned char *a, const char *aName,
                            const char *aKey, const unsigned char *b, const char *bName,
                            const char *bKey)
{
    const int json = CmdLineIsSet("json");
    int differ = 0;
    char port[400];
    JsonPort(port, sizeof port);
    if (json) Print("{%s,%s,\"differences\":[", memory, port);
    for (int i = 0; i < AnzPara; i++) {
        if (a[i] == b[i]) continue;
        if (json) {
            Print("%s{\"name\":\"%s\",\"%s\":%u,\"%s\":%u}", differ ? "," : "", paraNames[i].name,
                  aKey, a[i], bKey, b[i]);
        } else {
            char aText[64], bText[64];
            DescribeValue(i, a, aText, sizeof aText);
            DescribeValue(i, b, bText, sizeof bText);
            Print("%-13s %s %-18s %s %s\n", paraNames[i].name, aName, aText, bName, bText);
        }
        differ++;
    }
    if (json) Print("]}\n");
    return differ ? EXIT_DIFFERENT : EXIT_OK;
}

// RAM against EEPROM of the same sensor: what a power cut would bring back.
static int DiffRamEeprom(void)
{
    if (CmdLineArgCount() != 0 || CmdLineIsSet("eeprom"))
        return Fail(EXIT_USAGE, "diff --ram-eeprom: no file and no --eeprom, please");
    unsigned char ram[AnzPara];
    target = RAM;
    int status = Connect();
    if (status == EXIT_OK) status = ReadSensorSet();
    if (status != EXIT_OK) return status;
    std::memcpy(ram, pp, sizeof ram);
    target = EEPROM;
    status = ReadSensorSet();
    if (status != EXIT_OK) return status;
    return PrintDifferences("\"memory\":\"RAM\",\"against\":\"EEPROM\"", ram, "RAM", "ram", pp,
                            "EEPROM", "eeprom");
}

int CmdDiff(void)
{
    if (CmdLineIsSet("ram-eeprom")) return DiffRamEeprom();
    ChooseMemory();
    if (CmdLineArgCount() != 1) return Fail(EXIT_USAGE, "diff: one parameter file, please");
    const char *path = CmdLineArg(0);
    unsigned char file[AnzPara];
    int status = LoadParaFile(path, file);
    if (status == EXIT_OK) status = Connect();
    if (status == EXIT_OK) status = ReadSensorSet();
    if (status != EXIT_OK) return status;
    char memory[40];
    std::snprintf(memory, sizeof memory, "\"memory\":\"%s\"", MemoryName());
    return PrintDifferences(memory, pp, "sensor", "sensor", file, "file", "file");
}

double NumberOption(const char *name, double low, double high)
{
    double value = 0.0;
    if (ParseDecimal(CmdLineValue(name), &value) != 0 || !(value >= low && value <= high))
        return -1.0;
    return value;
}

long WholeOption(const char *name, long low, long high)
{
    const char *text = CmdLineValue(name);
    long value = 0;
    for (const char *p = text; *p; p++) {
        if (*p < '0' || *p > '9' || value > high) return -1;
        value = value * 10 + (*p - '0');
    }
    return *text && value >= low && value <= high ? value : -1;
}

// Polls as the panel does, after the settle wait Go makes, `seconds` long or `count` records
// (PollRecords). EXIT_OK or EXIT_NO_REPLY.
static int Poll(double seconds, long count, int (*keep)(double elapsed))
{
    target = RAM;
    SettleWait(); // as Go does before its first request
    if (PollRecords(seconds, count, keep) != RX_FAILED) return EXIT_OK;
    return NoReply("a measurement request", AnzData);
}

static int watchJson;

static int PrintRecord(double elapsed)
{
    char line[512];
    const int n = watchJson ? FormatRecordJson(line, sizeof line, elapsed)
                            : FormatRecordRow(line, sizeof line, elapsed);
    // A reader that went away (head) ends the watch quietly.
    return n < 0 ? 0 : PrintText(line, n);
}

int CmdWatch(void)
{
    const int haveSeconds = CmdLineIsSet("seconds"), haveCount = CmdLineIsSet("count");
    if (haveSeconds && haveCount) return Fail(EXIT_USAGE, "watch: --seconds or --count, not both");
    const double seconds = haveSeconds ? NumberOption("seconds", 0.001, 1e7) : 0.0;
    const long count = haveCount ? WholeOption("count", 1, 1000000000L) : 0;
    if (seconds < 0) return Fail(EXIT_USAGE, "watch: --seconds takes a positive number (0.5)");
    if (count < 0) return Fail(EXIT_USAGE, "watch: --count takes a whole number from 1");
    watchJson = CmdLineIsSet("jsonl");
    int status = Connect();
    if (status == EXIT_OK) status = ReadSensorSet(); // as the panel reads on connecting
    if (status != EXIT_OK) return status;
    if (!watchJson && PrintText(RecordingHeader, static_cast<int>(std::strlen(RecordingHeader))))
        return EXIT_OK;
    return Poll(seconds, count, PrintRecord);
}

int CmdJump(void)
{
    int status = Connect();
    if (status == EXIT_OK) status = ReadSensorSet();
    if (status != EXIT_OK) return status;
    SettleWait();
    if (ReadJumpBuffer() != RX_OK) return NoReply("the jump-buffer request", 16);
    if (CmdLineIsSet("json")) {
        char port[400];
        JsonPort(port, sizeof port);
        Print("{%s,\"minima\":[", port);
        for (int i = 0; i < 16; i++)
            Print("%s%u", i ? "," : "", jumpbuf[i]);
        Print("]}\n");
    } else {
        for (int i = 0; i < 16; i++)
            Print("%u\n", jumpbuf[i]);
    }
    return EXIT_OK;
}

static int suggestMode;
static double polledFor, polledBefore;

// What polling longer would tell the rule: more records, or (with the jump buffer read again)
// more marks' minima.
static int WantsRecords(const Suggestion &s)
{
    return !s.ok && (normCount < SuggestMinRecords || s.recordsWanted > 0);
}
static int WantsMinima(const Suggestion &s)
{
    return s.minima.records > 0 && s.minima.deviations < static_cast<double>(SuggestMinDeviations);
}

// Keeps each NORM until the rule wants no more records.
static int KeepNormUntilSure(double elapsed)
{
    KeepNorm();
    polledFor = polledBefore + elapsed;
    return !WantsRecords(SuggestSetting(suggestMode, 1, jumpbuf, normHistory, normCount));
}

int CmdSuggest(void)
{
    suggestIn = SUGGEST_IN_COMMAND_LINE; // its refusals name --seconds, not the panel's Go
    const double seconds = CmdLineIsSet("seconds") ? NumberOption("seconds", 1, 3600) : 30.0;
    if (seconds < 0) return Fail(EXIT_USAGE, "suggest: --seconds takes 1 to 3600");
    if (CmdLineIsSet("eeprom") && !CmdLineIsSet("apply"))
        return Fail(EXIT_USAGE, "suggest: --eeprom goes with --apply");
    int status = Connect();
    if (status == EXIT_OK) status = ReadSensorSet(); // the sensor's working set, and its mode
    if (status != EXIT_OK) return status;
    suggestMode = pp[12];
    ForgetNorms();
    polledFor = 0;
    // As the panel's Go, GetBuff, SUGGEST, again while SUGGEST asks for more: the jump buffer
    // read again after each stretch of polling, which ends once the rule has what it wants.
    Suggestion s;
    for (;;) {
        target = RAM;
        SettleWait();
        if (ReadJumpBuffer() != RX_OK) return NoReply("the jump-buffer request", 16);
        s = SuggestSetting(suggestMode, 1, jumpbuf, normHistory, normCount);
        if (!(WantsRecords(s) || WantsMinima(s)) || polledFor >= seconds || TerminationRequested())
            break;
        polledBefore = polledFor;
        status = Poll(seconds - polledFor, 0, KeepNormUntilSure);
        if (status != EXIT_OK) return status;
    }
    // A termination request shortens the polling: the suggestion rests on what came so far.
    const int interrupted = TerminationRequested();

    char text[256], polled[32];
    DescribeSuggestion(s, text, sizeof text);
    FormatDecimal(polled, sizeof polled, polledFor, 1);
    if (CmdLineIsSet("json")) {
        char quoted[600], port[400];
        JsonString(quoted, sizeof quoted, text);
        JsonPort(port, sizeof port);
        if (s.ok)
            Print("{%s,\"ok\":true,\"threshold\":%d,\"hysteresis\":%d,\"explanation\":%s,"
                  "\"records\":%d,\"seconds\":%s}\n",
                  port, s.threshold, s.hysteresis, quoted, normCount, polled);
        else
            Print("{%s,\"ok\":false,\"refusal\":%s,\"records\":%d,\"seconds\":%s}\n", port, quoted,
                  normCount, polled);
    } else {
        if (s.ok) Print("threshold=%d hysteresis=%d\n", s.threshold, s.hysteresis);
        Print("%s\npolled %s s, %d records\n", text, polled, normCount);
    }
    if (!CmdLineIsSet("apply")) return EXIT_OK;
    if (!s.ok) return FailAt(EXIT_VERIFY, "nothing applied: %s", text);
    if (interrupted) return FailAt(EXIT_VERIFY, "nothing applied: the polling was interrupted");
    // The two bytes change in the memory written, as set does: EEPROM may hold another set than
    // the RAM polled, and its other parameters stay as they are.
    ChooseMemory();
    if (target == EEPROM && (status = ReadSensorSet()) != EXIT_OK) return status;
    pp[0] = static_cast<unsigned char>(s.threshold);
    pp[1] = static_cast<unsigned char>(s.hysteresis);
    status = WriteSensorSet(1);
    if (status == EXIT_OK) Print("%s: applied to %s and verified\n", SensorName(), MemoryName());
    return status;
}

} // namespace kivrel
