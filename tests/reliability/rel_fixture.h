// Shared by the reliability tests: the real panel, shown, with a scripted sensor on COM 1, a
// popup recorder that can be swapped for a popup holder, snapshots of everything an operation
// must leave alone, and the simulator as a child process.
#pragma once

#include "app_fixture.h"
#include "link_fixture.h"

#include "helptexts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QProcess>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

// Readable QStrings in failure messages.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace reltest
{

using apptest::spin;
using kivrel::test::Bytes;
using kivrel::test::Reply;
using kivrel::test::SensorPeer;
using std::chrono::milliseconds;

inline const Bytes kParams{120, 150, 23, 0, 10, 0, 10, 10, 1, 1, 5, 0, 1, 20, 77};
inline const Bytes kLineOk{0xAA, 0x04, 0x00};
inline const char kTimeoutText[] = " ATTENTION! \n \n TIMEOUT \n NO SERIAL CONNECTION TO SENSOR";
inline const char kLineOkText[] = "LINE OK                              V4.0";
// What a timed wait may overrun its limit by on a loaded two-core machine.
inline constexpr double kMarginSeconds = 1.5;

// Command buttons by their identifiers in the panel file.
enum { BUTTON_SEND = 3, BUTTON_GET = 4, BUTTON_GO = 5, BUTTON_STOP = 6, BUTTON_GETBUFF = 15 };

inline Bytes record(unsigned char dat0, unsigned char trsh)
{
    return Bytes{dat0, 60, 200, 60, 0, 200, 0, 120, 0, trsh, 150};
}

inline int timeoutReports(const PopupRecorder &popups)
{
    int n = 0;
    for (const RecordedPopup &p : popups.popups())
        n += p.title == "INFO" && p.text == kTimeoutText;
    return n;
}

// Everything a failed operation must leave as it was: the wire image, the parameter
// variables, the measurement variables, the jump buffer and every control value on the panel
// except the status line.
struct Snapshot {
    Bytes pp, vars, data, jump;
    std::map<int, QString> panel;
    bool operator==(const Snapshot &) const = default;
};

inline Snapshot snapshot()
{
    using namespace kivrel;
    Snapshot s;
    s.pp.assign(pp, pp + AnzPara);
    s.vars = {threshold, hysteresis,   power,    pmod,    hold,    trigger,   backlim, regcnt,
              average,   deadtimemode, deadtime, outmode, trshmod, deltatrsh, frei15};
    s.data.assign(databuf, databuf + AnzData);
    s.data.insert(s.data.end(), {dataDat0, dataNorm, dataTrshWork});
    s.jump.assign(jumpbuf, jumpbuf + 16);
    platform::Panel *p = platform::findPanel(kivrel::panel);
    if (!p) return s;
    for (const auto &[id, control] : p->controls) {
        if (id == PANEL_STATUS) continue;
        unsigned char b = 0;
        int i = 0;
        char text[256] = "";
        switch (control.type) {
        case platform::ValueType::Byte:
            GetCtrlVal(kivrel::panel, id, &b);
            s.panel[id] = QString::number(b);
            break;
        case platform::ValueType::Int:
            GetCtrlVal(kivrel::panel, id, &i);
            s.panel[id] = QString::number(i);
            break;
        case platform::ValueType::String:
            GetCtrlVal(kivrel::panel, id, text);
            s.panel[id] = QString::fromLatin1(text);
            break;
        case platform::ValueType::None: break;
        }
    }
    return s;
}

inline std::string describe(const Snapshot &a, const Snapshot &b)
{
    std::string out;
    if (a.pp != b.pp) out += " pp";
    if (a.vars != b.vars) out += " parameter-variables";
    if (a.data != b.data) out += " measurement";
    if (a.jump != b.jump) out += " jump-buffer";
    for (const auto &[id, v] : a.panel) {
        auto it = b.panel.find(id);
        if (it == b.panel.end() || it->second != v)
            out += " control-" + std::to_string(id) + "(" + v.toStdString() + "->" +
                   (it == b.panel.end() ? std::string("?") : it->second.toStdString()) + ")";
    }
    return out.empty() ? "unchanged" : "changed:" + out;
}

// Seconds on the program's own clock.
class Stopwatch
{
  public:
    double seconds() const { return Timer() - start_; }

  private:
    double start_ = Timer();
};

// The built simulator as a child process; its port becomes COM n while it lives.
class SimProcess
{
  public:
    explicit SimProcess(const QStringList &args)
    {
        process_.setProgram(QStringLiteral(KIVREL_SIM));
        process_.setArguments(args);
        process_.start();
        if (!process_.waitForStarted(5000)) return;
        QByteArray line;
        for (int i = 0; i < 100 && !line.contains('\n'); i++) {
            process_.waitForReadyRead(100);
            line += process_.readLine();
        }
        path_ = line.trimmed().toStdString();
    }
    ~SimProcess()
    {
        for (int n : mapped_) {
            const std::string var = "KIVREL_COM" + std::to_string(n);
            const char *value = std::getenv(var.c_str());
            if (value && path_ == value) ::unsetenv(var.c_str());
        }
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(3000)) {
                process_.kill();
                process_.waitForFinished(3000);
            }
        }
    }
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    bool ok() const { return !path_.empty() && path_[0] == '/'; }
    const std::string &path() const { return path_; }
    void mapToCom(int n)
    {
        ::setenv(("KIVREL_COM" + std::to_string(n)).c_str(), path_.c_str(), 1);
        mapped_.push_back(n);
    }
    // True once the simulator has ended by itself, with its exit code.
    bool ended(int *exitCode)
    {
        if (process_.state() != QProcess::NotRunning) process_.waitForFinished(0);
        if (process_.state() != QProcess::NotRunning) return false;
        *exitCode = process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
        return true;
    }

  private:
    QProcess process_;
    std::string path_;
    std::vector<int> mapped_;
};

// Operator actions on the real widgets.
inline QWidget *control(int id)
{
    return kivrel::platform::controlWidget(kivrel::panel, id);
}
inline void click(int id)
{
    QTest::mouseClick(control(id), Qt::LeftButton);
}
inline void rightClick(int id)
{
    QTest::mouseClick(control(id), Qt::RightButton);
}
// Picks COM n in the port selector as the operator does, which connects.
inline void pickPort(int n)
{
    auto *box = qobject_cast<QComboBox *>(control(kivrel::PANEL_COMPORT));
    const int index = box->findData(n);
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

// The real panel, shown, with a scripted sensor on COM 1. Popups are recorded and closed
// unless a test takes the recorder away.
class RelTest : public apptest::PanelTest
{
  protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        ASSERT_TRUE(peer->ok());
        peer->mapToCom(1);
        DisplayPanel(kivrel::panel);
        kivrel::InitVars();
        popups = std::make_unique<PopupRecorder>();
    }
    void TearDown() override
    {
        kivrel::poll = 0;
        popups.reset();
        CloseCom(kivrel::com);
        PanelTest::TearDown();
        peer.reset();
    }

    // Opens COM 1 and runs the line check with a sensor that answers it and the read.
    void connect(const Bytes &params = kParams)
    {
        peer->answer(7, Reply(kLineOk));
        peer->answer(kivrel::target == kivrel::EEPROM ? 4 : 3, Reply(params));
        kivrel::InitRS232(kivrel::com);
        ASSERT_TRUE(peer->waitForTelegrams(2, milliseconds(2000)));
        ASSERT_EQ(status(), kLineOkText);
        ASSERT_EQ(popups->count(), 0);
        peer->clearReceived();
    }
    int reports() const { return timeoutReports(*popups); }
    // How every line fault ends: one timeout report and no other popup, polling off, nothing
    // changed, within `limit` seconds.
    void expectOneTimeoutReport(const Snapshot &before, double took, double limit)
    {
        EXPECT_EQ(reports(), 1);
        EXPECT_EQ(popups->count(), 1);
        EXPECT_EQ(status(), "TIMEOUT");
        EXPECT_EQ(kivrel::poll, 0);
        EXPECT_LT(took, limit);
        EXPECT_EQ(describe(before, snapshot()), "unchanged");
    }
    // Runs `f` once, `ms` from now, inside whatever loop processes events then; never after
    // the test has ended.
    void after(int ms, std::function<void()> f) { QTimer::singleShot(ms, &timers_, std::move(f)); }
    std::vector<kivrel::test::Telegram> telegrams() const { return peer->telegrams(); }

    std::unique_ptr<SensorPeer> peer = std::make_unique<SensorPeer>();
    std::unique_ptr<PopupRecorder> popups;

  private:
    QObject timers_;
};

} // namespace reltest
