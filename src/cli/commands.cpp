// The command line's commands.
#include "cli.h"

#include "journal.h"
#include "norms.h"
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
            char device[600], description[300], serial[160];
            JsonString(device, sizeof device, info.device);
            JsonString(description, sizeof description, info.description);
            JsonString(serial, sizeof serial, info.serialNumber);
            Print("%s{\"port\":%d,\"device\":%s,\"description\":%s,\"serial\":%s,\"access\":%s,"
                  "\"mapped\":%s}",
                  listed ? "," : "", n, device, description, serial, info.access ? "true" : "false",
                  info.mapped ? "true" : "false");
        } else {
            Print("COM%-3d %-24s %-28s %-16s %s\n", n, info.name,
                  info.description[0] ? info.description : "-",
                  info.serialNumber[0] ? info.serialNumber : "-",
                  info.access ? "ok" : "no access: add the user to the dialout group");
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

int CmdRead(void)
{
    ChooseMemory();
    const char *output = CmdLineValue("output");
    int status = Connect();
    if (status == EXIT_OK) status = ReadSensorSet();
    if (status != EXIT_OK) return status;
    if (!CmdLineIsSet("output")) {
        PrintParaSet(pp, CmdLineIsSet("json"), MemoryName());
        return EXIT_OK;
    }
    // The parameter file the panel writes; "-" is stdout.
    const int toStdout = std::strcmp(output, "-") == 0;
    std::fflush(stdout);
    errno = 0;
    if (ArrayToFile(output, pp, VAL_UNSIGNED_CHAR, AnzPara, 1, 0, 0, 0, 4, 1, 0) < 0) {
        // stdout closed by its reader ends the command quietly, as it does for watch.
        if (toStdout && errno == EPIPE) return EXIT_OK;
        return Fail(EXIT_BAD_FILE, "%s: cannot write: %s", output, GetFileErrorText());
    }
    if (!toStdout) {
        std::snprintf(file_name, sizeof file_name, "%s", output);
        JournalTransfer(TRANSFER_WRITE, DATFILE);
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
        Print(CmdLineIsSet("no-verify") ? "written to %s\n" : "written to %s and verified\n",
              MemoryName());
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
    if (status == EXIT_OK) Print("set in %s and verified\n", MemoryName());
    return status;
}

int CmdDiff(void)
{
    ChooseMemory();
    if (CmdLineArgCount() != 1) return Fail(EXIT_USAGE, "diff: one parameter file, please");
    const char *path = CmdLineArg(0);
    unsigned char file[AnzPara];
    int status = LoadParaFile(path, file);
    if (status == EXIT_OK) status = Connect();
    if (status == EXIT_OK) status = ReadSensorSet();
    if (status != EXIT_OK) return status;
    const int json = CmdLineIsSet("json");
    int differ = 0;
    if (json) Print("{\"memory\":\"%s\",\"differences\":[", MemoryName());
    for (int i = 0; i < AnzPara; i++) {
        if (pp[i] == file[i]) continue;
        if (json) {
            Print("%s{\"name\":\"%s\",\"sensor\":%u,\"file\":%u}", differ ? "," : "",
                  paraNames[i].name, pp[i], file[i]);
        } else {
            char sensorText[64], fileText[64];
            DescribeValue(i, pp, sensorText, sizeof sensorText);
            DescribeValue(i, file, fileText, sizeof fileText);
            Print("%-13s sensor %-18s file %s\n", paraNames[i].name, sensorText, fileText);
        }
        differ++;
    }
    if (json) Print("]}\n");
    return differ ? EXIT_DIFFERENT : EXIT_OK;
}

// A whole number from `low` to `high`, or -1.
static double NumberOption(const char *name, double low, double high)
{
    const char *text = CmdLineValue(name);
    char *end = nullptr;
    const double value = std::strtod(text, &end);
    if (!*text || *end || !(value >= low && value <= high)) return -1.0;
    return value;
}

// Polls as the panel does, `seconds` long or `count` records (0: no such limit), handing each
// record to `keep`; ends early on a termination request or when keep says so. EXIT_OK or
// EXIT_NO_REPLY.
static int Poll(double seconds, long count, int (*keep)(double elapsed))
{
    target = RAM;
    SettleWait(); // as Go does before its first request
    order = ORDER_GET_DATA;
    poll = 1;
    const double start = Timer();
    long taken = 0;
    while (!TerminationRequested()) {
        if (ReadRecord(1) != RX_OK) {
            poll = 0;
            return NoReply("a measurement request", AnzData);
        }
        taken++;
        const double elapsed = Timer() - start;
        if (keep(elapsed) != 0) break;
        if ((count > 0 && taken >= count) || (seconds > 0 && elapsed >= seconds)) break;
        // Nothing but the waits needs events here: a call right after the row, which takes
        // less than the event loop's spin gap, would only wait for its tick.
        Sleep(50);
    }
    poll = 0;
    return EXIT_OK;
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
    const double count = haveCount ? NumberOption("count", 1, 1e9) : 0.0;
    if (seconds < 0 || count < 0)
        return Fail(EXIT_USAGE, "watch: --seconds and --count take a positive number");
    watchJson = CmdLineIsSet("jsonl");
    int status = Connect();
    if (status == EXIT_OK) status = ReadSensorSet(); // as the panel reads on connecting
    if (status != EXIT_OK) return status;
    if (!watchJson && PrintText(RecordingHeader, static_cast<int>(std::strlen(RecordingHeader))))
        return EXIT_OK;
    return Poll(seconds, static_cast<long>(count), PrintRecord);
}

int CmdJump(void)
{
    int status = Connect();
    if (status == EXIT_OK) status = ReadSensorSet();
    if (status != EXIT_OK) return status;
    SettleWait();
    if (ReadJumpBuffer() != RX_OK) return NoReply("the jump-buffer request", 16);
    if (CmdLineIsSet("json")) {
        Print("{\"minima\":[");
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

    char text[256];
    DescribeSuggestion(s, text, sizeof text);
    if (CmdLineIsSet("json")) {
        char quoted[600];
        JsonString(quoted, sizeof quoted, text);
        if (s.ok)
            Print("{\"ok\":true,\"threshold\":%d,\"hysteresis\":%d,\"explanation\":%s,"
                  "\"records\":%d,\"seconds\":%.1f}\n",
                  s.threshold, s.hysteresis, quoted, normCount, polledFor);
        else
            Print("{\"ok\":false,\"refusal\":%s,\"records\":%d,\"seconds\":%.1f}\n", quoted,
                  normCount, polledFor);
    } else {
        if (s.ok) Print("threshold=%d hysteresis=%d\n", s.threshold, s.hysteresis);
        Print("%s\npolled %.1f s, %d records\n", text, polledFor, normCount);
    }
    if (!CmdLineIsSet("apply")) return EXIT_OK;
    if (!s.ok) return Fail(EXIT_VERIFY, "nothing applied: %s", text);
    if (interrupted) return Fail(EXIT_VERIFY, "nothing applied: the polling was interrupted");
    pp[0] = static_cast<unsigned char>(s.threshold);
    pp[1] = static_cast<unsigned char>(s.hysteresis);
    ChooseMemory();
    status = WriteSensorSet(1);
    if (status == EXIT_OK) Print("applied to %s and verified\n", MemoryName());
    return status;
}

} // namespace kivrel
