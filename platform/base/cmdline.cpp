// The command line, read before the run-time comes up so that --help and --version need no
// display.
#include "cmdline.h"
#include "netport_p.h"
#include "ports_p.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <deque>
#include <map>

#ifndef KIVREL_VERSION
#define KIVREL_VERSION "unknown"
#endif

namespace
{

const char kUsage[] =
    "Usage: kivrel [--port DEVICE] [--view FILE.csv [--export OUT]]\n"
    "Set-up and monitoring tool for the KIVREL edge-detection sensor.\n"
    "\n"
    "  --port DEVICE   use DEVICE as COM 1 for this run (a path such as /dev/ttyUSB0 or a\n"
    "                  /dev/serial/by-id link; a bare name means /dev/NAME; a serial device\n"
    "                  server's port as rfc2217://HOST:PORT or tcp://HOST:PORT); overrides\n"
    "                  KIVREL_COM1\n"
    "  --view FILE.csv show a recording made with REC in the history window alone, without\n"
    "                  a sensor\n"
    "  --export OUT    with --view: write the recording's export to OUT without showing a\n"
    "                  window (no display needed), and exit, 0 only when OUT was written:\n"
    "                  OUT.pdf an A4 report page, OUT.png a 1920 x 1080 picture, OUT.csv\n"
    "                  its rows\n"
    "  --help          print this help and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "COM n is the device named by the environment variable KIVREL_COM<n>, otherwise the n-th\n"
    "serial port of the machine (USB adapters first, in the order of /dev/serial/by-id).\n"
    "Qt's own options such as -platform and -style are passed on.\n";

// Qt's own options, taken here so that they reach QApplication instead of counting as unknown.
const char *const kQtValueOptions[] = {"platform",
                                       "platformpluginpath",
                                       "platformtheme",
                                       "plugin",
                                       "style",
                                       "stylesheet",
                                       "display",
                                       "geometry",
                                       "qwindowgeometry",
                                       "qwindowtitle",
                                       "qwindowicon",
                                       "session",
                                       "name",
                                       "title"};
const char *const kQtFlagOptions[] = {"reverse", "nograb", "dograb", "sync", "widgetcount"};

// A device for COM 1: a path or a network address as it stands, a bare name under /dev or
// /dev/serial/by-id where one of them has it (else as it stands, and the open will say there is
// no such device).
QString deviceNamed(QString device)
{
    if (!device.contains(u'/')) {
        for (const QString &folder :
             {QStringLiteral("/dev/"), QStringLiteral("/dev/serial/by-id/")})
            if (QFileInfo::exists(folder + device)) return folder + device;
    }
    return device;
}

void useDevice(const QString &device)
{
    qputenv("KIVREL_COM1", deviceNamed(device).toLocal8Bit());
}

// argv as the parser takes it; `name` stands in for a missing program name.
QStringList argumentList(int argc, char *argv[], const char *name)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty()) args << QString::fromLatin1(name);
    return args;
}

QByteArray &viewFile()
{
    static QByteArray path;
    return path;
}

QByteArray &exportFile()
{
    static QByteArray path;
    return path;
}

} // namespace

const char *CommandLineView(void)
{
    return viewFile().isEmpty() ? nullptr : viewFile().constData();
}

const char *CommandLineExport(void)
{
    return exportFile().isEmpty() ? nullptr : exportFile().constData();
}

int ProcessCommandLine(int argc, char *argv[])
{
    const QStringList args = argumentList(argc, argv, "kivrel");

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("DEVICE"));
    const QCommandLineOption view(QStringLiteral("view"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption exportTo(QStringLiteral("export"), QString(), QStringLiteral("OUT"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(port);
    parser.addOption(view);
    parser.addOption(exportTo);
    for (const char *name : kQtValueOptions)
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char *name : kQtFlagOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    const bool parsed = parser.parse(args);
    // The parser keeps the last of a repeated option: a second --export would silently win.
    const bool twice = parser.values(exportTo).size() > 1 || parser.values(view).size() > 1;
    if (!parsed || twice || !parser.positionalArguments().isEmpty() ||
        (parser.isSet(exportTo) && !parser.isSet(view))) {
        const QString why =
            !parsed ? parser.errorText()
            : twice ? QStringLiteral("--%1 given twice")
                          .arg(parser.values(exportTo).size() > 1 ? QStringLiteral("export")
                                                                  : QStringLiteral("view"))
            : parser.positionalArguments().isEmpty()
                ? QStringLiteral("--export needs --view FILE.csv")
                : QStringLiteral("unexpected argument '%1'")
                      .arg(parser.positionalArguments().value(0));
        std::fprintf(stderr, "kivrel: %s\n%s", why.toLocal8Bit().constData(), kUsage);
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("kivrel %s\n", KIVREL_VERSION);
        return 0;
    }
    if (parser.isSet(port)) useDevice(parser.value(port));
    viewFile() = parser.isSet(view) ? QFile::encodeName(parser.value(view)) : QByteArray();
    exportFile() =
        parser.isSet(exportTo) ? QFile::encodeName(parser.value(exportTo)) : QByteArray();
    // An export shows no window, so it needs no display: a script run from cron has none.
    if (parser.isSet(exportTo) && !parser.isSet(QStringLiteral("platform")) &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return -1;
}

// ---- Programs with commands ------------------------------------------------------------------

namespace
{

struct CmdLine {
    QString command;
    QStringList arguments;
    QString error;
    std::map<QString, QString> values; // option name -> value ("" for a set flag)
    std::deque<QByteArray> strings;    // what the accessors handed out, kept alive
};

CmdLine &cmdLine()
{
    static CmdLine c;
    return c;
}

const char *keep(const QString &text)
{
    cmdLine().strings.push_back(text.toLocal8Bit());
    return cmdLine().strings.back().constData();
}

void addOptions(QCommandLineParser &parser, const CmdLineOption *options, int count)
{
    for (int i = 0; i < count; ++i) {
        QStringList names{QString::fromLatin1(options[i].name)};
        if (options[i].letter) names.prepend(QString(QLatin1Char(options[i].letter)));
        QCommandLineOption option(names);
        if (options[i].valueName) option.setValueName(QString::fromLatin1(options[i].valueName));
        parser.addOption(option);
    }
}

// The parser's complaint in the words and the style of the program's own lines.
QString parserError(const QCommandLineParser &parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString &name = unknown.first();
        return QStringLiteral("unknown option %1%2").arg(name.size() == 1 ? "-" : "--", name);
    }
    QString text = parser.errorText();
    if (text.endsWith(u'.')) text.chop(1);
    if (!text.isEmpty()) text[0] = text[0].toLower();
    return text;
}

// An option's values; false, with the reason, for one that takes a value and was given twice
// (here, or once before the command and once after it).
bool takeValues(const QCommandLineParser &parser, const CmdLineOption *options, int count)
{
    for (int i = 0; i < count; ++i) {
        const QString name = QString::fromLatin1(options[i].name);
        if (!parser.isSet(name)) continue;
        if (options[i].valueName &&
            (parser.values(name).size() > 1 || cmdLine().values.count(name))) {
            cmdLine().error = QStringLiteral("--%1 given twice").arg(name);
            return false;
        }
        cmdLine().values[name] = options[i].valueName ? parser.value(name) : QString();
    }
    return true;
}

} // namespace

int ParseCmdLine(int argc, char *argv[], const CmdLineOption *global, int globalCount,
                 const CmdLineCommand *commands, int commandCount)
{
    CmdLine &c = cmdLine();
    c = CmdLine{};
    const QStringList args = argumentList(argc, argv, "program");

    QCommandLineParser first;
    first.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    addOptions(first, global, globalCount);
    if (!first.parse(args)) {
        c.error = parserError(first);
        return -1;
    }
    if (!takeValues(first, global, globalCount)) return -1;
    QStringList rest = first.positionalArguments();
    if (rest.isEmpty()) return 0;
    c.command = rest.takeFirst();
    const CmdLineCommand *command = nullptr;
    for (int i = 0; i < commandCount; ++i)
        if (c.command == QLatin1String(commands[i].name)) command = &commands[i];
    if (!command) {
        c.error = QStringLiteral("unknown command '%1'").arg(c.command);
        return -1;
    }
    QCommandLineParser second;
    addOptions(second, command->options, command->count);
    if (!second.parse(QStringList{args.first()} + rest)) {
        c.error = parserError(second);
        return -1;
    }
    if (!takeValues(second, command->options, command->count)) return -1;
    c.arguments = second.positionalArguments();
    return 0;
}

const char *CmdLineCommandName(void)
{
    return keep(cmdLine().command);
}

int CmdLineIsSet(const char *name)
{
    return cmdLine().values.count(QString::fromLatin1(name)) ? 1 : 0;
}

const char *CmdLineValue(const char *name)
{
    const auto it = cmdLine().values.find(QString::fromLatin1(name));
    return keep(it == cmdLine().values.end() ? QString() : it->second);
}

int CmdLineArgCount(void)
{
    return int(cmdLine().arguments.size());
}

const char *CmdLineArg(int index)
{
    return keep(cmdLine().arguments.value(index));
}

const char *CmdLineError(void)
{
    return keep(cmdLine().error);
}

int UsePortName(const char *port)
{
    const QString given = QString::fromLocal8Bit(port ? port : "").trimmed();
    QString name = given;
    if (name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) name = name.mid(3);
    bool number = false;
    const int n = name.toInt(&number, 10);
    const auto refuse = [](const QString &why) {
        cmdLine().error = why;
        return -1;
    };
    if (number) return n >= 1 && n <= 255 ? n : refuse(QStringLiteral("no such port"));
    if (name.isEmpty()) return refuse(QStringLiteral("no such port"));
    // A mistyped address is the command line's fault, and the open would only say it later.
    if (kivrel::platform::isNetworkAddress(given)) {
        const QString why = kivrel::platform::NetPort::addressError(given);
        if (!why.isEmpty()) return refuse(why);
    }
    // A device some COM number maps is that number, however it was spelt: eight sensors named
    // by their by-id links each report the number their line is known by.
    const int mapped = kivrel::platform::comNumberOf(deviceNamed(given));
    if (mapped > 0) return mapped;
    useDevice(given);
    kivrel::platform::setUnnumbered(1, given);
    return 1;
}
