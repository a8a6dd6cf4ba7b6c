// Bad input on every path the operator controls: parameter files, the port number and the
// panel file the program starts from.
#include "sim_fixture.h"

#include <QApplication>
#include <QProcess>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <climits>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kivrel;
using namespace kivrel::test;

namespace
{

const char kNotLoadedFew[] = "File not loaded: fewer than 15 values";
const char kNotLoadedMany[] = "File not loaded: more than 15 values";
const char kNotLoadedValue[] = "File not loaded: values must be 0 to 255";
const char kNotLoadedOpen[] = "File not loaded: cannot open it";
const char kNotLoadedLarge[] = "File not loaded: too large";
const char kNotSaved[] = "File not saved: cannot write it";

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray randomBytes(int n, unsigned seed)
{
    const Bytes b = pseudoRandom(n, seed);
    return QByteArray(reinterpret_cast<const char *>(b.data()), qsizetype(b.size()));
}

// Runs `f` with the file-system rights of an ordinary user on this thread, so permission
// bits count even when the tests run as root.
template <class F> void asOrdinaryUser(F f)
{
    const bool root = ::geteuid() == 0;
    if (root) ::setfsuid(65534);
    f();
    if (root) ::setfsuid(0);
}

} // namespace

// ---- Parameter files -------------------------------------------------------------------------

class ParameterFile : public SensorTest
{
  protected:
    void SetUp() override
    {
        SensorTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        setProjectDir(dir.path());
        click(PANEL_FILE);
        ASSERT_EQ(target, DATFILE);
        SetCtrlVal(panel, PANEL_THRESHOLD, 44); // an unsent edit that must survive
        pp[0] = 9;
        CopyPPtoVars();
        popups->clear();
    }
    QString path(const char *name) const { return dir.filePath(name); }

    // Loads `file` through the Get button and the file dialog; returns the status line.
    QString load(const QString &file)
    {
        SetCtrlVal(panel, PANEL_STATUS, "before");
        popups->answerFileDialog(file);
        const Stopwatch watch;
        click(BUTTON_GET);
        EXPECT_LT(watch.seconds(), 0.1 + 2.0) << "a bad file is refused quickly";
        return status();
    }

    QTemporaryDir dir;
};

TEST_F(ParameterFile, BadContentsLoadNothingAndSayWhy)
{
    QByteArray fifteen = "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15";
    struct Case {
        const char *name;
        QByteArray contents;
        const char *status;
    };
    const Case cases[] = {
        {"empty", "", kNotLoadedFew},
        {"blanks only", " \n\t\r\n ", kNotLoadedFew},
        {"binary", randomBytes(4096, 0x9E3779B9u), kNotLoadedValue},
        {"binary with NULs", QByteArray(1000, '\0'), kNotLoadedValue},
        {"fourteen values", "1 2 3 4 5 6 7 8 9 10 11 12 13 14", kNotLoadedFew},
        {"sixteen values", fifteen + " 16", kNotLoadedMany},
        {"negative", "-1 2 3 4 5 6 7 8 9 10 11 12 13 14 15", kNotLoadedValue},
        {"256", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 256", kNotLoadedValue},
        {"over 2^32", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 4294967297", kNotLoadedValue},
        {"plus sign", "+1 2 3 4 5 6 7 8 9 10 11 12 13 14 15", kNotLoadedValue},
        {"hex", "0x10 2 3 4 5 6 7 8 9 10 11 12 13 14 15", kNotLoadedValue},
        {"decimal point", "1.5 2 3 4 5 6 7 8 9 10 11 12 13 14 15", kNotLoadedValue},
        {"comma separated", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15", kNotLoadedValue},
        {"UTF-8 byte order mark", "\xEF\xBB\xBF" + fifteen, kNotLoadedValue},
        {"64 KiB + 1 of blanks", QByteArray(64 * 1024 + 1, ' '), kNotLoadedLarge},
    };
    const Snapshot before = snapshot();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFile(path("bad.dat"), c.contents));
        EXPECT_EQ(load(path("bad.dat")), c.status);
        EXPECT_EQ(describe(before, snapshot()), "unchanged");
    }
    // The control: a good file with every kind of blank loads.
    ASSERT_TRUE(writeFile(path("good.dat"), "1\r\n2\t3 4 5 6 7 8 9 10 11 12 13 14 255\n"));
    EXPECT_EQ(load(path("good.dat")), "File loaded: good.dat");
    EXPECT_EQ(pp[14], 255);
    EXPECT_EQ(frei15, 255);
    EXPECT_EQ(byteValue(PANEL_THRESHOLD), 1);
    EXPECT_EQ(popups->count(), int(std::size(cases)) + 1) << "only the file dialogs";
}

TEST_F(ParameterFile, AHundredMegabyteFileIsRefusedUnread)
{
    const QByteArray name = QFile::encodeName(path("huge.dat"));
    const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n", 36), 36);
    ASSERT_EQ(::ftruncate(fd, 100L * 1024 * 1024), 0); // sparse: no disk, no time
    ::close(fd);
    const Snapshot before = snapshot();
    EXPECT_EQ(load(path("huge.dat")), kNotLoadedLarge);
    EXPECT_EQ(describe(before, snapshot()), "unchanged");
}

TEST_F(ParameterFile, FilesThatCannotBeOpenedLoadNothing)
{
    const Snapshot before = snapshot();
    // Gone between the dialog and the read.
    EXPECT_EQ(load(path("missing.dat")), kNotLoadedOpen);
    // A link to nowhere.
    ASSERT_EQ(::symlink("/nonexistent/kivrel.dat", QFile::encodeName(path("dangling.dat"))), 0);
    EXPECT_EQ(load(path("dangling.dat")), kNotLoadedOpen);
    // No read permission; as root only an ordinary user's rights make the bits count.
    ASSERT_TRUE(writeFile(path("locked.dat"), "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15"));
    ::chmod(QFile::encodeName(path("locked.dat")).constData(), 0);
    QString seen;
    asOrdinaryUser([&] { seen = load(path("locked.dat")); });
    EXPECT_EQ(seen, kNotLoadedOpen);
    EXPECT_EQ(describe(before, snapshot()), "unchanged");
}

// Special files picked in the dialog: a named pipe without a writer, a terminal without
// carrier and endless devices must neither hang nor load.
TEST_F(ParameterFile, SpecialFilesAreRefusedWithoutWaiting)
{
    const Snapshot before = snapshot();
    const QByteArray pipe = QFile::encodeName(path("pipe.dat"));
    ASSERT_EQ(::mkfifo(pipe.constData(), 0644), 0);
    // Should a load wait on the pipe or the terminal again, this ends the wait every few
    // seconds, so the test fails instead of hanging.
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        while (!changed.wait_for(lock, std::chrono::seconds(4), [&] { return done; })) {
            const int fd = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
            peer->hangUp();
        }
    });
    struct Join {
        std::mutex &m;
        std::condition_variable &c;
        bool &d;
        std::thread &t;
        ~Join()
        {
            {
                std::lock_guard lock(m);
                d = true;
            }
            c.notify_all();
            t.join();
        }
    } join{mutex, changed, done, watchdog};

    EXPECT_EQ(load(path("pipe.dat")), kNotLoadedOpen);
    ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(path("zero.dat"))), 0);
    EXPECT_EQ(load(path("zero.dat")), kNotLoadedOpen);
    ASSERT_EQ(::symlink(peer->slavePath().c_str(), QFile::encodeName(path("tty.dat"))), 0);
    EXPECT_EQ(load(path("tty.dat")), kNotLoadedOpen);
    EXPECT_EQ(describe(before, snapshot()), "unchanged");
    EXPECT_TRUE(peer->received().empty());
}

// The dialog itself refuses some choices: a directory is opened rather than chosen, a path
// longer than the program's buffer is not handed over. Nothing is loaded, nothing is said.
TEST_F(ParameterFile, ChoicesTheDialogRefusesChangeNothing)
{
    const Snapshot before = snapshot();
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.dat"));
    EXPECT_EQ(load(path("folder.dat")), "before");
    QString deep = dir.path();
    while (QFile::encodeName(deep).size() < MAX_PATHNAME_LEN + 10)
        deep += "/abcdefghijklmnopqrstuvwxyz0123456789";
    ASSERT_TRUE(QDir().mkpath(deep));
    ASSERT_TRUE(writeFile(deep + "/long.dat", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15"));
    EXPECT_EQ(load(deep + "/long.dat"), "before");
    EXPECT_EQ(describe(before, snapshot()), "unchanged");
}

// ---- Saving where it cannot be done ----------------------------------------------------------

class SaveFile : public ParameterFile
{
  protected:
    // Saves through the Send button and the file dialog; returns the status line.
    QString save(const QString &file, int threshold)
    {
        SetCtrlVal(panel, PANEL_THRESHOLD, threshold);
        SetCtrlVal(panel, PANEL_STATUS, "before");
        popups->answerFileDialog(file);
        click(BUTTON_SEND);
        return status();
    }
    static QByteArray contents(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
};

TEST_F(SaveFile, AFullDiskKeepsTheOldFileAndSaysSo)
{
    const QString mountPoint = path("small");
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    const QByteArray mp = QFile::encodeName(mountPoint);
    if (::mount("tmpfs", mp.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root); test_app_commands "
                        "covers a failed write with a file-size limit";
    struct Unmount {
        QByteArray at;
        ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
    } unmount{mp};

    const QString file = mountPoint + "/keep.dat";
    ASSERT_EQ(save(file, 12), "File saved: keep.dat");
    const QByteArray first = contents(file);
    ASSERT_TRUE(first.startsWith("  12\n"));
    // Fill the disk to the last block.
    QFile filler(mountPoint + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(1024, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();

    EXPECT_EQ(save(file, 13), kNotSaved);
    EXPECT_EQ(contents(file), first);
    EXPECT_EQ(save(mountPoint + "/new.dat", 14), kNotSaved);
    EXPECT_FALSE(QFile::exists(mountPoint + "/new.dat")) << "no half-written file is left";
    const QStringList left = QDir(mountPoint).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, (QStringList{"filler", "keep.dat"})) << "no temporary file is left";

    // Room again: the save works.
    ASSERT_TRUE(QFile::remove(mountPoint + "/filler"));
    EXPECT_EQ(save(file, 15), "File saved: keep.dat");
    EXPECT_TRUE(contents(file).startsWith("  15\n"));
}

TEST_F(SaveFile, AFolderWithoutWriteRightsKeepsTheOldFileAndSaysSo)
{
    const QString locked = path("locked");
    ASSERT_TRUE(QDir().mkpath(locked));
    const QString file = locked + "/keep.dat";
    ASSERT_EQ(save(file, 12), "File saved: keep.dat");
    const QByteArray first = contents(file);
    ::chmod(QFile::encodeName(locked).constData(), 0555);
    QString seen;
    asOrdinaryUser([&] { seen = save(file, 13); });
    EXPECT_EQ(seen, kNotSaved);
    EXPECT_EQ(contents(file), first);
}

// ---- Files written whole -----------------------------------------------------------------------

namespace
{

// The folders above `dir` open to others for the while, so that an ordinary user reaches it.
struct Reachable {
    explicit Reachable(QString dir)
    {
        for (; dir.size() > 1; dir = QFileInfo(dir).path()) {
            const QByteArray name = QFile::encodeName(dir);
            struct stat st {
            };
            if (::stat(name.constData(), &st) == 0 && !(st.st_mode & S_IXOTH) &&
                ::chmod(name.constData(), (st.st_mode & 07777) | S_IXOTH) == 0)
                undo.push_back({name, st.st_mode & 07777});
        }
    }
    ~Reachable()
    {
        for (const auto &[name, mode] : undo)
            ::chmod(name.constData(), mode);
    }
    std::vector<std::pair<QByteArray, mode_t>> undo;
};

} // namespace

// Yesterday's report at the target of an export or of `read --json -o` that cannot be written
// whole stays byte for byte, with nothing beside it, and the reason is said: a full disk, a
// folder its user may not write (QSaveFile asks the real user, so the program runs as another),
// and /dev/full through a link, written directly and left a device.
TEST(WholeFiles, AWriteThatFailsLeavesTheFileThatWasThere)
{
    QTemporaryDir dir;
    const Reachable reachable(dir.path());
    const QString rec = dir.filePath("rec.csv"), small = dir.filePath("small");
    ASSERT_TRUE(writeFile(rec, "time,seconds,dat0,dat1,norm,threshold,hysteresis,in0_period,"
                               "active_window,edge_time,active_percent,edge_percent\n"
                               "2026-12-08T09:16:05.420+01:00,0.000,166,97,160,120,150,0,0,0,,\n"));
    ASSERT_TRUE(QDir().mkpath(small) && QDir().mkpath(dir.filePath("locked")));
    const QByteArray mp = QFile::encodeName(small);
    if (::mount("tmpfs", mp.constData(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    struct Unmount {
        QByteArray at;
        ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
    } unmount{mp};
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.ok());
    const QStringList reader{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    QProcess probe;
    probe.start(reader.first(), reader.mid(1) + QStringList{"true"});
    const bool asUser = probe.waitForFinished(5000) && probe.exitCode() == 0;

    const QByteArray old = "yesterday's report\n";
    const QStringList view{KIVREL_PROGRAM, "--view", rec, "--export"};
    const struct {
        const char *name;
        QStringList command;
        int code;
    } exporters[] = {
        {"report.pdf", view, 1},
        {"report.png", view, 1},
        {"span.csv", view, 1},
        {"set.json",
         {KIVREL_CLI, "--port", QString::fromStdString(sim.path()), "read", "--json", "-o"},
         7}};
    for (const auto &e : exporters) {
        ASSERT_TRUE(writeFile(small + "/" + e.name, old));
        const QString locked = dir.filePath(QString("locked/") + e.name);
        ASSERT_TRUE(writeFile(locked, old));
        ::chmod(QFile::encodeName(locked).constData(),
                0666); // the file may be written, not its folder
        ASSERT_TRUE(QFile::link("/dev/full", dir.filePath(QString("dev-") + e.name)));
    }
    QFile filler(small + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(1024, 'x')) == 1024 && filler.flush()) {
    }
    filler.close();
    ::chmod(QFile::encodeName(dir.filePath("locked")).constData(), 0755);

    const struct {
        const char *where, *reason;
        bool asUser;
    } conditions[] = {{"small/", "No space left on device", false},
                      {"dev-", "No space left on device", false},
                      {"locked/", "Permission denied", true}};
    for (const auto &c : conditions)
        for (const auto &e : exporters) {
            // The simulator's port is root's: the command line's writer is the same code.
            if (c.asUser && (!asUser || e.code == 7)) continue;
            const QString target = dir.filePath(c.where + QString(e.name));
            SCOPED_TRACE(target.toStdString());
            const QString folder = QFileInfo(target).path();
            const QStringList before = QDir(folder).entryList(QDir::Files | QDir::System);
            const QStringList args =
                (c.asUser ? reader : QStringList()) + e.command + QStringList{target};
            QProcess p;
            p.start(args.first(), args.mid(1));
            ASSERT_TRUE(p.waitForFinished(30000));
            EXPECT_EQ(p.exitCode(), e.code);
            const QString err = QString::fromLocal8Bit(p.readAllStandardError());
            EXPECT_TRUE(err.contains(target + ": ") &&
                        err.endsWith(": " + QString(c.reason) + "\n"))
                << err.toStdString();
            EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::System), before);
            struct stat st {
            };
            if (QFileInfo(target).isSymLink())
                EXPECT_TRUE(::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode));
            else {
                QFile kept(target);
                EXPECT_TRUE(kept.open(QIODevice::ReadOnly) && kept.readAll() == old);
            }
        }
}

// ---- Port numbers ----------------------------------------------------------------------------

using PortNumber = SensorTest;

TEST_F(PortNumber, NumbersOutsideOneTo255AreInvalidAndTouchNothing)
{
    for (int port : {0, 256, -1, INT_MAX, INT_MIN, 1000}) {
        SCOPED_TRACE(port);
        const Snapshot before = snapshot();
        InitRS232(port);
        EXPECT_EQ(status(), "Invalid port number");
        EXPECT_EQ(ret, RS232_INVALID_PORT);
        EXPECT_EQ(describe(before, snapshot()), "unchanged");
    }
    // A read on an invalid number reports within its limit, it does not crash.
    com = INT_MAX;
    const Stopwatch watch;
    GetPara();
    EXPECT_LT(watch.seconds(), 3.0 + kMarginSeconds);
    EXPECT_EQ(reports(), 1);
    popups->clear();
    com = 1;
    EXPECT_EQ(popups->count(), 0);
    EXPECT_TRUE(peer->received().empty());
}

TEST_F(PortNumber, NumbersAtTheEdgesOpenTheirOwnDevice)
{
    for (int port : {16, 17, 255}) {
        SCOPED_TRACE(port);
        const std::string var = "KIVREL_COM" + std::to_string(port);
        ::setenv(var.c_str(), "/nonexistent/ttyKIVREL", 1);
        InitRS232(port);
        EXPECT_EQ(status(), "No serial port found");
        ::unsetenv(var.c_str());

        // Every caller opens the port the program addresses (com); the line check writes to it.
        com = port;
        peer->mapToCom(port);
        peer->answer(7, Reply(kLineOk));
        peer->answer(3, Reply(kParams));
        InitRS232(com);
        EXPECT_EQ(status(), kLineOkText);
        EXPECT_EQ(Bytes(pp, pp + AnzPara), kParams);
        CloseCom(port);
        ::unsetenv(var.c_str());
    }
    com = 1;
    EXPECT_EQ(popups->count(), 0);
}

TEST_F(PortNumber, TheSelectorHoldsOnlyComOneToSixteen)
{
    for (int value : {17, 0, -1, 256, INT_MAX}) {
        EXPECT_LT(SetCtrlVal(panel, PANEL_COMPORT, value), 0) << value;
        EXPECT_EQ(intValue(PANEL_COMPORT), 1) << value;
    }
    // The last entry connects to its own device.
    peer->mapToCom(16);
    peer->answer(7, Reply(kLineOk));
    peer->answer(3, Reply(kParams));
    pickPort(16);
    EXPECT_EQ(com, 16);
    EXPECT_EQ(status(), kLineOkText);
    EXPECT_EQ(popups->count(), 0);
    CloseCom(16);
    ::unsetenv("KIVREL_COM16");
}

// ---- The panel file the program starts from -------------------------------------------------

namespace
{

QByteArray realPanelFile()
{
    QFile f(kPanelFile); // copied beside the test
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct PanelCase {
    const char *name;
    std::function<QByteArray(const QByteArray &)> make; // null: no panel file at all
    int loadCode;
};

std::vector<PanelCase> panelCases()
{
    return {
        {"missing", nullptr, UIE_PANEL_FILE_NOT_FOUND},
        {"empty", [](const QByteArray &) { return QByteArray(); }, UIE_BAD_PANEL_FILE},
        {"truncated", [](const QByteArray &real) { return real.left(real.size() / 2); },
         UIE_BAD_PANEL_FILE},
        {"binary", [](const QByteArray &) { return randomBytes(4096, 7); }, UIE_BAD_PANEL_FILE},
        {"unknown callback",
         [](const QByteArray &real) {
             QByteArray b = real;
             return b.replace("<string>CBF_ButtonGo</string>", "<string>CBF_ButtonGone</string>");
         },
         UIE_UNKNOWN_CALLBACK},
        {"unknown panel callback",
         [](const QByteArray &real) {
             QByteArray b = real;
             return b.replace("<string>CBF_P</string>", "<string>CBF_Q</string>");
         },
         UIE_UNKNOWN_CALLBACK},
        {"other panel id",
         [](const QByteArray &real) {
             QByteArray b = real;
             return b.replace("<property name=\"panelId\" stdset=\"0\"><number>1</number>",
                              "<property name=\"panelId\" stdset=\"0\"><number>2</number>");
         },
         UIE_BAD_PANEL_FILE},
    };
}

int visibleWindows()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += w->isVisible();
    return n;
}

} // namespace

TEST(PanelFile, BrokenPanelFilesAreRefusedAndShowNothing)
{
    ASSERT_NE(InitCVIRTE(nullptr, &kivrel::NameTable, nullptr), 0);
    const QByteArray real = realPanelFile();
    ASSERT_FALSE(real.isEmpty());
    ASSERT_TRUE(real.contains("<string>CBF_ButtonGo</string>"));
    ASSERT_TRUE(real.contains("<string>CBF_P</string>"));
    QTemporaryDir dir;
    const int windows = visibleWindows();
    for (const PanelCase &c : panelCases()) {
        SCOPED_TRACE(c.name);
        const QString file = dir.filePath(QString("%1.uir").arg(c.name).replace(' ', '_'));
        if (c.make) {
            const QByteArray bytes = c.make(real);
            ASSERT_NE(bytes, real);
            ASSERT_TRUE(writeFile(file, bytes));
        }
        EXPECT_EQ(LoadPanel(0, QFile::encodeName(file).constData(), kivrel::PANEL), c.loadCode);
        EXPECT_EQ(visibleWindows(), windows);
    }
}

TEST(PanelFile, TheProgramWithABrokenPanelFileEndsWithMinusOneAndOpensNoPort)
{
    const QByteArray real = realPanelFile();
    ASSERT_FALSE(real.isEmpty());
    for (const PanelCase &c : panelCases()) {
        SCOPED_TRACE(c.name);
        SensorPeer peer;
        ASSERT_TRUE(peer.ok());
        QTemporaryDir dir;
        ASSERT_TRUE(QFile::copy(KIVREL_PROGRAM, dir.filePath("kivrel")));
        ASSERT_TRUE(QFile::copy("Orbeck.bmp", dir.filePath("Orbeck.bmp")));
        if (c.make) {
            ASSERT_TRUE(writeFile(dir.filePath("Kivrelv40.uir"), c.make(real)));
        }
        QProcess program;
        program.setProcessEnvironment(programEnvironment(peer));
        program.setWorkingDirectory(dir.path());
        program.start(dir.filePath("kivrel"), {});
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 255);
        EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
        spin(0.05);
        EXPECT_TRUE(peer.received().empty()) << "no telegram, so no port was opened";
    }
}
