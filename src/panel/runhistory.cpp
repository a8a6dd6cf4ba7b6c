#include "runhistory.h"

#include "historywindow.h"
#include "livering.h"
#include "recordingview.h"
#include "spanfile.h"

#include "timeview.h"
#include "userint.h"
#include "utility.h"

#include <cstdio>

namespace kivrel
{

static int liveView = -1; // the HISTORY window

static void ShowStoredTransfer(const HistoryTransfer &t)
{
    ShowTransfer(liveView, t.time, t.direction, t.where, t.place, "",
                 t.hasBefore ? t.before : nullptr, t.after, 1);
}

static void RecordValues(const HistoryRecord &r, double *values)
{
    for (int t = 0; t < HistoryTraces; t++)
        values[t] = r.values[t];
}

void KeepHistory(void)
{
    const HistoryRecord &r = *KeepHistoryRecord();
    if (liveView < 0) return;
    double values[HistoryTraces];
    RecordValues(r, values);
    AddTimeViewPoints(liveView, &r.time, values, 1);
}

static void ShowLiveCaption(void)
{
    char port[PlaceSize + 16];
    char title[PlaceSize + 64];
    CurrentPort(port, sizeof port);
    std::snprintf(title, sizeof title, "History — %s — KIVREL-Vired", port);
    SetTimeViewText(liveView, TIMEVIEW_TITLE, title);
    SetTimeViewText(liveView, TIMEVIEW_CAPTION, port);
    std::snprintf(title, sizeof title, "Sensor on %s", port);
    SetTimeViewText(liveView, TIMEVIEW_PAGE_SOURCE, title);
}

// The set the last transfer up to `time` left, for the report page.
static void ShowLiveSettings(double time)
{
    for (int i = HistoryTransferCount() - 1; i >= 0; i--) {
        const HistoryTransfer &t = *HistoryTransferAt(i);
        if (t.time > time) continue;
        ShowPageSettings(liveView, t.time, t.direction, t.where, t.place, t.after);
        return;
    }
    ShowPageSettings(liveView, 0, 0, 0, "", nullptr);
}

void NoteHistoryTransfer(int direction, int where)
{
    const HistoryTransfer &t = *KeepHistoryTransfer(direction, where);
    if (liveView < 0) return;
    ShowStoredTransfer(t);
    ShowLiveCaption(); // a connect may have changed the port
}

// The run's records, oldest first, in batches.
static void FillLiveView(void)
{
    constexpr int Batch = 512;
    static double times[Batch];
    static double values[Batch * HistoryTraces];
    const int recordCount = HistoryRecordCount();
    int n = 0;
    for (int i = 0; i < recordCount; i++) {
        const HistoryRecord &r = *HistoryRecordAt(i);
        times[n] = r.time;
        RecordValues(r, values + n * HistoryTraces);
        if (++n == Batch || i == recordCount - 1) {
            AddTimeViewPoints(liveView, times, values, n);
            n = 0;
        }
    }
    const double oldest = ClockNow() - HistorySeconds;
    for (int i = 0; i < HistoryTransferCount(); i++) {
        const HistoryTransfer &t = *HistoryTransferAt(i);
        if (t.time >= oldest) ShowStoredTransfer(t);
    }
}

static int CBV_History(int view, int event, void *, int eventData1, int eventData2)
{
    if (event == EVENT_CLOSE) {
        DiscardHistoryWindow(view);
        liveView = -1;
    } else if (event == EVENT_COMMIT && eventData1 == TIMEVIEW_MARKER_ITEM) {
        LoadShownTransfer(view, eventData2);
    } else if (event == EVENT_COMMIT && eventData1 == TIMEVIEW_OPEN) {
        AskForRecording(view);
    } else if (event == EVENT_COMMIT && eventData1 == TIMEVIEW_EXPORT_PAGE) {
        double from = 0, to = 0;
        GetTimeViewSpan(view, &from, &to);
        ShowLiveSettings(to);
    } else if (event == EVENT_COMMIT && eventData1 == TIMEVIEW_EXPORT_SPAN) {
        char path[MAX_PATHNAME_LEN];
        double from = 0, to = 0;
        if (SpanExportTarget(view, nullptr, path, &from, &to) != 0) return -1;
        return TellSpanExport(view, path, WriteRunSpan(path, from, to));
    }
    return 0;
}

void ShowHistory(void)
{
    if (liveView < 0) {
        liveView = NewHistoryWindow("kivrel-history", CBV_History);
        if (liveView < 0) return;
        SetTimeViewKeep(liveView, HistorySeconds, HistoryRecords);
        SetTimeViewText(liveView, TIMEVIEW_STATUS,
                        "The last ten minutes of this run and its parameter transfers.   Click: "
                        "cursors   Ctrl+drag: zoom box   Wheel: zoom (Ctrl: values)   End: follow");
        FillLiveView();
    }
    ShowLiveCaption();
    DisplayTimeView(liveView);
}

int HistoryView(void)
{
    return liveView;
}

void CloseHistory(void)
{
    if (liveView >= 0) DiscardHistoryWindow(liveView);
    liveView = -1;
    CloseRecordingView();
}

void ForgetHistory(void)
{
    ForgetHistoryRing();
}

} // namespace kivrel
