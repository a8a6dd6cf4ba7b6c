// kivrel-cli against the built simulator: every command's exit status, output and telegrams,
// the faults a line and a file can have, and the ends of watch.
#include "ser2net.h"
#include "sim_fixture.h"

#include "rs232.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <thread>

using namespace kivrel::test;

namespace
{

struct CliRun {
    int status = -1;
    QString out, err;
};

// A parameter file as the panel writes it.
QByteArray paraFile(const Bytes &values)
{
    QByteArray text;
    for (unsigned char v : values)
        text += QByteArray::number(v).rightJustified(4, ' ') + '\n';
    return text;
}

// The simulator's factory set, as its first read answers it.
const Bytes kFactory{120, 150, 10, 0, 10, 0, 10, 10, 1, 1, 2, 0, 0, 20, 0};

// "RAM 120 150 ...": a memory and the set it holds, as Wire::held names them.
QString held(const char *memory, Bytes set, std::initializer_list<std::pair<int, int>> changes = {})
{
    QStringList bytes;
    for (auto [wire, value] : changes)
        set[wire] = static_cast<unsigned char>(value);
    for (unsigned char b : set)
        bytes << QString::number(b);
    return QString(memory) + ' ' + bytes.join(' ');
}

class CliTest : public ::testing::Test
{
  protected:
    // kivrel-cli with `args` against COM 1 = the simulator, its journal in the test's folder;
    // `more` holds NAME=VALUE over that, and `full` sends stdout to /dev/full.
    CliRun cli(const QStringList &args, const QString &com1, const QStringList &more = {},
               bool full = false)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KIVREL_COM1", com1);
        env.insert("XDG_DATA_HOME", dir.filePath("data"));
        for (const QString &pair : more)
            env.insert(pair.section('=', 0, 0), pair.section('=', 1));
        p.setProcessEnvironment(env);
        if (full) p.setStandardOutputFile("/dev/full");
        p.start(KIVREL_CLI, args);
        CliRun r;
        if (!p.waitForFinished(30000)) return r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    // What reached the simulator, from its --verbose log: the order codes ("7,3"), when each
    // arrived, and the set the last parameter write left ("RAM 120 150 ...").
    struct Wire {
        QString orders, held;
        std::vector<double> ms;
    };
    static Wire wire(SimProcess &sim)
    {
        sim.stop();
        Wire w;
        QStringList codes;
        static const QRegularExpression order(R"(^\s*([\d.]+) ms  order (\d)( \(fault\))? ->)");
        static const QRegularExpression held(
            R"(^kivrel-sim: (RAM|EEPROM) holds((?: [0-9A-F]{2}){15})$)");
        for (const QString &line : sim.errorOutput().split('\n')) {
            if (const auto m = order.match(line); m.hasMatch()) {
                codes << m.captured(2);
                w.ms.push_back(m.captured(1).toDouble());
            } else if (const auto h = held.match(line); h.hasMatch()) {
                QStringList bytes;
                for (const QString &b : h.captured(2).split(' ', Qt::SkipEmptyParts))
                    bytes << QString::number(b.toInt(nullptr, 16));
                w.held = h.captured(1) + ' ' + bytes.join(' ');
            }
        }
        w.orders = codes.join(',');
        return w;
    }
    QStringList journalRows()
    {
        QFile journal(dir.filePath("data/kivrel/journal/" +
                                   QDate::currentDate().toString(Qt::ISODate) + ".csv"));
        if (!journal.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(journal.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    QString write(const QString &name, const QByteArray &text)
    {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    }
    QTemporaryDir dir;
};

} // namespace

// The table below on a local port, and again through ser2net over RFC 2217.
class CliTable : public CliTest, public ::testing::WithParamInterface<bool>
{
};

// Commands against a sensor that answers, a silent or short one, a noisy line, a port in use and
// bad files: the status, what stdout says, and the telegrams that went out.
TEST_P(CliTable, CommandsOutcomesAndTheWire)
{
    const bool network = GetParam();
    Bytes other = kFactory;
    other[0] = 99, other[2] = 23;
    const QString good = write("good.dat", paraFile(other));
    const QString same = write("same.dat", paraFile(kFactory));
    write("short.dat", paraFile(Bytes(kFactory.begin(), kFactory.end() - 1)));
    write("over.dat", paraFile(kFactory) + "256\n");
    write("text.dat", "120\n150\nten\n");
    QDir(dir.path()).mkdir("folder.dat");
    ::mkfifo(dir.filePath("fifo.dat").toLocal8Bit().constData(), 0644);
    QFile(write("big.dat", "")).resize(100 << 20);

    const QString factoryTable = "threshold     TRESHOLD        120\n";
    // The system's words, in the language of the locale the suite runs under.
    const QString noSpace =
        QRegularExpression::escape(QString::fromLocal8Bit(std::strerror(ENOSPC)));
    // A sensor whose POWER byte has no percent: its EEPROM, and so its RAM, hold 200.
    Bytes at200 = kFactory;
    at200[2] = 200;
    const QStringList power200{"--eeprom", write("at200.eeprom", paraFile(at200))};
    const struct {
        QStringList sim = {}, args = {};
        int status = 0;
        QString out = {};     // stdout holds this (a regular expression)
        QString wire = {};    // the order codes on the line (a regular expression for all of them)
        QString err = {};     // stderr holds this
        QString held = {};    // what the last parameter write left in the sensor, "" for no write
        double settle = 0;    // seconds at least between the line check and the next request
        QStringList env = {}; // NAME=VALUE for the command; @SIM is the simulator's port and
                              // @LINK a link to it, as /dev/serial/by-id holds them
        QString journal = {}; // the journal's last row holds this (a regular expression)
        bool full = false;    // stdout is /dev/full
    } rows[] = {
        {{}, {"check"}, 0, "^LINE OK {30}V4.0\n$", "7", ""},
        {{},
         {"read"},
         0,
         factoryTable + ".*power +POWER \\[%\\] +78 % \\(10\\)\n",
         "7,3",
         "",
         {},
         0.08},
        {{},
         {"read", "--eeprom", "-o", "-"},
         0,
         "^" + QRegularExpression::escape(paraFile(kFactory)) + "$",
         "7,4",
         "",
         {},
         1.4},
        {{},
         {"read", "--json"},
         0,
         R"(^\{"memory":"RAM","port":1,"device":"@DEV","parameters":\{"threshold":120,.*)"
         R"("frei15":0\},)"
         R"("power_percent":78,"power_byte":10\}\n$)",
         "7,3",
         ""},
        {{},
         {"write", good},
         0,
         "^COM1 \\(@DEV\\): written to RAM and verified\n$",
         "7,1,3",
         "",
         held("RAM", other)},
        {{},
         {"write", good, "--eeprom"},
         0,
         "written to EEPROM and verified",
         "7,2,4",
         "",
         held("EEPROM", other)},
        {{}, {"write", good, "--no-verify"}, 0, "written to RAM\n", "7,1", "", held("RAM", other)},
        {{},
         {"set", "threshold=130", "power=50", "trigger=ADJ_EXT"},
         0,
         "set in RAM and verified",
         "7,3,1,3",
         "",
         held("RAM", kFactory, {{0, 130}, {2, 23}, {5, 3}})},
        // 78 % is what the sensor's 10 shows: it goes back as 10.
        {{},
         {"set", "power=78"},
         0,
         "set in RAM and verified",
         "7,3,1,3",
         "",
         held("RAM", kFactory)},
        {power200, {"read"}, 0, "power +POWER \\[%\\] +byte 200, outside 0 to 46\n", "7,3", ""},
        {power200,
         {"read", "--json"},
         0,
         R"("power_percent":null,"power_byte":200\}\n$)",
         "7,3",
         ""},
        {power200,
         {"set", "threshold=130"},
         0,
         "set in RAM and verified",
         "7,3,1,3",
         "",
         held("RAM", at200, {{0, 130}})},
        {{}, {"diff", same}, 0, "^$", "7,3", ""},
        {{},
         {"diff", good},
         1,
         "^threshold +sensor 120 +file 99\npower +sensor 78 % \\(10\\) +file 50 % \\(23\\)\n$",
         "7,3",
         ""},
        {{},
         {"diff", good, "--json"},
         1,
         R"("name":"threshold","sensor":120,"file":99)",
         "7,3",
         ""},
        {{}, {"jump"}, 0, "^(\\d+\n){16}$", "7,3,6", ""},
        {{}, {"watch", "--count", "3"}, 0, "^time,seconds,[^\n]*\n([^\n]+\n){3}$", "7,3,5,5,5", ""},
        {{},
         {"watch", "--count", "2", "--jsonl"},
         0,
         R"(^(\{"time":"[^\n]+\}\n){2}$)",
         "7,3,5,5",
         ""},
        // Polling stops with the first record at least half a second in.
        {{},
         {"watch", "--seconds", "0.5", "--jsonl"},
         0,
         R"("seconds":(0\.[5-9]|[1-9]\.)\d*,[^\n]*\}\n$)",
         "7,3(,5)+",
         ""},
        // No marks pass, so there is nothing to suggest from, and nothing is written; the
        // refusal names what the command line offers. Polling stops at the 20 records that
        // show it, however slow the line.
        {{"--rate", "0"},
         {"suggest", "--seconds", "3", "--apply"},
         3,
         "\npolled \\d\\.\\d s, 20 records\n$",
         "7,3,6(,5)+,6",
         "^kivrel-cli: COM1 \\(@DEV\\): nothing applied: No edge in the jump buffer: set a "
         "THRESHOLD that counts the marks \\(set threshold=N\\), then suggest again\n$"},

        {{"--silent"}, {"check"}, 4, "^$", "7", "no reply to the line check"},
        {{"--short", "--fault-order", "3"},
         {"read"},
         4,
         "^$",
         "7,3",
         "a reply of 14 bytes to the RAM read, 15 expected"},
        // Only the last byte comes back different: that alone fails the write.
        {{"--garble", "14"},
         {"write", good},
         3,
         "^$",
         "7,1,3",
         "^kivrel-cli: COM1 \\(@DEV\\): verification failed: frei15 sent 0, read back 255\n$",
         held("RAM", other, {{14, 255}})},
        // A sensor named by another path to its device is the COM number that maps it; one no
        // number maps has none, and its lines begin with the path as given.
        {.args = {"--port", "@LINK", "read", "--json"},
         .status = 0,
         .out = R"(^\{"memory":"RAM","port":3,"device":"pts/\d+",)",
         .wire = "7,3",
         .env = {"KIVREL_COM1=", "KIVREL_COM3=@SIM"},
         .journal = ",read,RAM,3,pts/\\d+,120,"},
        {.args = {"--port", "@LINK", "read", "--json"},
         .status = 0,
         .out = R"(^\{"memory":"RAM","port":null,"device":"pts/\d+",)",
         .wire = "7,3",
         .env = {"KIVREL_COM1="},
         .journal = ",read,RAM,,pts/\\d+,120,"},
        {.sim = {"--garble", "14"},
         .args = {"--port", "@LINK", "write", good},
         .status = 3,
         .out = "^$",
         .wire = "7,1,3",
         .err = "^kivrel-cli: /\\S+/by-id-link \\(pts/\\d+\\): verification failed: frei15",
         .held = held("RAM", other, {{14, 255}}),
         .env = {"KIVREL_COM1="},
         .journal = ",read,RAM,,pts/\\d+,99,.*,read,$"},
        // The work done, its result not kept: status 7 (in the system's words, in the user's
        // language), unless the sensor failed.
        {.args = {"read", "--json"},
         .status = 7,
         .out = "^$",
         .wire = "7,3",
         .err = "^kivrel-cli: the output cannot be written: " + noSpace + "\n$",
         .full = true},
        {.args = {"watch", "--count", "2"},
         .status = 7,
         .out = "^$",
         .wire = "7,3", // the header found no room: no polling
         .err = "^kivrel-cli: the output cannot be written: " + noSpace + "\n$",
         .full = true},
        {.args = {"read"},
         .status = 7,
         .out = "^threshold ",
         .wire = "7,3",
         .err = "^kivrel-cli: COM1 \\(@DEV\\): parameter journal not written: [^\n]+\n$",
         .env = {"XDG_DATA_HOME=" + good}},
        {.sim = {"--garble", "14"},
         .args = {"write", good},
         .status = 3,
         .out = "^$",
         .wire = "7,1,3",
         .err = "verification failed: frei15",
         .held = held("RAM", other, {{14, 255}}),
         .env = {"XDG_DATA_HOME=" + good}},
        {.args = {"ports", "--json"},
         .status = 0,
         .out = R"(\{"port":1,"device":"pts/\d+","path":"/dev/pts/\d+",.*"mapped":true\})",
         .wire = ""},
        {.args = {}, .status = 2, .out = "^$", .wire = "", .err = "a command, please"},
        {.args = {"--colour", "read"},
         .status = 2,
         .out = "^$",
         .wire = "",
         .err = "^kivrel-cli: unknown option --colour \\("},
        {.args = {"watch", "--seconds", "1", "--count", "3"},
         .status = 2,
         .out = "^$",
         .wire = "",
         .err = "--seconds or --count, not both"},
        {.args = {"watch", "--seconds", "1x"},
         .status = 2,
         .out = "^$",
         .wire = "",
         .err = "--seconds takes a positive number"},
        {.args = {"-p", "1", "read", "-p", "2"},
         .status = 2,
         .out = "^$",
         .wire = "",
         .err = "--port given twice"},
        {{"--drop-after", "2"},
         {"write", good},
         4,
         "^$",
         "7,1",
         "no reply to the RAM read",
         held("RAM", other)},
        {{}, {"write", dir.filePath("short.dat")}, 6, "^$", "", "14 values, 15 needed"},
        {{}, {"diff", dir.filePath("over.dat")}, 6, "^$", "", "line 16: more than 15 values"},
        {{}, {"write", dir.filePath("text.dat")}, 6, "^$", "", R"(line 3: "ten" is not a value)"},
        {{}, {"write", dir.filePath("folder.dat")}, 6, "^$", "", "folder"},
        {{}, {"write", dir.filePath("fifo.dat")}, 6, "^$", "", "not a regular file"},
        {{}, {"write", dir.filePath("big.dat")}, 6, "^$", "", "not a parameter file"},
        {{}, {"set", "threshold=256"}, 2, "^$", "", "from 0 to 255"},
        {{}, {"set", "colour=3"}, 2, "^$", "", "unknown parameter 'colour'"},
        {{}, {"read", "--port", "/nonexistent/tty"}, 5, "^$", "", "cannot open: no such device"},
    };
    for (const auto &row : rows) {
        // Rows that put nothing on the line, or name the port their way, say nothing of networks.
        if (network && (row.wire.isEmpty() || row.args.contains("@LINK") ||
                        !row.env.filter("KIVREL_COM").isEmpty()))
            continue;
        SCOPED_TRACE(row.args.join(' ').toStdString() + " with " + row.sim.join(' ').toStdString());
        SimProcess sim(QStringList{"--fast", "--verbose"} + row.sim);
        ASSERT_TRUE(sim.ok());
        const QString simPath = QString::fromStdString(sim.path());
        QString com1 = simPath, device = "pts/\\d+";
        std::unique_ptr<Ser2net> server;
        if (network) {
            server = std::make_unique<Ser2net>(sim.path(), true, dir.path().toStdString());
            ASSERT_TRUE(server->start()) << "ser2net (scripts/deps installs it)";
            com1 = QString::fromStdString(server->address());
            device = QRegularExpression::escape(com1);
        }
        const QString link = dir.filePath("by-id-link");
        QFile::remove(link);
        QFile::link(simPath, link);
        auto place = [&](QStringList list) {
            return list.replaceInStrings("@SIM", simPath).replaceInStrings("@LINK", link);
        };
        const CliRun r = cli(place(row.args), com1, place(row.env), row.full);
        EXPECT_EQ(r.status, row.status) << r.err.toStdString();
        EXPECT_TRUE(QRegularExpression(QString(row.out).replace("@DEV", device),
                                       QRegularExpression::DotMatchesEverythingOption)
                        .match(r.out)
                        .hasMatch())
            << r.out.toStdString();
        EXPECT_TRUE(
            QRegularExpression(QString(row.err).replace("@DEV", device)).match(r.err).hasMatch())
            << r.err.toStdString();
        // Whatever the locale, what is meant for a machine parses.
        if (row.args.filter(QRegularExpression("^--json")).size())
            for (const QString &line : r.out.split('\n', Qt::SkipEmptyParts)) {
                QJsonParseError error;
                QJsonDocument::fromJson(line.toUtf8(), &error);
                EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
            }
        const Wire w = wire(sim);
        EXPECT_TRUE(QRegularExpression(QRegularExpression::anchoredPattern(row.wire))
                        .match(w.orders)
                        .hasMatch())
            << w.orders.toStdString();
        EXPECT_EQ(w.held, row.held);
        if (row.settle > 0 && w.ms.size() >= 2) {
            EXPECT_GE(w.ms[1] - w.ms[0], row.settle * 1000) << "the settle wait before the read";
        }
        if (!row.journal.isEmpty()) {
            const QString last = journalRows().value(journalRows().size() - 1);
            EXPECT_TRUE(QRegularExpression(row.journal).match(last).hasMatch())
                << last.toStdString();
        }
    }

    if (network) return;
    // What suggest --apply prints is what it writes, and nothing else moves.
    {
        SimProcess sim({"--fast", "--verbose"});
        ASSERT_TRUE(sim.ok());
        const CliRun r = cli({"suggest", "--apply"}, QString::fromStdString(sim.path()));
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        const auto m = QRegularExpression("^threshold=(\\d+) hysteresis=(\\d+)\n").match(r.out);
        ASSERT_TRUE(m.hasMatch()) << r.out.toStdString();
        EXPECT_EQ(wire(sim).held,
                  held("RAM", kFactory, {{0, m.captured(1).toInt()}, {1, m.captured(2).toInt()}}));
    }

    // A port another program holds: this process opens it first.
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(OpenComConfig(9, sim.path().c_str(), 4800, 0, 8, 1, 1024, 1024), 0);
    const CliRun held = cli({"check"}, QString::fromStdString(sim.path()));
    CloseCom(9);
    EXPECT_EQ(held.status, 5);
    EXPECT_TRUE(held.err.contains("in use by another program")) << held.err.toStdString();

    // Every transfer in the journal, marked as the command line's, with how it ended.
    const QStringList rows2 = journalRows();
    ASSERT_GT(rows2.size(), 10);
    static const QRegularExpression ours(",kivrel-cli,(read|written and verified|written without "
                                         "verification|verification failed),$");
    for (const QString &row : rows2.mid(1))
        EXPECT_TRUE(ours.match(row).hasMatch()) << row.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Port, CliTable, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Network" : "Local"; });

// Over the network: nobody listening, raw TCP, ser2net stopped while watch polls, and a server
// whose one line another client holds. A sensor given by its address is named by it alone.
// ser2net says why it hangs up when it can; on a loaded machine it may reset the connection
// before its words leave, so the message may end without them.
// The line is held by this process's own port, open with its line set before the command
// runs: nothing to time, however slow ser2net is to take a client.
TEST_F(CliTest, NetworkFaults)
{
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.ok());
    Ser2net rfc(sim.path(), true, dir.path().toStdString());
    Ser2net raw(sim.path(), false, dir.path().toStdString());
    ASSERT_TRUE(rfc.start() && raw.start()) << "ser2net (scripts/deps installs it)";
    const struct {
        QString port, command; // port @RFC or @RAW: ser2net's
        int status;
        QString out, err;
        int stopAfterMs = 0; // ser2net stopped this long after the start; -1: its line is held
    } rows[] = {
        {QString("rfc2217://127.0.0.1:%1").arg(Ser2net::freePort()), "check", 5, "^$",
         ": cannot open: Connection refused\n$"},
        {"@RAW", "read --json", 0,
         R"(^\{"memory":"RAM","port":null,"device":"tcp://127.0.0.1:\d+",)", ""},
        {"@RFC", "watch --count 1000", 4, "^time,seconds,[^\n]*\n([^\n]+\n){3,}$",
         ": no reply to a measurement request within 3\\.0 s\n$", 1500},
        {"@RFC", "check", 5, "^$",
         ": cannot open: the server closed the connection(: Port already in use)?\n$", -1},
    };
    for (const auto &row : rows) {
        const QString port = QString(row.port)
                                 .replace("@RFC", QString::fromStdString(rfc.address()))
                                 .replace("@RAW", QString::fromStdString(raw.address()));
        SCOPED_TRACE((port + ' ' + row.command).toStdString());
        if (row.stopAfterMs < 0) {
            ASSERT_EQ(OpenComConfig(14, rfc.address().c_str(), 4800, 0, 8, 1, 1024, 1024), 0);
        }
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(row.stopAfterMs));
            if (row.stopAfterMs > 0) rfc.stop();
        });
        const CliRun r = cli(QStringList{"--port", port} + row.command.split(' '), "");
        stopper.join();
        CloseCom(14);
        ASSERT_TRUE(rfc.start());
        EXPECT_EQ(r.status, row.status) << r.err.toStdString();
        EXPECT_TRUE(QRegularExpression(row.out).match(r.out).hasMatch()) << r.out.toStdString();
        const QString err = "^kivrel-cli: " + QRegularExpression::escape(port) + row.err;
        EXPECT_TRUE(QRegularExpression(row.err.isEmpty() ? "^$" : err).match(r.err).hasMatch())
            << r.err.toStdString();
    }
    EXPECT_TRUE(
        journalRows().last().contains(",read,RAM,," + QString::fromStdString(rfc.address())))
        << "the journal's port and device";
}

// The journal as the sensor's memory, on journals the test writes: three days, the oldest from
// before the outcome column, a second sensor, a row cut short, every outcome. log lists the
// port's sensor's rows with what each changed, the row compared with lying before --since too;
// restore --at writes exactly a row's bytes (a POWER byte no percent shows included), never a
// failed verification's; --dry-run writes nothing; diff --ram-eeprom compares the two memories.
TEST_F(CliTest, TheJournalAsTheSensorsMemory)
{
    SimProcess sim({"--fast", "--verbose"});
    ASSERT_TRUE(sim.ok());
    const QString com1 = QString::fromStdString(sim.path()), dev = com1.mid(5);
    const QString head = "time,direction,target,port,device,threshold,hysteresis,power,pmod,"
                         "hold,trigger,backlim,regcnt,average,deadtimemode,deadtime,outmode,"
                         "trshmod,deltatrsh,frei15,user,host,program";
    const auto row = [&](const char *time, const char *what, const QString &device, const char *set,
                         const char *tail) {
        return QString("2026-12-0%1+00:00,%2,1,%3,%4,%5\n").arg(time, what, device, set, tail);
    };
    const char *a = "120,150,10,0,10,0,10,10,1,1,2,0,0,20,0",
               *b = "110,140,200,0,10,0,10,10,1,1,2,0,0,20,0",
               *d = "90,140,200,0,10,0,10,10,1,1,2,0,0,20,0";
    ASSERT_TRUE(QDir().mkpath(dir.filePath("data/kivrel/journal")));
    write("data/kivrel/journal/2026-12-06.csv",
          (head + "\n" + row("6T10:00:00.000", "read,RAM", dev, a, "anna,press7,kivrel")).toUtf8());
    write("data/kivrel/journal/2026-12-07.csv",
          (head + ",outcome\n" +
           row("7T05:58:12.000", "write,RAM", dev, b,
               "anna,press7,kivrel,written without verification") +
           row("7T06:30:00.000", "write,RAM", "ttyUSB9", d,
               "bo,line4,kivrel-cli,written and verified") +
           row("7T07:00:00.000", "write,RAM", dev, d, "bo,line4,kivrel-cli,verification failed") +
           "2026-12-07T07:30:00.000+00:00,write,RAM,1," + dev + ",1,2\n")
              .toUtf8());
    write("data/kivrel/journal/2026-12-08.csv", (head + ",outcome,note\n" +
                                                 row("8T08:00:00.000", "write,EEPROM", dev, b,
                                                     "anna,press7,kivrel,written and verified,"))
                                                    .toUtf8());
    const QString changed = "threshold 120 → 110, hysteresis 150 → 140, power 78 % \\(10\\) → byte "
                            "200, outside 0 to 46";
    const struct {
        QStringList args;
        int status;
        QString out; // a regular expression
    } rows[] = {
        {{"log", "--ram"},
         0,
         "^2026-12-06 10:00:00  read RAM  read  anna@press7 kivrel  set: threshold 120, [^\n]*\n"
         "2026-12-07 05:58:12  write RAM  written without verification  anna@press7 kivrel  " +
             changed +
             "\n2026-12-07 07:00:00  write RAM  verification failed  bo@line4 kivrel-cli  "
             "threshold 110 → 90\n$"},
        {{"log", "--since", "2026-12-07 06:00", "--until", "2026-12-08 09:00"},
         0,
         "^2026-12-07 07:00:00 [^\n]* threshold 110 → 90\n2026-12-08 08:00:00  write EEPROM  "
         "written and verified  anna@press7 kivrel  set: threshold 110, [^\n]*\n$"},
        {{"log", "--eeprom", "--json"},
         0,
         R"(^\{"time":"2026-12-08T08:00:00\.000\+00:00","direction":"write","memory":"EEPROM",)"
         R"("outcome":"written and verified","user":"anna","host":"press7","program":"kivrel",)"
         R"("note":null,"values":\{"threshold":110,[^\n]*"changes":\[\{"name":"threshold",)"
         R"("from":null,"to":110\},[^\n]*\]\}\n$)"},
        {{"diff", "--ram-eeprom"}, 0, "^$"},
        {{"restore", "--at", "2026-12-06 09:59"}, 9, "^$"},
        {{"restore", "--at", "2026-12-07 07:10", "--dry-run"},
         1,
         "05:58:12 has it \\(write RAM, written without verification, anna@press7 kivrel\\):\n"
         "  threshold +120 → 110\n  hysteresis +150 → 140\n  power +78 % \\(10\\) → byte 200, "
         "outside 0 to 46\n$"},
        {{"restore", "--at", "2026-12-07 07:10"}, 0, "restored in RAM and verified\n$"},
        {{"restore", "--at", "2026-12-07 07:10"}, 0, "holds that set already; nothing written\n$"},
        {{"diff", "--ram-eeprom", "--json"},
         1,
         R"("differences":\[\{"name":"threshold","ram":110,"eeprom":120\},)"},
        // Usage errors: nothing is opened.
        {{"log", "--since", "1x"}, 2, "^$"},
        {{"log", "--since", "2026-12-08", "--until", "2026-12-07 23:59"}, 2, "^$"},
        {{"log", "--ram", "--eeprom"}, 2, "^$"},
        {{"restore"}, 2, "^$"},
        {{"restore", "--at", "yesterday"}, 2, "^$"},
        {{"diff", "--ram-eeprom", "--eeprom"}, 2, "^$"},
        {{"diff", "--ram-eeprom", "x.dat"}, 2, "^$"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.args.join(' ').toStdString());
        const CliRun run = cli(r.args, com1, {"TZ=UTC"});
        EXPECT_EQ(run.status, r.status) << run.err.toStdString();
        EXPECT_TRUE(QRegularExpression(r.out).match(run.out).hasMatch()) << run.out.toStdString();
        if (r.status == 9) {
            EXPECT_TRUE(run.err.endsWith("the earliest the journal knows is 2026-12-06 10:00:00\n"))
                << run.err.toStdString();
        }
    }
    // diff, the dry run and the restore that found nothing to do read; one restore wrote.
    const Wire w = wire(sim);
    EXPECT_EQ(w.orders, "7,3,4,7,3,7,3,1,3,7,3,7,3,4");
    EXPECT_EQ(w.held, held("RAM", kFactory, {{0, 110}, {1, 140}, {2, 200}}));
    EXPECT_TRUE(
        journalRows().filter(",written and verified,restored from 2026-12-07 05:58:12").size() ==
        1);
}

// A server's port misspelt on the command line is a usage error, and nothing is opened; in
// KIVREL_COM1 it is no command line, and fails the open.
TEST_F(CliTest, PortAddressesThatAreNone)
{
    const QString form = "not an address of the form rfc2217://HOST:PORT or tcp://HOST:PORT: ";
    const struct {
        QString port; // empty: KIVREL_COM1 holds `com1`
        QString com1;
        int status;
        QString err;
    } rows[] = {
        {"tcp://127.0.0.1", "", 2, form + "no port"},
        {"rfc2217://127.0.0.1:", "", 2, form + "no port"},
        {"tcp://127.0.0.1:0", "", 2, form + "port 0 is not 1 to 65535"},
        {"rfc2217://127.0.0.1:65536", "", 2, form + "port 65536 is not 1 to 65535"},
        {"tcp://127.0.0.1:4001/ttyS0", "", 2, form + "nothing after the port, not \"/ttyS0\""},
        {"rfc2217://admin@127.0.0.1:4001", "", 2, form + "no user before the host"},
        {"tcp://fd00::7:4001", "", 2,
         form + "no such host name (an IPv6 address goes in brackets)"},
        {"", "tcp://127.0.0.1", 5, form + "no port"},
        {"", "rfc2217://127.0.0.1:0", 5, form + "port 0 is not 1 to 65535"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE((row.port + row.com1).toStdString());
        const CliRun r = row.port.isEmpty() ? cli({"check"}, row.com1)
                                            : cli({"--port", row.port, "check"}, "/nonexistent");
        EXPECT_EQ(r.status, row.status);
        const QString where = row.port.isEmpty() ? "COM1 (" + row.com1 + "): cannot open: "
                                                 : "--port " + row.port + ": ";
        EXPECT_EQ(r.err, "kivrel-cli: " + where + row.err + "\n");
        EXPECT_EQ(r.out, "");
    }
}

// watch ends after the row in hand on SIGTERM, and quietly when its reader goes: every row whole.
TEST_F(CliTest, WatchEndsWithEveryRowComplete)
{
    SimProcess sim({"--fast", "--rate", "10"});
    ASSERT_TRUE(sim.ok());
    static const QRegularExpression row(
        R"(^\d{4}-\d\d-\d\dT[\d:.]+[+-]\d\d:\d\d,\d+\.\d{3}(,\d+){8}(,\d*){2}$)");
    auto wholeRows = [](const QString &out, int atLeast) {
        QStringList lines = out.split('\n');
        EXPECT_TRUE(lines.last().isEmpty()) << "the last row ends with its line end";
        lines.removeLast();
        EXPECT_GE(lines.size(), atLeast + 1);
        EXPECT_TRUE(lines.value(0).startsWith("time,seconds,dat0"));
        for (const QString &line : lines.mid(1))
            EXPECT_TRUE(row.match(line).hasMatch()) << line.toStdString();
    };

    QProcess watch;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KIVREL_COM1", QString::fromStdString(sim.path()));
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    watch.setProcessEnvironment(env);
    watch.start(KIVREL_CLI, {"watch"});
    QByteArray out;
    while (out.count('\n') < 6 && watch.waitForReadyRead(10000))
        out += watch.readAllStandardOutput();
    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(10000));
    out += watch.readAllStandardOutput();
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0) << watch.readAllStandardError().toStdString();
    wholeRows(QString::fromUtf8(out), 5);

    QProcess pipe;
    pipe.setProcessEnvironment(env);
    pipe.start("bash",
               {"-c", QString("'%1' watch | head -n 4; exit ${PIPESTATUS[0]}").arg(KIVREL_CLI)});
    ASSERT_TRUE(pipe.waitForFinished(20000));
    EXPECT_EQ(pipe.exitCode(), 0) << pipe.readAllStandardError().toStdString();
    wholeRows(QString::fromUtf8(pipe.readAllStandardOutput()), 3);
}
