// The second rung: the real panel, shown, with a scripted sensor on COM 1 and a popup recorder;
// the connect, the timeout-report count, snapshots of what a failed operation must leave alone,
// and deadlines that end polling or the program loop a fault would leave running.
#pragma once

#include "panel_fixture.h"
#include "popup_helper.h"
#include "sensor_data.h"

#include "com232.h"
#include "sensor.h"

#include "rs232.h"

#include <QProcessEnvironment>
#include <QTimer>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kivrel::test
{

using std::chrono::milliseconds;

// What a timed wait may overrun its limit by on a loaded two-core machine.
inline constexpr double kMarginSeconds = 1.5;

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

// The environment the built program runs in here: offscreen, with the peer as its COM 1.
inline QProcessEnvironment programEnvironment(const SensorPeer &peer)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("KIVREL_COM1", QString::fromStdString(peer.slavePath()));
    return env;
}

class SensorTest : public PanelTest
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
        QObject::connect(&watchdog_, &QTimer::timeout, [this] { watchPolling(); });
        watchdog_.start(50);
    }
    void TearDown() override
    {
        watchdog_.stop();
        kivrel::poll = 0;
        popups.reset();
        CloseCom(kivrel::com);
        PanelTest::TearDown();
        peer.reset();
    }

    // Opens COM 1 and runs the line check; a scripted peer is told to answer it and the read.
    void connect(const Bytes &params = kParams)
    {
        if (peer) {
            peer->answer(7, Reply(kLineOk));
            peer->answer(kivrel::target == kivrel::EEPROM ? 4 : 3, Reply(params));
        }
        kivrel::InitRS232(kivrel::com);
        if (peer) {
            ASSERT_TRUE(peer->waitForTelegrams(2, milliseconds(2000)));
        }
        ASSERT_EQ(status(), kLineOkText);
        ASSERT_EQ(popups->count(), 0);
        if (peer) peer->clearReceived();
    }
    // The adapter plugged in again: a new scripted sensor on COM 1.
    void replacePeer()
    {
        peer.reset(); // first, so the old pair's path is free to map again
        peer = std::make_unique<SensorPeer>();
        ASSERT_TRUE(peer->ok());
        peer->mapToCom(1);
    }
    std::vector<Telegram> telegrams() const { return peer->telegrams(); }

    int reports() const { return popups->countOf("INFO", kInfoTimeout); }
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
    // Runs `f` once, as soon as `done` holds (looked at every 10 ms inside whatever loop
    // processes events), or after `limit` seconds should it never hold. What a test would count
    // after a set time (polls, records) it waits for this way, so a loaded machine only makes
    // the test slower.
    void when(std::function<bool()> done, std::function<void()> f, double limit = 20.0)
    {
        auto *check = new QTimer(&timers_);
        const double start = Timer();
        QObject::connect(check, &QTimer::timeout, [=, done = std::move(done), f = std::move(f)] {
            if (!done() && Timer() - start < limit) return;
            check->stop(); // before f, which may run a loop of its own
            f();
            check->deleteLater();
        });
        check->start(10);
    }

    // The program's event loop, ended here after `limit` seconds should the test's own way of
    // ending it fail; true when it ended by itself.
    bool runProgramLoop(double limit)
    {
        bool ended = true;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            ended = false;
            kivrel::poll = 0;
            QuitUserInterface(0);
        });
        guard.start(int(limit * 1000));
        RunUserInterface();
        return ended;
    }

    // Seconds polling may run at a stretch before the test fails and polling is stopped, so
    // that polling a fault leaves running fails the test instead of hanging it.
    double pollDeadline = 10.0;

    std::unique_ptr<SensorPeer> peer = std::make_unique<SensorPeer>();
    std::unique_ptr<PopupRecorder> popups;

  private:
    void watchPolling()
    {
        if (kivrel::poll == 0) {
            pollingSince_ = -1.0;
        } else if (pollingSince_ < 0) {
            pollingSince_ = Timer();
        } else if (Timer() - pollingSince_ > pollDeadline) {
            ADD_FAILURE() << "polling still ran " << pollDeadline
                          << " s after it began; the test's deadline stopped it";
            kivrel::poll = 0;
            pollingSince_ = -1.0;
        }
    }

    QObject timers_;
    QTimer watchdog_;
    double pollingSince_ = -1.0;
};

} // namespace kivrel::test
