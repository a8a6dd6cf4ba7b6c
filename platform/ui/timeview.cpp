// The registry of time-series views and the C-style API the logic calls (timeview.h): handles
// to windows, and windows discarded while a callback of theirs runs kept until it returns.
#include "timeviewwindow_p.h"

#include "graveyard.h"
#include "runtime_p.h"
#include "userint.h"
#include "utility.h"

#include <QFile>

#include <cstring>
#include <map>

namespace kivrel::platform
{

namespace
{

constexpr int kMaxTraces = 16;

struct Registry;
Registry &reg();
void discardAllTimeViews();

struct Registry {
    // No view outlives the application object.
    Registry() { onRuntimeClose(discardAllTimeViews); }

    std::map<int, TimeViewWindow *> views;
    int nextHandle = 1;
    int busy = 0; // callbacks of views running
    Graveyard graveyard{[] { return reg().busy > 0; }};
};

Registry &reg()
{
    static Registry r;
    return r;
}

class Busy
{
  public:
    Busy() { ++reg().busy; }
    ~Busy() { --reg().busy; }
    Busy(const Busy &) = delete;
    Busy &operator=(const Busy &) = delete;
};

void discardAllTimeViews()
{
    Registry &r = reg();
    for (auto &entry : r.views)
        delete entry.second;
    r.views.clear();
    r.graveyard.clear();
}

} // namespace

int runTimeViewCallback(TimeViewCallbackPtr callback, int view, int event, int data1, int data2)
{
    const Busy busy;
    return callback(view, event, nullptr, data1, data2);
}

TimeViewWindow *timeViewWindow(int view)
{
    const auto it = reg().views.find(view);
    return it == reg().views.end() ? nullptr : it->second;
}

} // namespace kivrel::platform

using namespace kivrel::platform;

int NewTimeView(int numTraces, const char *traceNames, const int colors[], double yMin, double yMax,
                double span, TimeViewCallbackPtr callback)
{
    if (!runtimeUp()) return UIE_NOT_INITIALISED;
    if (numTraces < 1 || numTraces > kMaxTraces || !(yMax > yMin)) return UIE_INVALID_ARGUMENT;
    QStringList names = QString::fromUtf8(traceNames ? traceNames : "").split(u',');
    QList<QColor> palette;
    for (int t = 0; t < numTraces; t++) {
        if (t >= names.size()) names.append(QString());
        names[t] = names[t].trimmed();
        if (names[t].isEmpty()) names[t] = QStringLiteral("Trace %1").arg(t + 1);
        palette.append(colors ? QColor::fromRgb(QRgb(colors[t]) & 0xffffffu) : QColor(Qt::black));
    }
    names = names.mid(0, numTraces);
    Registry &r = reg();
    const int handle = r.nextHandle++;
    r.views[handle] = new TimeViewWindow(handle, names, palette, yMin, yMax, span, callback);
    return handle;
}

int DisplayTimeView(int view)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    w->show();
    w->raise();
    w->activateWindow();
    return 0;
}

int DiscardTimeView(int view)
{
    Registry &r = reg();
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    r.views.erase(view);
    if (w->isVisible()) w->hide(); // where it was is kept for next time
    // A callback or a dialog of a view may still run on it.
    r.graveyard.discard(w);
    return 0;
}

int SetTimeViewText(int view, int what, const char *text)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    const QString s = QString::fromUtf8(text ? text : "");
    switch (what) {
    case TIMEVIEW_TITLE: w->setWindowTitle(s); return 0;
    case TIMEVIEW_CAPTION: w->setCaption(s); return 0;
    case TIMEVIEW_STATUS: w->setStatus(s); return 0;
    case TIMEVIEW_EXPORT_NAME: w->setExportName(s); return 0;
    case TIMEVIEW_PAGE_HEADING:
    case TIMEVIEW_PAGE_SOURCE:
    case TIMEVIEW_PAGE_SETTINGS:
    case TIMEVIEW_VALUE_AXIS: w->setPageText(what, s); return 0;
    default: return UIE_INVALID_ATTRIBUTE;
    }
}

int AddTimeViewPoints(int view, const double times[], const double values[], int count)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    if (!times || !values || count < 0) return UIE_INVALID_ARGUMENT;
    if (count > 0) w->addPoints(times, values, count);
    return 0;
}

int AddTimeViewMarker(int view, double time, int color, const char *label, const char *detail)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    w->addMarker(time, QColor::fromRgb(QRgb(color) & 0xffffffu),
                 QString::fromUtf8(label ? label : ""), QString::fromUtf8(detail ? detail : ""));
    return 0;
}

int AddTimeViewMarkerItem(int view, double time, int color, const char *label, const char *detail,
                          const char *item, int tag)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    if (!item || tag < 0) return UIE_INVALID_ARGUMENT;
    w->addMarker(time, QColor::fromRgb(QRgb(color) & 0xffffffu),
                 QString::fromUtf8(label ? label : ""), QString::fromUtf8(detail ? detail : ""),
                 QString::fromUtf8(item), tag);
    return 0;
}

int SetTimeViewKeep(int view, double seconds, int points)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    w->setKeep(seconds, points);
    return 0;
}

int ClearTimeView(int view)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    w->clear();
    return 0;
}

int SetTimeViewFollow(int view, int follow)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    w->setFollow(follow != 0);
    return 0;
}

int ShowWholeTimeView(int view)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    w->showWhole();
    return 0;
}

int ExportTimeView(int view, const char *fileName)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    if (!fileName) return UIE_INVALID_ARGUMENT;
    return w->exportTo(QString::fromLocal8Bit(fileName)) ? 0 : UIE_INVALID_ARGUMENT;
}

int GetTimeViewSpan(int view, double *from, double *to)
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    if (!from || !to) return UIE_INVALID_ARGUMENT;
    const auto [first, last] = w->spanForExport();
    *from = first;
    *to = last;
    return 0;
}

int GetTimeViewExportFile(int view, char path[])
{
    TimeViewWindow *w = timeViewWindow(view);
    if (!w) return UIE_INVALID_PANEL;
    if (!path) return UIE_INVALID_ARGUMENT;
    const QByteArray bytes = QFile::encodeName(w->exportFile());
    if (bytes.size() >= MAX_PATHNAME_LEN) return UIE_PATH_TOO_LONG;
    std::memcpy(path, bytes.constData(), std::size_t(bytes.size()) + 1);
    return 0;
}
