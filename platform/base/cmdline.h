// Command lines: the panel program's own, and those of a program with commands.
#ifndef KIVREL_PLATFORM_CMDLINE_H
#define KIVREL_PLATFORM_CMDLINE_H

// The panel program's command line, read before anything else so that --help and --version
// need no display: --help and --version print and answer 0, a wrong command line prints the
// usage on stderr and answers 2, --port DEVICE makes DEVICE COM 1, --view FILE.csv is kept for
// CommandLineView and --export OUT (only with --view) for CommandLineExport. Answers -1 when the
// program should go on.
int ProcessCommandLine(int argc, char *argv[]);
// The recording --view FILE.csv names, to be shown without a sensor; null without the option.
const char *CommandLineView(void);
// Where --export OUT writes that recording's export instead of showing it; null without it.
const char *CommandLineExport(void);

// Command lines of a program with commands, the way git's and esptool's read:
//   PROGRAM [GLOBAL OPTION]... COMMAND [OPTION | ARGUMENT]...
// The program gives its options as tables; the platform parses, the program decides.

// An option: its long name ("eeprom"), an optional one-letter name ('o'; 0 for none), and the
// name of its value ("FILE"), null for a flag.
struct CmdLineOption {
    const char *name;
    char letter;
    const char *valueName;
};

// A command and the options it takes.
struct CmdLineCommand {
    const char *name;
    const CmdLineOption *options;
    int count;
};

// Parses argv: global options up to the first argument that is no option, which names the
// command; then that command's options and arguments in any order. 0, or -1 with the reason in
// CmdLineError (an unknown option or command, a missing value).
int ParseCmdLine(int argc, char *argv[], const CmdLineOption *global, int globalCount,
                 const CmdLineCommand *commands, int commandCount);
// The command named, "" when none was.
const char *CmdLineCommandName(void);
// A global option or one of the command's, by its long name.
int CmdLineIsSet(const char *name);
const char *CmdLineValue(const char *name); // "" when not given
// The command's arguments, in order.
int CmdLineArgCount(void);
const char *CmdLineArg(int index);
const char *CmdLineError(void);

// PORT the way an operator names it: a COM number ("3" or "COM3"), a device path, a device's
// name under /dev ("ttyUSB0") or under /dev/serial/by-id, a serial device server's port
// ("rfc2217://10.0.0.7:4001", "tcp://[fd00::7]:4001"). A device becomes COM 1 for this run,
// as if KIVREL_COM1 named it. Returns the COM number, or -1 with the reason in CmdLineError: an
// empty name, a number outside 1 to 255, a server's port without a port number, with port 0 or
// one above 65535, with a path or with a user.
int UsePortName(const char *port);

#endif
