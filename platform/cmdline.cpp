// The command line, read before the run-time comes up so that --help and --version need no
// display.
#include "cvirte.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

#ifndef KIVREL_VERSION
#define KIVREL_VERSION "unknown"
#endif

namespace
{

const char kUsage[] =
    "Usage: kivrel [--port DEVICE] [--view FILE.csv]\n"
    "Set-up and monitoring tool for the KIVREL edge-detection sensor.\n"
    "\n"
    "  --port DEVICE   use DEVICE as COM 1 for this run (a path such as /dev/ttyUSB0 or a\n"
    "                  /dev/serial/by-id link; a bare name means /dev/NAME); overrides\n"
    "                  KIVREL_COM1\n"
    "  --view FILE.csv show a recording made with REC in the history window alone, without\n"
    "                  a sensor\n"
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

QByteArray &viewFile()
{
    static QByteArray path;
    return path;
}

} // namespace

const char *CommandLineView(void)
{
    return viewFile().isEmpty() ? nullptr : viewFile().constData();
}

int ProcessCommandLine(int argc, char *argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty()) args << QStringLiteral("kivrel");

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("DEVICE"));
    const QCommandLineOption view(QStringLiteral("view"), QString(), QStringLiteral("FILE"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(port);
    parser.addOption(view);
    for (const char *name : kQtValueOptions)
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char *name : kQtFlagOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    if (!parser.parse(args) || !parser.positionalArguments().isEmpty()) {
        const QString why = parser.errorText().isEmpty()
                                ? QStringLiteral("unexpected argument '%1'")
                                      .arg(parser.positionalArguments().value(0))
                                : parser.errorText();
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
    if (parser.isSet(port)) {
        QString device = parser.value(port);
        if (!device.contains(u'/') && QFileInfo::exists(QStringLiteral("/dev/") + device))
            device = QStringLiteral("/dev/") + device;
        qputenv("KIVREL_COM1", device.toLocal8Bit());
    }
    viewFile() = parser.isSet(view) ? QFile::encodeName(parser.value(view)) : QByteArray();
    return -1;
}
