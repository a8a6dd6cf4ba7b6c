// src/cli: kivrel-cli, the sensor from a script; stands on the shared floors alone (core, util,
// wire, history, assist) and never on the panel.
// What the command line's parts share: exit statuses, the connection, output.
#ifndef KIVREL_CLI_CLI_H
#define KIVREL_CLI_CLI_H

#include "jsontext.h" // JsonString, JsonPort, FormatParaSetJson

namespace kivrel
{

// Exit statuses, the same for every command.
enum {
    EXIT_OK = 0,
    EXIT_DIFFERENT = 1, // diff found differences
    EXIT_USAGE = 2,
    EXIT_VERIFY = 3,   // what was read back is not what was written
    EXIT_NO_REPLY = 4, // no reply, a reply of the wrong length, a failed line check
    EXIT_PORT = 5,     // the port cannot be opened
    EXIT_BAD_FILE = 6, // a parameter file that cannot be read or written
    EXIT_NOT_KEPT = 7, // the sensor work was done, but its result or its journal row could not
                       // be written
    EXIT_REFUSED = 8,  // publish: the broker refused the account, or its certificate does not
                       // verify
    EXIT_NO_ROW = 9    // restore: the journal holds no set of the sensor's memory before the time
};

// The program's name in every line it writes to stderr.
extern const char cliName[];

// One line on stderr, "kivrel-cli: ...", and `status` back.
int Fail(int status, const char *format, ...) __attribute__((format(printf, 2, 3)));
// The same about the sensor on com, which the line names first: "kivrel-cli: COM3 (ttyUSB2):
// ...", or by the path it was given where no COM number maps it.
int FailAt(int status, const char *format, ...) __attribute__((format(printf, 2, 3)));
// The sensor on com as those lines name it, and the results that say what was done to it.
const char *SensorName(void);
// What a port reports (SetComReportHandler): a notice as one such line; a failure is the
// command's to say.
void SayPortReport(int port, const char *device, int kind, const char *text);

// Text for stdout; 0, or -1 once stdout is closed by its reader or cannot take more (nothing
// more is written; Finish tells the second from the first).
int Print(const char *format, ...) __attribute__((format(printf, 1, 2)));
int PrintText(const char *text, int length);

// A journal row's result (JournalTransfer's): a row that could not be written is remembered,
// for Finish to say once.
void NoteJournal(int rc);
// The command's status, or EXIT_NOT_KEPT after one line when its output or a journal row could
// not be written and the sensor did not fail (3, 4 and 5 say more).
int Finish(int status);

// Opens com and checks the line, as the panel does before its first command. EXIT_OK, or the
// status after saying what failed.
int Connect(void);
// The sensor's memory target names: "EEPROM" or "RAM".
const char *MemoryName(void);
// A reply the sensor did not give: what came instead, and EXIT_NO_REPLY.
int NoReply(const char *what, int expected);
// The settle wait for `target`, then the parameter set of its memory into pp; the journal gets
// its row. EXIT_OK or EXIT_NO_REPLY.
int ReadSensorSet(void);
// Polls as the panel does, without the settle wait before: `seconds` long or `count` records (0:
// no such limit), handing each record to `keep`, which ends the polling by answering non-zero;
// a termination request ends it too. RX_OK when it ended so, RX_ABANDONED when poll was cleared
// during a wait, RX_FAILED at a reply missed or of the wrong length (nBytesR), nothing said.
int PollRecords(double seconds, long count, int (*keep)(double elapsed));
// pp to target's memory and, unless `verify` is 0, read back after the settle wait and
// compared byte for byte. EXIT_OK, EXIT_NO_REPLY or EXIT_VERIFY.
int WriteSensorSet(int verify);

// A parameter file's 15 values into `values`; EXIT_OK or EXIT_BAD_FILE after saying which
// line and why. The journal gets its row.
int LoadParaFile(const char *path, unsigned char values[15]);

// The parameter set `values` as a table by name, or as JSON.
void PrintParaSet(const unsigned char values[15], int json, const char *memory);
// Every parameter's name and the values set takes, for set --help.
void PrintParaNames(void);
// "power=50", "trigger=ADJ EXT": the wire index and the sensor's byte. EXIT_OK or EXIT_USAGE
// after saying why.
int ParseAssignment(const char *text, int *wire, unsigned char *value);
// The value of parameter `wire` as the panel shows it, with the byte the sensor holds in
// brackets where the two differ: "50 % (23)", "CONT (0)".
void DescribeValue(int wire, const unsigned char values[15], char *text, int size);

// An option's value: a number from `low` to `high` with a decimal point whatever the locale, or
// a whole number in digits alone; -1 when it is none.
double NumberOption(const char *name, double low, double high);
long WholeOption(const char *name, long low, long high);

// A time as typed after --since, --until or --at ("2026-12-08 06:00", "06:00" today,
// "yesterday 22:00", ISO 8601; local time without an offset): 0 and its seconds since the
// epoch, or -1. And back, in local time: "2026-12-08 05:58:12".
int ParseWhen(const char *text, double *seconds);
void FormatWhen(double seconds, char *text, int size);

// The program: reads its command line, runs the command, returns the exit status.
int CliMain(int argc, char *argv[]);

// The commands; each returns its exit status.
int CmdPorts(void);
int CmdCheck(void);
int CmdRead(void);
int CmdWrite(void);
int CmdSet(void);
int CmdDiff(void);
int CmdWatch(void);
int CmdJump(void);
int CmdSuggest(void);
int CmdPublish(void);
int CmdLog(void);
int CmdRestore(void);

} // namespace kivrel

#endif
