// The platform's C-style services over plain memory; see fake_platform.h.
#include "fake_platform.h"

#include "cvirte.h"
#include "formatio.h"
#include "rs232.h"
#include "timeview.h"
#include "userint.h"
#include "utility.h"
#include "wholefile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>

namespace
{

enum class Type { None, Byte, Int, String };

struct Control {
    Type type = Type::None;
    int value = 0;
    std::string text;
};

struct Port {
    bool open = false;
    int queueSize = 0;
    double timeLimit = 10.0;
    std::deque<uint8_t> in;
};

struct State {
    fake::Config config;
    size_t pos = 0; // next unread byte of the stream
    double now = 0.0;
    int turns = 0;
    int sleeps = 0;
    int mismatches = 0;
    int badPlots = 0;
    int nextCtrl = 100;
    std::map<int, Control> controls;
    std::map<int, Port> ports;
    std::vector<fake::Event> trace;
};

State &st()
{
    static State s;
    return s;
}

// The main panel's controls with the value types its panel file gives them.
void loadPanel(std::map<int, Control> &c)
{
    for (int id : {7, 8, 9, 10, 11, 12, 13, 14, 21, 23, 24, 25, 26, 27, 28, 31, 33, 34, 35, 36})
        c[id].type = Type::Byte;
    for (int id : {2, 16, 17, 18, 29, 30, 32})
        c[id].type = Type::Int;
    c[39].type = Type::String;
    for (int id : {38, 40, 41, 42, 43})
        c[id].type = Type::None;
    c[2].value = 1;  // COM 1
    c[16].value = 1; // RAM selected
    c[21].value = 1; // first parameter page
}

Control *findControl(int control)
{
    auto it = st().controls.find(control);
    return it == st().controls.end() ? nullptr : &it->second;
}

Port *openPort(int port)
{
    auto it = st().ports.find(port);
    return it == st().ports.end() || !it->second.open ? nullptr : &it->second;
}

// One turn of the line: the next record of the stream reaches every open port's queue.
void deliver()
{
    State &s = st();
    if (s.pos >= s.config.size) return;
    // Lengths from 0xF0 up stand for 128 to 2048 bytes at once: more than the input queue.
    const size_t code = s.config.stream[s.pos++];
    const size_t len = code < 0xF0 ? code : (code - 0xEF) * 128;
    const size_t n = std::min(len, s.config.size - s.pos);
    for (auto &[number, port] : s.ports)
        if (port.open)
            port.in.insert(port.in.end(), s.config.stream + s.pos, s.config.stream + s.pos + n);
    s.pos += n;
}

void record(fake::Event::Kind kind, int value = 0)
{
    fake::Event e{kind, {}, value, {}, {}};
    st().trace.push_back(e);
}

// Reads every element, so the sanitizer sees an array shorter than its count.
template <typename T> bool touch(const void *array, int count)
{
    if (!array || count < 1) return false;
    volatile T sink{};
    const T *p = static_cast<const T *>(array);
    for (int i = 0; i < count; i++)
        sink = p[i];
    (void)sink;
    return true;
}

bool touchArray(const void *array, int count, int dataType)
{
    if (dataType == VAL_UNSIGNED_CHAR) return touch<unsigned char>(array, count);
    if (dataType == VAL_DOUBLE) return touch<double>(array, count);
    return false;
}

} // namespace

namespace fake
{

void Reset(const Config &config)
{
    State &s = st();
    s = State{};
    s.config = config;
    loadPanel(s.controls);
    s.controls[29].value = config.source;
}

void ClearTrace()
{
    st().trace.clear();
}
const std::vector<Event> &Trace()
{
    return st().trace;
}

int CtrlInt(int control)
{
    const Control *c = findControl(control);
    return c ? c->value : -1;
}

std::string CtrlText(int control)
{
    const Control *c = findControl(control);
    return c ? c->text : std::string();
}

int TypeMismatches()
{
    return st().mismatches;
}
int BadPlots()
{
    return st().badPlots;
}

} // namespace fake

// ---- Run-time ----------------------------------------------------------------------------------

int InitCVIRTE(void *, const CviNameTable *, void *)
{
    return 1;
}
void CloseCVIRTE(void) {}

// ---- Time --------------------------------------------------------------------------------------

double Timer(void)
{
    st().now += st().config.clockStep;
    return st().now;
}

void Sleep(unsigned int milliseconds)
{
    State &s = st();
    s.now += milliseconds / 1000.0;
    ++s.sleeps;
    if (s.config.onSleep) s.config.onSleep(s.sleeps);
}

int GetProjectDir(char directory[])
{
    std::strcpy(directory, "/nonexistent");
    return 0;
}

void GetLocalDateTime(LocalDateTime *now)
{
    *now = {2026, 12, 8, 14, 30, 12, 345, 60};
}

int GetUserDataDir(char directory[])
{
    std::strcpy(directory, "/nonexistent/kivrel");
    return 0;
}

void GetLoginName(char name[], int size)
{
    std::snprintf(name, size_t(size), "operator");
}

void GetMachineName(char name[], int size)
{
    std::snprintf(name, size_t(size), "line-3");
}

// ---- Serial ports ------------------------------------------------------------------------------

int OpenComConfig(int port, const char *, long, int, int, int, int inputQueueSize, int)
{
    if (port < 1 || port > 255) return RS232_INVALID_PORT;
    const int result = st().config.openResult;
    record(fake::Event::Open, result);
    Port &p = st().ports[port];
    p = Port{};
    if (result < 0) return result;
    p.open = true;
    p.queueSize = inputQueueSize > 0 ? inputQueueSize : 512;
    return 0;
}

int CloseCom(int port)
{
    Port *p = openPort(port);
    if (!p) return RS232_PORT_NOT_OPEN;
    p->open = false;
    p->in.clear();
    return 0;
}

int ComWrt(int port, const unsigned char *buffer, int count)
{
    if (!openPort(port)) return RS232_PORT_NOT_OPEN;
    if (count < 0 || (count > 0 && !buffer)) return RS232_ERROR;
    fake::Event e{fake::Event::Write, {buffer, buffer + count}, count, {}, {}};
    st().trace.push_back(e);
    return count;
}

int ComRd(int port, unsigned char *buffer, int count)
{
    Port *p = openPort(port);
    if (!p) return RS232_PORT_NOT_OPEN;
    fake::Event e{fake::Event::Read, {}, count, {}, {}};
    if (count > 0) {
        // Missing bytes are waited for up to the port's time limit, as the driver does.
        const double deadline = st().now + p->timeLimit;
        for (;;) {
            while (!p->in.empty() && static_cast<int>(e.bytes.size()) < count) {
                e.bytes.push_back(p->in.front());
                p->in.pop_front();
            }
            if (static_cast<int>(e.bytes.size()) == count || st().pos >= st().config.size ||
                st().now >= deadline)
                break;
            st().now += st().config.clockStep;
            deliver();
        }
        std::memcpy(buffer, e.bytes.data(), e.bytes.size());
    }
    const int moved = static_cast<int>(e.bytes.size());
    st().trace.push_back(std::move(e));
    return moved;
}

int GetInQLen(int port)
{
    Port *p = openPort(port);
    if (!p) return RS232_PORT_NOT_OPEN;
    return std::min(static_cast<int>(p->in.size()), p->queueSize);
}

int FlushInQ(int port)
{
    Port *p = openPort(port);
    if (!p) return RS232_PORT_NOT_OPEN;
    p->in.clear();
    record(fake::Event::FlushIn);
    return 0;
}

int FlushOutQ(int port)
{
    if (!openPort(port)) return RS232_PORT_NOT_OPEN;
    record(fake::Event::FlushOut);
    return 0;
}

int SetComTime(int port, double seconds)
{
    Port *p = openPort(port);
    if (!p) return RS232_PORT_NOT_OPEN;
    p->timeLimit = seconds;
    return 0;
}

int GetComDeviceName(int port, char name[], int size)
{
    if (port < 1 || port > 255) return -2;
    if (size > 0) name[0] = '\0';
    return 0;
}

// A port of the fake is never on the network.
void SetComReportHandler(ComReportHandler) {}

int GetComReconnectError(int port, char reason[], int size)
{
    if (size > 0) reason[0] = '\0';
    return port < 1 || port > 255 ? -2 : 0;
}

int GetComName(int port, ComName *name)
{
    if (port < 1 || port > 255) return -2;
    *name = ComName{};
    name->number = port;
    return 0;
}

int SetCTSMode(int port, int)
{
    return openPort(port) ? 0 : RS232_PORT_NOT_OPEN;
}

// ---- Panels and events -------------------------------------------------------------------------

int LoadPanel(int, const char *, int)
{
    return 1;
}
int DisplayPanel(int)
{
    return 0;
}
int DiscardPanel(int)
{
    return 0;
}
int RunUserInterface(void)
{
    return 0;
}
int QuitUserInterface(int)
{
    return 0;
}

void SetSpinDeadline(double) {}

int PostDeferredCall(DeferredCallbackPtr, void *)
{
    return -10;
}

int ProcessSystemEvents(void)
{
    State &s = st();
    deliver();
    ++s.turns;
    if (s.config.onEvents) s.config.onEvents(s.turns);
    return 0;
}

// ---- Control values ----------------------------------------------------------------------------

int GetCtrlVal(int, int control, unsigned char *value)
{
    Control *c = findControl(control);
    if (!c) return UIE_INVALID_CONTROL;
    if (c->type != Type::Byte) return ++st().mismatches, UIE_TYPE_MISMATCH;
    *value = static_cast<unsigned char>(c->value);
    return 0;
}

int GetCtrlVal(int, int control, int *value)
{
    Control *c = findControl(control);
    if (!c) return UIE_INVALID_CONTROL;
    if (c->type != Type::Int) return ++st().mismatches, UIE_TYPE_MISMATCH;
    *value = c->value;
    return 0;
}

int GetCtrlVal(int, int control, char *value)
{
    Control *c = findControl(control);
    if (!c) return UIE_INVALID_CONTROL;
    if (c->type != Type::String) return ++st().mismatches, UIE_TYPE_MISMATCH;
    const size_t n = std::min<size_t>(c->text.size(), 255);
    std::memcpy(value, c->text.data(), n);
    value[n] = '\0';
    return 0;
}

int SetCtrlVal(int, int control, int value)
{
    Control *c = findControl(control);
    if (!c) return UIE_INVALID_CONTROL;
    if (c->type == Type::Byte)
        value &= 0xFF;
    else if (c->type != Type::Int)
        return ++st().mismatches, UIE_TYPE_MISMATCH;
    c->value = value;
    return 0;
}

int SetCtrlVal(int, int control, const char *value)
{
    Control *c = findControl(control);
    if (!c) return UIE_INVALID_CONTROL;
    if (c->type != Type::String) return ++st().mismatches, UIE_TYPE_MISMATCH;
    c->text = value ? value : "";
    return 0;
}

int SetCtrlAttribute(int, int control, int, int)
{
    return findControl(control) ? 0 : UIE_INVALID_CONTROL;
}

int SetCtrlAttribute(int, int control, int, const char *value)
{
    if (!findControl(control)) return UIE_INVALID_CONTROL;
    return value ? 0 : UIE_INVALID_ARGUMENT;
}

int GetCtrlAttribute(int, int control, int, int *value)
{
    if (!findControl(control)) return UIE_INVALID_CONTROL;
    *value = 0;
    return 0;
}

int SetTraceAttribute(int, int control, int, int, int)
{
    return findControl(control) ? 0 : UIE_INVALID_CONTROL;
}

int SetPanelAttribute(int, int, int)
{
    return 0;
}

int SetPanelAttribute(int, int, const char *value)
{
    return value ? 0 : UIE_INVALID_ARGUMENT;
}

int NewCtrl(int, int, const char *, int, int)
{
    const int id = st().nextCtrl++;
    st().controls[id].type = Type::String;
    return id;
}

int ReplaceListItem(int, int control, int, const char *text, int)
{
    if (!findControl(control)) return UIE_INVALID_CONTROL;
    return text ? 0 : UIE_INVALID_ARGUMENT;
}

int DisplayImageFile(int, int control, const char *)
{
    return findControl(control) ? 0 : UIE_INVALID_CONTROL;
}

// ---- Graphs ------------------------------------------------------------------------------------

int PlotY(int, int control, const void *array, int numPoints, int dataType, int, int, int, int, int)
{
    if (!findControl(control) || !touchArray(array, numPoints, dataType))
        return ++st().badPlots, UIE_INVALID_ARGUMENT;
    return 1;
}

int PlotStripChart(int, int control, const void *array, int numPoints, int, int, int dataType)
{
    if (!findControl(control) || !touchArray(array, numPoints, dataType))
        return ++st().badPlots, UIE_INVALID_ARGUMENT;
    return 0;
}

int DeleteGraphPlot(int, int control, int, int)
{
    return findControl(control) ? 0 : UIE_INVALID_CONTROL;
}

// ---- Popups ------------------------------------------------------------------------------------

int MessagePopup(const char *title, const char *message)
{
    fake::Event e{
        fake::Event::Popup, {}, 0, title ? title : "(null)", message ? message : "(null)"};
    st().trace.push_back(std::move(e));
    return 0;
}

int FileSelectPopup(const char *, const char *, const char *, const char *, int, int, int, int, int,
                    char pathOut[])
{
    pathOut[0] = '\0';
    return VAL_NO_FILE_SELECTED;
}

int StartFileSelectPopup(const char *, const char *, const char *, const char *, int, int, int, int,
                         int, FileSelectCallbackPtr callback, void *callbackData)
{
    callback(VAL_NO_FILE_SELECTED, "", callbackData);
    return 0;
}

// ---- Files -------------------------------------------------------------------------------------

int ArrayToFile(const char *, const void *, int, int, int, int, int, int, int, int, int)
{
    return FIO_OPEN_ERROR;
}

int FileToArray(const char *, void *, int, int, int, int, int, int)
{
    return FIO_OPEN_ERROR;
}

// The journal and recordings write into nothing.
int OpenFile(const char *, int, int, int)
{
    return 0;
}

int WriteFile(int, const char *, int count)
{
    return count;
}

int ReadFile(int, char *, int)
{
    return 0;
}

int CloseFile(int)
{
    return 0;
}

int OpenWholeFile(const char *)
{
    return FIO_OPEN_ERROR;
}

int WriteWholeFile(int, const char *, int)
{
    return FIO_IO_ERROR;
}

int EndWholeFile(int, int)
{
    return FIO_IO_ERROR;
}

int SaveWholeFile(const char *, const char *, long)
{
    return FIO_OPEN_ERROR;
}

int SameFile(const char *, const char *)
{
    return 0;
}

int GetFileSize(const char *, long *)
{
    return FIO_OPEN_ERROR;
}

int FindFileNames(const char *, const char *, char first[], char last[], int)
{
    first[0] = last[0] = '\0';
    return 0;
}

int GetFileLastByte(const char *, int *)
{
    return FIO_OPEN_ERROR;
}

int GetAbsolutePath(const char *path, char absolute[], int size)
{
    std::snprintf(absolute, static_cast<size_t>(size), "%s", path);
    return 0;
}

int MakeDir(const char *)
{
    return 0;
}

int LockFile(int)
{
    return 0;
}

const char *GetFileErrorText(void)
{
    return "";
}

// ---- History windows: never opened here ---------------------------------------------------------

// Every call on a window that was never made fails as the platform's would.
#define KIVREL_NO_WINDOW(signature, error)                                                         \
    signature                                                                                      \
    {                                                                                              \
        return error;                                                                              \
    }
KIVREL_NO_WINDOW(int NewTimeView(int, const char *, const int[], double, double, double,
                                 TimeViewCallbackPtr),
                 UIE_NOT_INITIALISED)
KIVREL_NO_WINDOW(int DisplayTimeView(int), UIE_INVALID_PANEL)
KIVREL_NO_WINDOW(int DiscardTimeView(int), UIE_INVALID_PANEL)
KIVREL_NO_WINDOW(int SetTimeViewText(int, int, const char *), UIE_INVALID_PANEL)
KIVREL_NO_WINDOW(int AddTimeViewPoints(int, const double[], const double[], int), UIE_INVALID_PANEL)
KIVREL_NO_WINDOW(int AddTimeViewMarker(int, double, int, const char *, const char *),
                 UIE_INVALID_PANEL)
KIVREL_NO_WINDOW(int AddTimeViewMarkerItem(int, double, int, const char *, const char *,
                                           const char *, int),
                 UIE_INVALID_PANEL)
KIVREL_NO_WINDOW(int SetTimeViewKeep(int, double, int), UIE_INVALID_PANEL)
KIVREL_NO_WINDOW(int ClearTimeView(int), UIE_INVALID_PANEL)
KIVREL_NO_WINDOW(int SetTimeViewFollow(int, int), UIE_INVALID_PANEL)
KIVREL_NO_WINDOW(int ShowWholeTimeView(int), UIE_INVALID_PANEL)
KIVREL_NO_WINDOW(int ExportTimeView(int, const char *), UIE_INVALID_PANEL)
KIVREL_NO_WINDOW(int GetTimeViewSpan(int, double *, double *), UIE_INVALID_PANEL)
KIVREL_NO_WINDOW(int GetTimeViewExportFile(int, char[]), UIE_INVALID_PANEL)
