// The command line of kivrel-cli: its options, its help, and which command runs.
#include "cli.h"

#include "journal.h"
#include "keep.h"
#include "state.h"

#include "cmdline.h"
#include "rs232.h"

#include <cstdio>
#include <cstring>

#ifndef KIVREL_VERSION
#define KIVREL_VERSION "unknown"
#endif

namespace kivrel
{

static const CmdLineOption globalOptions[] = {
    {"port", 'p', "PORT"}, {"help", 'h', nullptr}, {"version", 'V', nullptr}};

// Every command also takes --port and --help after its name.
#define KIVREL_COMMON                                                                              \
    {"help", 'h', nullptr},                                                                        \
    {                                                                                              \
        "port", 'p', "PORT"                                                                        \
    }

static const CmdLineOption helpOnly[] = {KIVREL_COMMON};
static const CmdLineOption jsonOptions[] = {KIVREL_COMMON, {"json", 0, nullptr}};
static const CmdLineOption readOptions[] = {
    KIVREL_COMMON, {"json", 0, nullptr}, {"eeprom", 0, nullptr}, {"output", 'o', "FILE"}};
static const CmdLineOption writeOptions[] = {
    KIVREL_COMMON, {"eeprom", 0, nullptr}, {"no-verify", 0, nullptr}};
static const CmdLineOption setOptions[] = {KIVREL_COMMON, {"eeprom", 0, nullptr}};
static const CmdLineOption diffOptions[] = {
    KIVREL_COMMON, {"json", 0, nullptr}, {"eeprom", 0, nullptr}, {"ram-eeprom", 0, nullptr}};
static const CmdLineOption logOptions[] = {KIVREL_COMMON,          {"since", 0, "TIME"},
                                           {"until", 0, "TIME"},   {"ram", 0, nullptr},
                                           {"eeprom", 0, nullptr}, {"json", 0, nullptr}};
static const CmdLineOption restoreOptions[] = {
    KIVREL_COMMON, {"at", 0, "TIME"}, {"eeprom", 0, nullptr}, {"dry-run", 0, nullptr}};
static const CmdLineOption watchOptions[] = {
    KIVREL_COMMON, {"seconds", 0, "S"}, {"count", 0, "N"}, {"jsonl", 0, nullptr}};
static const CmdLineOption suggestOptions[] = {KIVREL_COMMON,
                                               {"json", 0, nullptr},
                                               {"seconds", 0, "S"},
                                               {"apply", 0, nullptr},
                                               {"eeprom", 0, nullptr}};
static const CmdLineOption publishOptions[] = {KIVREL_COMMON,
                                               {"broker", 0, "URL"},
                                               {"name", 0, "NAME"},
                                               {"topic-root", 0, "ROOT"},
                                               {"every", 0, "N"},
                                               {"params-every", 0, "MIN"},
                                               {"user", 0, "USER"}, // the account and TLS
                                               {"password-file", 0, "FILE"},
                                               {"cafile", 0, "FILE"},
                                               {"cert", 0, "FILE"},
                                               {"key", 0, "FILE"},
                                               {"password", 0, "PASSWORD"}}; // only to be refused

#define KIVREL_OPTIONS(table) table, static_cast<int>(sizeof table / sizeof table[0])

static const CmdLineCommand commands[] = {
    {"ports", KIVREL_OPTIONS(jsonOptions)},      {"check", KIVREL_OPTIONS(helpOnly)},
    {"read", KIVREL_OPTIONS(readOptions)},       {"write", KIVREL_OPTIONS(writeOptions)},
    {"set", KIVREL_OPTIONS(setOptions)},         {"diff", KIVREL_OPTIONS(diffOptions)},
    {"watch", KIVREL_OPTIONS(watchOptions)},     {"jump", KIVREL_OPTIONS(jsonOptions)},
    {"suggest", KIVREL_OPTIONS(suggestOptions)}, {"publish", KIVREL_OPTIONS(publishOptions)},
    {"log", KIVREL_OPTIONS(logOptions)},         {"restore", KIVREL_OPTIONS(restoreOptions)}};

struct Command {
    const char *name;
    int (*run)(void);
    int needsSensor;
    const char *help;
};

static const Command commandTable[] = {
    {"ports", CmdPorts, 0,
     "Usage: kivrel-cli ports [--json]\n"
     "The serial ports by COM number, as the panel's COM PORT list numbers them: device,\n"
     "description, serial number, and whether this user may open it.\n"},
    {"check", CmdCheck, 1,
     "Usage: kivrel-cli [--port PORT] check\n"
     "Opens the port and checks the line; prints the status line the panel shows.\n"},
    {"read", CmdRead, 1,
     "Usage: kivrel-cli [--port PORT] read [--eeprom] [--json] [-o FILE]\n"
     "Reads the sensor's parameter set from RAM (or EEPROM) and prints it by name, with the\n"
     "panel's labels, power in percent, modes by their names; in brackets the byte the\n"
     "sensor holds where it differs from what the panel shows.\n"
     "  -o, --output FILE  write a parameter file as the panel writes it instead (- for stdout)\n"},
    {"write", CmdWrite, 1,
     "Usage: kivrel-cli [--port PORT] write FILE [--eeprom] [--no-verify]\n"
     "Writes a parameter file's set to RAM (or EEPROM), then reads it back from the same\n"
     "memory and compares byte for byte: status 0 only when they match, 3 naming every\n"
     "parameter that differs. A bad file sends nothing (status 6).\n"},
    {"set", CmdSet, 1,
     "Usage: kivrel-cli [--port PORT] set NAME=VALUE... [--eeprom]\n"
     "Reads the set, changes the named parameters, writes and verifies it. Names as\n"
     "'kivrel-cli read' prints them; values as on the panel: power in percent (0 to 100),\n"
     "modes by name or number (trigger=ADJ_EXT, pmod=DYN, trshmod=FIX), deadtime as the\n"
     "list's step 0 to 15, the others 0 to 255. An unknown name or a value out of range sends\n"
     "nothing (status 2).\n"},
    {"diff", CmdDiff, 1,
     "Usage: kivrel-cli [--port PORT] diff FILE [--eeprom] [--json]\n"
     "       kivrel-cli [--port PORT] diff --ram-eeprom [--json]\n"
     "Compares the sensor's set in RAM (or EEPROM) with a parameter file, or its RAM with its\n"
     "EEPROM (which a power cut brings back), by name: status 0 when they are the same, 1\n"
     "when they differ.\n"},
    {"watch", CmdWatch, 1,
     "Usage: kivrel-cli [--port PORT] watch [--seconds S | --count N] [--jsonl]\n"
     "Polls as the panel does and prints one CSV row per record, with the header and columns\n"
     "of the panel's recordings (--jsonl: one JSON object per line). Ctrl-C or SIGTERM ends\n"
     "it after the row in hand; a reader that closes the pipe ends it quietly.\n"},
    {"jump", CmdJump, 1,
     "Usage: kivrel-cli [--port PORT] jump [--json]\n"
     "Reads the jump buffer: the minimum NORM after each of the last 16 edges, one per line.\n"},
    {"suggest", CmdSuggest, 1,
     "Usage: kivrel-cli [--port PORT] suggest [--seconds S] [--json] [--apply [--eeprom]]\n"
     "Reads the jump buffer, polls until the panel's SUGGEST has what it wants (S seconds at\n"
     "most, default 30) and prints it: THRESHOLD and HYSTERESIS with how they came about, or\n"
     "why there are none (TRSH MODE FIX only), and how long it polled. --apply writes them to\n"
     "RAM (or EEPROM) and verifies them; with nothing to apply it exits with status 3.\n"},
    {"publish", CmdPublish, 1,
     "Usage: kivrel-cli [--port PORT] publish --broker mqtt[s]://HOST[:PORT] [--name NAME]\n"
     "                  [--topic-root ROOT] [--every N] [--params-every MIN]\n"
     "                  [--user USER [--password-file FILE]] [--cafile FILE]\n"
     "                  [--cert FILE --key FILE]\n"
     "Polls as watch does until SIGTERM or Ctrl-C and publishes to an MQTT broker (port 1883\n"
     "unless given) under ROOT/NAME/:\n"
     "  status          retained: online, no-reply, offline; lost is the last will\n"
     "  live            every record (every N-th with --every N), with seq and started\n"
     "  params/ram      retained: the sets as read --json gives them, at the start and every\n"
     "  params/eeprom   MIN minutes (default 10); params/ram names what differs from EEPROM\n"
     "  params/changed  a set that differs from the one published before, or kept by the\n"
     "                  broker from before the start\n"
     "  health          retained, every 10 s: records, misses, period, reconnects, drops\n"
     "ROOT is kivrel unless given; NAME is the machine's name and the port's (press7-com3).\n"
     "A sensor that falls silent is asked again every 3 s, a broker that cannot be reached\n"
     "again and again (records are dropped meanwhile); neither ends it. A port that cannot\n"
     "be opened at the start does (status 5). Nothing is written to the sensor.\n"
     "mqtts:// is TLS (port 8883 unless given): the broker's certificate is checked against\n"
     "the system's CAs, or those of --cafile; --cert and --key give a client certificate.\n"
     "--user names the account; its password is the first line of --password-file FILE, or\n"
     "else KIVREL_MQTT_PASSWORD, never an option (ps shows options). A broker that refuses\n"
     "the account, or a certificate that does not verify, ends it at once (status 8).\n"},
    {"log", CmdLog, 0,
     "Usage: kivrel-cli [--port PORT] log [--since TIME] [--until TIME] [--ram | --eeprom]\n"
     "                  [--json]\n"
     "The parameter journal's rows of the port's sensor, oldest first: every read and write of\n"
     "its RAM and EEPROM, when, how it ended, who with which program, and what it changed\n"
     "from the row before it of the same memory (a sensor's first row lists its whole set).\n"
     "Never opens the port. TIME: 2026-12-08 06:00, 06:00 (today), yesterday 22:00, or\n"
     "ISO 8601.\n"},
    {"restore", CmdRestore, 1,
     "Usage: kivrel-cli [--port PORT] restore --at TIME [--eeprom] [--dry-run]\n"
     "Puts back the set the journal says the sensor's RAM (or EEPROM) held at TIME: its last\n"
     "read or write there at or before TIME, never one whose verification failed. Reads the\n"
     "sensor, prints what would change, then writes and verifies as write does (the journal\n"
     "notes where the set came from). --dry-run stops after that: status 1 when something\n"
     "would change, 0 when nothing. No such row: status 9, with the earliest the journal\n"
     "knows.\n"},
};

static const char programHelp[] =
    "Usage: kivrel-cli [--port PORT] COMMAND [OPTIONS]\n"
    "The KIVREL edge-detection sensor from a script, on the panel's own protocol code.\n"
    "\n"
    "Commands:\n"
    "  ports     the serial ports by COM number\n"
    "  check     the line check\n"
    "  read      the parameter set, by name or as a parameter file\n"
    "  write     a parameter file to the sensor, read back and verified\n"
    "  set       change parameters by name, verified\n"
    "  diff      the sensor against a parameter file\n"
    "  watch     live records as CSV rows\n"
    "  jump      the jump buffer's 16 minima\n"
    "  suggest   THRESHOLD and HYSTERESIS from polling and the jump buffer\n"
    "  publish   live records, sets, health and state to an MQTT broker\n"
    "  log       what the journal knows of the sensor's sets, who changed what\n"
    "  restore   the set a memory held at an earlier time, back on the sensor\n"
    "'kivrel-cli COMMAND --help' says more of each.\n"
    "\n"
    "Options:\n"
    "  -p, --port PORT  a COM number as the panel numbers ports (default 1), a device path\n"
    "                   (/dev/ttyUSB0), a name under /dev or /dev/serial/by-id, or a port\n"
    "                   of a serial device server: rfc2217://HOST:PORT or tcp://HOST:PORT\n"
    "  -h, --help       this help\n"
    "  -V, --version    the version\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  diff found differences\n"
    "  2  usage error: unknown command or option, a value out of range, no address\n"
    "  3  verification failed: what was read back is not what was written\n"
    "  4  no reply, a reply of the wrong length, or a failed line check\n"
    "  5  the port cannot be opened\n"
    "  6  a bad parameter file\n"
    "  7  the sensor work was done, but its result or its journal row could not be written\n"
    "  8  publish: the broker refused the account, or its certificate does not verify\n"
    "  9  restore: the journal holds no set of that memory at or before the time\n"
    "\n"
    "COM n is the device named by KIVREL_COM<n>, otherwise the n-th serial port of the\n"
    "machine. Every read and write goes into the daily parameter journal under\n"
    "$XDG_DATA_HOME/kivrel/journal/. Errors go to stderr, one line each.\n";

static int RunCommand(int argc, char *argv[]);

int CliMain(int argc, char *argv[])
{
    journalProgram = cliName;
    keepSaysWhy = 0; // a journal that cannot be written is said once, at the end
    SetComReportHandler(SayPortReport);
    return Finish(RunCommand(argc, argv));
}

static int RunCommand(int argc, char *argv[])
{
    if (ParseCmdLine(argc, argv, KIVREL_OPTIONS(globalOptions), KIVREL_OPTIONS(commands)) != 0) {
        return Fail(EXIT_USAGE, "%s (kivrel-cli --help lists what there is)", CmdLineError());
    }
    const char *name = CmdLineCommandName();
    const Command *command = nullptr;
    for (const Command &c : commandTable)
        if (std::strcmp(c.name, name) == 0) command = &c;
    if (!command) {
        if (CmdLineIsSet("version")) {
            Print("kivrel-cli %s\n", KIVREL_VERSION);
            return EXIT_OK;
        }
        if (CmdLineIsSet("help")) {
            Print("%s", programHelp);
            return EXIT_OK;
        }
        return Fail(EXIT_USAGE, "a command, please (kivrel-cli --help lists them)");
    }
    if (CmdLineIsSet("help")) {
        Print("%s", command->help);
        if (command->run == CmdSet) PrintParaNames();
        return EXIT_OK;
    }
    com = 1;
    if (CmdLineIsSet("port")) {
        com = UsePortName(CmdLineValue("port"));
        if (com < 0) return Fail(EXIT_USAGE, "--port %s: %s", CmdLineValue("port"), CmdLineError());
    }
    sync = 0x55;
    target = RAM;
    return command->run();
}

} // namespace kivrel
