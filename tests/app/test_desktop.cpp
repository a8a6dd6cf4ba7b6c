// The tool on a Linux desktop: ports that say what they are and keep their numbers, the command
// line, termination with a modal window open, and where the file dialogs start.
#include "sensor_fixture.h"

#include "parafile.h"
#include "runhistory.h"
#include "ports_p.h"
#include "runtime_p.h"
#include "portselector.h"
#include "timeview_test.h"

#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kivrel;
using namespace kivrel::test;
using platform::MachinePort;

namespace
{

const MachinePort kOnboard0{"/dev/ttyS0", "", "", ""};
const MachinePort kOnboard1{"/dev/ttyS1", "", "", ""};
const MachinePort kOnboard2{"/dev/ttyS2", "", "", ""};
const MachinePort kOnboard10{"/dev/ttyS10", "", "", ""};
const MachinePort kArduino{"/dev/ttyACM0", "Arduino Uno", "A1",
                           "/dev/serial/by-id/usb-Arduino_Uno_A1-if00"};
const MachinePort kFtdi{"/dev/ttyUSB3", "FT232R USB UART", "B2",
                        "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_B2-if00-port0"};
const MachinePort kProlific{"/dev/ttyUSB0", "USB-Serial Controller", "",
                            "/dev/serial/by-id/usb-Prolific_USB-Serial-if00-port0"};

// The machine's ports as a test says, for as long as it lives.
class FakePorts
{
  public:
    FakePorts()
    {
        platform::setPortLister([this] { return ports; });
    }
    ~FakePorts() { platform::setPortLister({}); }
    QList<MachinePort> ports;
};

// Reads a running program's stderr into *err until it holds `text`, for 20 s at most.
bool readUntil(QProcess &program, const QString &text, QString *err)
{
    const Stopwatch watch;
    while (!err->contains(text) && watch.seconds() < 20.0) {
        program.setReadChannel(QProcess::StandardError);
        program.waitForReadyRead(100);
        *err += QString::fromLocal8Bit(program.readAllStandardError());
    }
    return err->contains(text);
}

// Sets an environment variable for as long as it lives.
class EnvVar
{
  public:
    EnvVar(const char *name, const QByteArray &value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvVar()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

  private:
    const char *name_;
    bool had_;
    QByteArray old_;
};

} // namespace

// Adapters come first in the order of their stable names, on-board ports after them; a port
// that goes keeps its number free, and comes back to it under whatever kernel name it gets.
TEST(PortNumbers, FollowStableIdentityAndSurviveReplugging)
{
    struct Step {
        QList<MachinePort> present;
        std::vector<const char *> com; // devices of COM 1, 2, ...
    };
    MachinePort ftdiBack = kFtdi;
    ftdiBack.location = "/dev/ttyUSB1";
    const Step steps[] = {
        {{kOnboard1, kFtdi, kOnboard0, kArduino},
         {"/dev/ttyACM0", "/dev/ttyUSB3", "/dev/ttyS0", "/dev/ttyS1", ""}},
        {{kOnboard1, kOnboard0, kArduino}, // the FTDI adapter pulled out
         {"/dev/ttyACM0", "", "/dev/ttyS0", "/dev/ttyS1", ""}},
        {{kOnboard1, kOnboard0, kArduino, kProlific}, // another plugged in meanwhile
         {"/dev/ttyACM0", "", "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"}},
        {{kOnboard1, kOnboard0, kArduino, kProlific, ftdiBack}, // back as ttyUSB1
         {"/dev/ttyACM0", "/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"}},
        {{kOnboard10, kOnboard1, kOnboard0, kArduino, kProlific, ftdiBack, kOnboard2}, // 2 < 10
         {"/dev/ttyACM0", "/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0", "/dev/ttyS2",
          "/dev/ttyS10"}},
    };
    const EnvVar com1("KIVREL_COM1", QByteArray()); // no number taken by a mapping
    FakePorts machine;
    for (std::size_t i = 0; i < std::size(steps); i++) {
        SCOPED_TRACE(testing::Message() << "step " << i);
        machine.ports = steps[i].present;
        for (std::size_t n = 0; n < steps[i].com.size(); n++)
            EXPECT_EQ(platform::comDevice(int(n) + 1), steps[i].com[n]) << "COM" << n + 1;
    }
    EXPECT_EQ(platform::comDescription(2), "ttyUSB1 \u00B7 FT232R USB UART \u00B7 B2");
    EXPECT_EQ(platform::comDescription(3), "ttyS0");
    EXPECT_EQ(platform::comDescription(9), "\u2014");
}

// A number KIVREL_COM<n> (or --port) maps belongs to its mapping: the machine's ports take the
// other numbers, and the mapped device is not listed a second time.
TEST(PortNumbers, AMappedNumberBelongsToItsMapping)
{
    for (const QByteArray &mapped : {kFtdi.location.toLocal8Bit(), kFtdi.byId.toLocal8Bit()}) {
        SCOPED_TRACE(mapped.constData());
        FakePorts machine;
        machine.ports = {kOnboard0, kFtdi, kArduino};
        const EnvVar com1("KIVREL_COM1", QByteArray());
        const EnvVar com2("KIVREL_COM2", mapped);
        const char *expected[] = {"/dev/ttyACM0", mapped.constData(), "/dev/ttyS0", ""};
        for (int n = 1; n <= 4; n++)
            EXPECT_EQ(platform::comDevice(n), expected[n - 1]) << "COM" << n;
    }
}

class PortSelectorTest : public SensorTest
{
  protected:
    QString item(int n)
    {
        auto *box = qobject_cast<QComboBox *>(widget(PANEL_COMPORT));
        return box->itemText(box->findData(n));
    }
    FakePorts machine;
};

// The list is labelled afresh each time it opens; values stay the numbers. A device the user
// may not open says what to do about it, while the status line keeps its text.
TEST_F(PortSelectorTest, NamesDevicesWhenOpenedAndTellsOfMissingAccess)
{
    auto *selector = qobject_cast<platform::PortSelector *>(widget(PANEL_COMPORT));
    ASSERT_NE(selector, nullptr);
    QTemporaryDir home;
    {
        const EnvVar homeVar("HOME", home.path().toLocal8Bit());
        const EnvVar com1("KIVREL_COM1", QByteArray()); // the machine's own COM 1
        const EnvVar com5("KIVREL_COM5", (home.path() + "/sim/com5").toLocal8Bit());
        machine.ports = {kFtdi};
        selector->showPopup();
        selector->hidePopup();
        EXPECT_EQ(item(1), "COM1  ttyUSB3 \u00B7 FT232R USB UART \u00B7 B2");
        EXPECT_EQ(item(5), "COM5  ~/sim/com5");
        EXPECT_EQ(item(6), "COM6  \u2014");
        machine.ports = {kArduino, kFtdi}; // plugged in after start-up
        selector->showPopup();
        selector->hidePopup();
        EXPECT_EQ(item(1), "COM1  ttyUSB3 \u00B7 FT232R USB UART \u00B7 B2") << "kept its number";
        EXPECT_EQ(item(2), "COM2  ttyACM0 \u00B7 Arduino Uno \u00B7 A1");
    }

    // The scripted sensor's terminal, closed to this user: root acts as an ordinary user.
    const QByteArray device = QByteArray::fromStdString(peer->slavePath());
    ASSERT_EQ(::chmod(device.constData(), geteuid() == 0 ? 0600 : 0), 0);
    if (geteuid() == 0) ::setfsuid(65534);
    pickPort(1);
    if (geteuid() == 0) ::setfsuid(0);
    EXPECT_EQ(status(), "Cannot open port");
    EXPECT_TRUE(item(1).endsWith("no access: add the user to the dialout group"))
        << item(1).toStdString();
    ::chmod(device.constData(), 0620);
    peer->answer(7, Reply(kLineOk));
    peer->answer(3, Reply(kParams));
    pickPort(1);
    EXPECT_EQ(status(), kLineOkText);
    EXPECT_FALSE(item(1).contains("no access")) << item(1).toStdString();
}

// ---- The command line, against the built program ------------------------------------------

TEST(CommandLine, AnswersOrRunsAsAsked)
{
    SensorPeer peer;
    ASSERT_TRUE(peer.ok());
    struct Case {
        QStringList args;
        int status; // -1: runs until told to end
        const char *out, *err;
    };
    const QString device = QString::fromStdString(peer.slavePath());
    const Case cases[] = {
        {{"--help"}, 0, "Usage: kivrel [--port DEVICE]", ""},
        {{"-h"}, 0, "Usage: kivrel [--port DEVICE]", ""},
        {{"--version"}, 0, "kivrel 4.0.0\n", ""},
        {{"--bogus"}, 2, "", "Unknown option 'bogus'"},
        {{"stray"}, 2, "", "unexpected argument 'stray'"},
        {{"--port"}, 2, "", "Missing value after '--port'"},
        // The option wins over the variable, which names nothing here.
        {{"--port", device, "-platform", "offscreen"}, -1, "", ""},
        {{}, -1, "", "kivrel: COM1 (/nonexistent/tty): cannot open: no such device"},
    };
    QString early; // what a running program wrote on stderr while the test waited for it
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        peer.clearReceived();
        QProcess program;
        QProcessEnvironment env = programEnvironment(peer);
        env.insert("KIVREL_COM1", "/nonexistent/tty");
        program.setProcessEnvironment(env);
        program.start(KIVREL_PROGRAM, c.args);
        ASSERT_TRUE(program.waitForStarted(5000));
        if (c.status < 0) {
            if (!c.args.isEmpty()) {
                EXPECT_TRUE(peer.waitForTelegrams(1, milliseconds(10000)));
                EXPECT_EQ(peer.telegrams().at(0).order(), 7) << "the line check, on DEVICE";
            } else {
                EXPECT_TRUE(readUntil(program, c.err, &early)) << "the start-up line on stderr";
            }
            program.terminate();
        }
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitCode(), c.status < 0 ? 0 : c.status);
        const QString out = program.readAllStandardOutput();
        const QString err = early + program.readAllStandardError();
        early.clear();
        EXPECT_TRUE(out.contains(c.out)) << out.toStdString();
        EXPECT_TRUE(err.contains(c.err)) << err.toStdString();
        if (c.status == 2) {
            EXPECT_TRUE(err.contains("Usage: kivrel")) << "usage on stderr";
        }
    }
}

// ---- Termination with a modal window open ------------------------------------------------

// No sensor answers: the TIMEOUT popup is open when the request comes.
TEST(Termination, EndsTheProgramWithThePopupOpen)
{
    SensorPeer peer;
    ASSERT_TRUE(peer.ok());
    QProcess program;
    QProcessEnvironment env = programEnvironment(peer);
    env.insert("KIVREL_TRACE_POPUPS", "1");
    program.setProcessEnvironment(env);
    program.start(KIVREL_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted(5000));
    ASSERT_TRUE(peer.waitForTelegrams(1, milliseconds(10000)));
    QString err;
    ASSERT_TRUE(readUntil(program, "kivrel: popup INFO", &err))
        << "the line check's 3 s, then the popup";
    ASSERT_EQ(program.state(), QProcess::Running);
    const Stopwatch watch;
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(5000)) << "the popup held the request";
    std::printf("SIGTERM to exit with the popup open: %.0f ms\n", watch.seconds() * 1000);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

// In process, with the real handler: the request answers the open window and closes the panel
// the program's way, so its event loop then ends at once.
class TerminationTest : public SensorTest
{
  protected:
    void SetUp() override
    {
        SensorTest::SetUp();
        safety_.setSingleShot(true);
        // Should the request fail to answer it, the window is closed here and the test fails.
        QObject::connect(&safety_, &QTimer::timeout, [this] {
            failed = true;
            platform::closeModalWindows();
            kivrel::poll = 0;
        });
    }
    void TearDown() override
    {
        safety_.stop();
        platform::answerTerminationAgain();
        SensorTest::TearDown();
    }
    void terminateIn(int ms)
    {
        after(ms, [] { ::raise(SIGTERM); });
        safety_.start(ms + 3000);
    }
    bool failed = false;

  private:
    QTimer safety_;
};

TEST_F(TerminationTest, AnswersTheFileDialogAndPolling)
{
    connect();
    popups.reset(); // the dialog stays open until the request comes
    QTemporaryDir folder;
    setProjectDir(folder.path());
    click(PANEL_FILE);
    const Snapshot before = snapshot();
    terminateIn(300);
    click(BUTTON_GET); // opens the load dialog
    EXPECT_FALSE(failed);
    EXPECT_EQ(describe(before, snapshot()), "unchanged") << "cancelled: nothing loaded";
    EXPECT_TRUE(runProgramLoop(1.0)) << "the close was delivered";

    platform::answerTerminationAgain();
    click(PANEL_RAM);
    peer->answerAlways(5, Reply(record(90, 101)));
    terminateIn(500);
    click(BUTTON_GO);
    EXPECT_FALSE(failed);
    EXPECT_EQ(kivrel::poll, 0);
    EXPECT_GT(telegrams().size(), 2u) << "it polled until the request";
    EXPECT_TRUE(runProgramLoop(1.0));
}

// With a dialog open that does not hold polling (Export...), while polling with REC on: the
// dialog is answered, the program ends its way, and the recording is whole.
TEST_F(TerminationTest, EndsWithTheExportDialogOpenAndTheRecordingWhole)
{
    connect();
    QTemporaryDir folder;
    setProjectDir(folder.path());
    popups->answerFileDialog(folder.filePath("run.csv"));
    click(PANEL_REC);
    ASSERT_TRUE(popups->waitForDialogs());
    popups.reset(); // the next dialog stays open until the request comes
    ShowHistory();
    peer->answerAlways(5, Reply(record(90, 101)));
    bool opened = false;
    after(300, [&] {
        probe(platform::timeViewWindow(HistoryView())).exportMenu()->actions()[0]->trigger();
        opened = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()) != nullptr;
    });
    terminateIn(800);
    click(BUTTON_GO);
    EXPECT_FALSE(failed);
    EXPECT_TRUE(opened && !QApplication::activeModalWidget()) << "the dialog open, then answered";
    EXPECT_EQ(intValue(PANEL_REC), 0) << "the close ended the recording";
    EXPECT_TRUE(runProgramLoop(1.0)) << "the close was delivered";
    QFile file(folder.filePath("run.csv"));
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    EXPECT_TRUE(bytes.endsWith('\n') && bytes.count('\n') > 5) << "the header and whole rows";
    CloseHistory();
}

// ---- Where the file dialogs start ---------------------------------------------------------

// An installed program's own folder is not the operator's: the dialog starts in the documents
// folder there, and then where a file was last chosen. A folder the operator may write to is
// where it always starts.
TEST_F(SensorTest, FileDialogsStartWhereTheOperatorMayWrite)
{
    QTemporaryDir home, elsewhere;
    const EnvVar homeVar("HOME", home.path().toLocal8Bit());
    ASSERT_TRUE(QDir(home.path()).mkpath("Documents"));
    click(PANEL_FILE);
    const struct {
        QString projectDir, chosen, expectStart;
    } cases[] = {
        {"/nonexistent/bin", elsewhere.filePath("a.dat"), home.filePath("Documents")},
        {"/nonexistent/bin", elsewhere.filePath("b.dat"), elsewhere.path()},
        {home.path(), elsewhere.filePath("c.dat"), home.path()},
        {"/proc/1", elsewhere.filePath("d.dat"), elsewhere.path()}, // there, but not writable
    };
    for (const auto &c : cases) {
        setProjectDir(c.projectDir);
        popups->clear();
        popups->answerFileDialog(c.chosen);
        click(BUTTON_SEND);
        ASSERT_EQ(popups->count(), 1);
        EXPECT_EQ(QDir(popups->popups()[0].directory), QDir(c.expectStart))
            << c.chosen.toStdString();
        EXPECT_TRUE(QFile::exists(c.chosen));
    }
}
