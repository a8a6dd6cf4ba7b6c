// The reply side of the link: arbitrary bytes, in arbitrary chunks and at arbitrary times,
// answer each command of the real logic running on the in-memory platform.
//
// Input: byte 0 chooses the command and its settings, byte 1 the clock step and an optional
// nested Stop; the rest is the line, in records of a length byte and that many bytes (see
// fake_platform.h and README.md).
#include "fake_platform.h"
#include "fuzz_check.h"
#include "sensor_data.h"

#include "Kivrelv40.h"
#include "com232.h"
#include "controls.h"
#include "sensor.h"
#include "state.h"

#include "rs232.h"
#include "userint.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;
using fake::Event;

using kivrel::test::kInfoTimeout;
using kivrel::test::kLineOk;
using kivrel::test::kLineOkText;

enum Kind { CONNECT, CONNECT_FAILS, GET_PARA, GET_JUMPBUF, GET_DATA, KIND_COUNT };

int g_cycles = 1;   // polling cycles before the fake Sleep clears poll
int g_stopTurn = 0; // event turn at which a nested Stop clears poll; 0 never
bool g_stopped = false;

void onSleep(int count)
{
    if (count >= g_cycles) kivrel::poll = 0;
}

void onEvents(int turn)
{
    if (g_stopTurn != 0 && turn == g_stopTurn) {
        kivrel::poll = 0;
        g_stopped = true;
    }
}

// Walks the recorded calls in the order the logic must have made them.
struct Cursor {
    const std::vector<Event> &trace;
    size_t i = 0;

    bool at(Event::Kind k) const { return i < trace.size() && trace[i].kind == k; }
    const Event &next(Event::Kind k)
    {
        FUZZ_CHECK(at(k), "the next call is not the expected one");
        return trace[i++];
    }
};

struct Snapshot {
    std::array<uint8_t, kivrel::AnzPara> pp;
    std::array<uint8_t, kivrel::AnzData> databuf;
    std::array<uint8_t, 16> jumpbuf;
};

void telegram(Cursor &c, int order, bool flushed, const Snapshot &snap)
{
    if (flushed) {
        c.next(Event::FlushIn);
        c.next(Event::FlushOut);
    }
    const Event &w = c.next(Event::Write);
    FUZZ_CHECK(w.bytes.size() == 17, "a telegram is 17 bytes");
    FUZZ_CHECK(w.bytes[0] == 0x55, "a telegram starts with 0x55");
    FUZZ_CHECK(w.bytes[1] == order, "the telegram carries the command's order code");
    FUZZ_CHECK(std::memcmp(w.bytes.data() + 2, snap.pp.data(), 15) == 0, "the telegram carries pp");
}

Bytes reply(Cursor &c)
{
    const Event &r = c.next(Event::Read);
    FUZZ_CHECK(r.value >= 0 && r.value <= 1024, "a read never asks for more than the buffer");
    FUZZ_CHECK(r.bytes.size() <= size_t(r.value), "a read moves at most what it asked for");
    FUZZ_CHECK(kivrel::nBytesR >= 0, "nBytesR holds a count");
    return r.bytes;
}

void timeoutPopup(Cursor &c)
{
    const Event &p = c.next(Event::Popup);
    FUZZ_CHECK(p.title == "INFO", "the timeout popup's title");
    FUZZ_CHECK(p.text == kInfoTimeout, "the timeout popup's text");
}

// One parameter read; returns the accepted reply or an empty one.
Bytes paraExchange(Cursor &c, int order, const Snapshot &snap)
{
    telegram(c, order, true, snap);
    const Bytes r = reply(c);
    if (r.size() == kivrel::AnzPara) return r;
    timeoutPopup(c);
    return {};
}

void checkPara(const Bytes &accepted, const Snapshot &snap)
{
    if (accepted.empty()) {
        FUZZ_CHECK(std::memcmp(kivrel::pp, snap.pp.data(), 15) == 0, "pp unchanged on failure");
        return;
    }
    FUZZ_CHECK(std::memcmp(kivrel::pp, accepted.data(), 15) == 0, "pp holds the reply");
    FUZZ_CHECK(fake::CtrlInt(kivrel::PANEL_THRESHOLD) == accepted[0], "threshold on the panel");
    FUZZ_CHECK(fake::CtrlInt(kivrel::PANEL_HYSTERESIS) == accepted[1], "hysteresis on the panel");
    FUZZ_CHECK(fake::CtrlInt(kivrel::PANEL_TRIGGER) == accepted[5], "trigger on the panel");
}

int paraOrder(int target)
{
    return target == kivrel::EEPROM ? 4 : 3;
}

const char *openErrorText(int code)
{
    switch (code) {
    case -1: return "Unknown system error";
    case -2: return "Invalid port number";
    case -3: return "Port is not open";
    case -4: return "Unknown I/0 error";
    case -6: return "No serial port found";
    case -7: return "Cannot open port";
    case -99: return "Timeout";
    default: return "RS-232 error!";
    }
}

const int kOpenErrors[8] = {-1, -2, -3, -4, -5, -6, -7, -99};

// With KIVREL_FUZZ_TRACE set, the calls of each run are printed: for reproducing a finding.
void printTrace(const std::vector<Event> &trace)
{
    static const bool enabled = std::getenv("KIVREL_FUZZ_TRACE") != nullptr;
    if (!enabled) return;
    static const char *const names[] = {"open", "write", "read", "flush-in", "flush-out", "popup"};
    for (const Event &e : trace) {
        std::fprintf(stderr, "  %-9s %4d", names[e.kind], e.value);
        for (uint8_t b : e.bytes)
            std::fprintf(stderr, " %02X", b);
        if (e.kind == Event::Popup) std::fprintf(stderr, " \"%s\"", e.title.c_str());
        std::fprintf(stderr, "\n");
    }
    std::fprintf(stderr, "  status \"%s\"\n", fake::CtrlText(kivrel::PANEL_STATUS).c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    const int kind = data[0] % KIND_COUNT;
    const int arg = data[0] / KIND_COUNT;
    const uint8_t mode = data[1];

    fake::Config config;
    config.stream = data + 2;
    config.size = size - 2;
    config.clockStep = 0.025 * (1 + (mode & 0x0F));
    config.openResult = kind == CONNECT_FAILS ? kOpenErrors[arg % 8] : 0;
    config.source = (arg / 2) % 4; // 3 is no source the panel offers
    config.onEvents = onEvents;
    config.onSleep = onSleep;
    g_cycles = 1 + arg % 2;
    g_stopTurn = kind == GET_DATA ? (mode >> 4) * 8 : 0;
    g_stopped = false;
    fake::Reset(config);

    kivrel::panel = LoadPanel(0, "Kivrelv40.uir", kivrel::PANEL);
    kivrel::InitVars();
    kivrel::target = 1 + arg % 3;
    Snapshot snap;
    for (int i = 0; i < kivrel::AnzPara; i++)
        kivrel::pp[i] = snap.pp[i] = static_cast<uint8_t>(0x30 + i);
    for (int i = 0; i < kivrel::AnzData; i++)
        kivrel::databuf[i] = snap.databuf[i] = static_cast<uint8_t>(0x60 + i);
    for (int i = 0; i < 16; i++)
        kivrel::jumpbuf[i] = snap.jumpbuf[i] = static_cast<uint8_t>(0x90 + i);
    std::memset(kivrel::szReadBuf, 0xEE, sizeof kivrel::szReadBuf);
    std::memset(kivrel::alldata, 0, sizeof kivrel::alldata);
    if (kind != CONNECT && kind != CONNECT_FAILS) {
        // The state a successful connect leaves behind.
        OpenComConfig(kivrel::com, "", 4800, 0, 8, 1, 1024, 1024);
        SetComTime(kivrel::com, 2.0);
    }
    fake::ClearTrace();

    Cursor c{fake::Trace()};
    bool failed = false;
    struct Print {
        ~Print() { printTrace(fake::Trace()); }
    } print;
    switch (kind) {
    case CONNECT: {
        kivrel::InitRS232(kivrel::com);
        FUZZ_CHECK(c.next(Event::Open).value == 0, "the port opened");
        c.next(Event::FlushIn);
        c.next(Event::FlushOut);
        telegram(c, 7, false, snap);
        const Bytes r = reply(c);
        Bytes accepted;
        if (r == kLineOk) {
            accepted = paraExchange(c, paraOrder(kivrel::target), snap);
            failed = accepted.empty();
            if (!failed)
                FUZZ_CHECK(fake::CtrlText(kivrel::PANEL_STATUS) == kLineOkText, "the line status");
        } else {
            timeoutPopup(c);
            failed = true;
        }
        checkPara(accepted, snap);
        break;
    }
    case CONNECT_FAILS: {
        kivrel::InitRS232(kivrel::com);
        const int code = c.next(Event::Open).value;
        FUZZ_CHECK(fake::CtrlText(kivrel::PANEL_STATUS) == openErrorText(code),
                   "a failed open names its reason");
        checkPara({}, snap);
        break;
    }
    case GET_PARA: {
        kivrel::GetPara();
        const Bytes accepted = paraExchange(c, paraOrder(kivrel::target), snap);
        failed = accepted.empty();
        checkPara(accepted, snap);
        break;
    }
    case GET_JUMPBUF: {
        kivrel::GetJmpBuf();
        telegram(c, 6, true, snap);
        const Bytes r = reply(c);
        if (r.size() == 16) {
            FUZZ_CHECK(std::memcmp(kivrel::jumpbuf, r.data(), 16) == 0, "jumpbuf holds the reply");
        } else {
            timeoutPopup(c);
            failed = true;
            FUZZ_CHECK(std::memcmp(kivrel::jumpbuf, snap.jumpbuf.data(), 16) == 0,
                       "jumpbuf unchanged on failure");
        }
        break;
    }
    case GET_DATA: {
        kivrel::GetData();
        Bytes last;
        int cycles = 0;
        while (c.at(Event::FlushIn)) {
            ++cycles;
            telegram(c, 5, true, snap);
            if (!c.at(Event::Read)) { // a nested Stop abandoned the wait: nothing is read
                FUZZ_CHECK(g_stopped, "a wait ends without a read only when poll was cleared");
                break;
            }
            const Bytes r = reply(c);
            if (r.size() != kivrel::AnzData) {
                timeoutPopup(c);
                failed = true;
                break;
            }
            last = r;
        }
        FUZZ_CHECK(cycles >= 1 && cycles <= g_cycles, "polling runs the cycles asked for");
        FUZZ_CHECK(kivrel::poll == 0, "polling has ended");
        if (last.empty()) {
            FUZZ_CHECK(std::memcmp(kivrel::databuf, snap.databuf.data(), 11) == 0,
                       "databuf unchanged without an accepted record");
        } else {
            FUZZ_CHECK(std::memcmp(kivrel::databuf, last.data(), 11) == 0,
                       "databuf holds the last record");
            FUZZ_CHECK(fake::CtrlInt(kivrel::PANEL_DISPDAT0) == last[0], "DAT0 display");
            FUZZ_CHECK(fake::CtrlInt(kivrel::PANEL_DISPNORM) == last[2], "NORM display");
            FUZZ_CHECK(fake::CtrlInt(kivrel::PANEL_DISPTRSH) == last[9], "TRSH display");
        }
        break;
    }
    }
    FUZZ_CHECK(c.i == c.trace.size(), "no calls beyond the exchange");
    if (failed)
        FUZZ_CHECK(fake::CtrlText(kivrel::PANEL_STATUS) == "TIMEOUT", "the status after a failure");
    FUZZ_CHECK(fake::TypeMismatches() == 0, "every control is used in its own type");
    FUZZ_CHECK(fake::BadPlots() == 0, "every plot gets a usable array");
    if (kind != GET_DATA)
        FUZZ_CHECK(std::memcmp(kivrel::databuf, snap.databuf.data(), 11) == 0,
                   "databuf untouched by other commands");
    if (kind != GET_JUMPBUF)
        FUZZ_CHECK(std::memcmp(kivrel::jumpbuf, snap.jumpbuf.data(), 16) == 0,
                   "jumpbuf untouched by other commands");
    if (kind == GET_DATA || kind == GET_JUMPBUF)
        FUZZ_CHECK(std::memcmp(kivrel::pp, snap.pp.data(), 15) == 0, "pp untouched");
    return 0;
}
