#include "historywindow.h"

#include "csv.h"
#include "journal.h"
#include "keep.h"
#include "livering.h"
#include "measure.h"
#include "paranames.h"
#include "paths.h"
#include "recording.h"
#include "setreview.h"
#include "state.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "userint.h"
#include "utility.h"
#include "wholefile.h"

namespace kivrel
{

static const double FollowSeconds = 60.0; // what a new window shows while it follows

static const char TraceNames[] = "DAT0,DAT1,NORM,TRSH,HYST";
// The strip chart's colours, as the panel file gives them.
static const int TraceColors[HistoryTraces] = {0x1F77B4, 0xFF7F0E, 0x2CA02C, 0xD62728, 0x9467BD};
static const int ReadColor = 0x4A6A8A;
static const int WriteColor = 0xB03A2E;

// A parameter as the panel shows it: power in percent of full intensity, or the byte where it
// has no percent.
static void AppendValue(char *text, int size, int index, unsigned char value)
{
    char power[48];
    DescribePower(value, power, sizeof power);
    if (paraNames[index].kind == PARA_POWER)
        Append(text, size, "%s", power);
    else
        Append(text, size, "%u", value);
}

// The whole set, five parameters a line, each line begun with `lineStart`.
static void AppendSet(char *text, int size, const unsigned char *set, const char *lineStart)
{
    for (int i = 0; i < AnzPara; i++) {
        Append(text, size,
               i == 0       ? "%s%s "
               : i % 5 == 0 ? ",%s%s "
                            : ", %s%s ",
               i > 0 && i % 5 == 0 ? lineStart : "", paraNames[i].name);
        AppendValue(text, size, i, set[i]);
    }
}

// The sets of the transfers a window shows, for its lines' *Load this set into the panel*: a ring
// a window, a marker's tag its running number there, so a tag whose set has left is known.
enum { ShownWindows = 2, ShownMost = 2048 };
struct ShownTransfer {
    double time;
    int direction, where;
    unsigned char set[AnzPara];
};
static struct ShownRing {
    int view; // 0 for a free ring
    int next; // the tag of the next transfer shown
    ShownTransfer transfers[ShownMost];
} shownRings[ShownWindows];

static ShownRing *RingOf(int view, int claim)
{
    ShownRing *free = nullptr;
    for (ShownRing &ring : shownRings) {
        if (ring.view == view) return &ring;
        if (!free && ring.view == 0) free = &ring;
    }
    if (!claim || !free) return nullptr;
    free->view = view;
    free->next = 0;
    return free;
}

// The tag of the transfer kept for `view`, or -1 when the window has no ring.
static int KeepShownTransfer(int view, double time, int direction, int where,
                             const unsigned char *set)
{
    ShownRing *ring = RingOf(view, 1);
    if (!ring || ring->next == INT32_MAX) return -1;
    ShownTransfer &t = ring->transfers[ring->next % ShownMost];
    t.time = time;
    t.direction = direction;
    t.where = where;
    std::memcpy(t.set, set, AnzPara);
    return ring->next++;
}

static void ForgetShownTransfers(int view)
{
    if (ShownRing *ring = RingOf(view, 0)) ring->view = 0;
}

void ClearHistoryWindow(int view)
{
    ClearTimeView(view);
    ForgetShownTransfers(view);
}

void DiscardHistoryWindow(int view)
{
    ForgetShownTransfers(view);
    DiscardTimeView(view);
}

int LoadShownTransfer(int view, int tag)
{
    const ShownRing *ring = RingOf(view, 0);
    if (!ring || tag < 0 || tag >= ring->next || ring->next - tag > ShownMost) return -1;
    const ShownTransfer &t = ring->transfers[tag % ShownMost];
    char stamp[40], what[80];
    int offset = 0;
    ClockNowAndOffset(&offset);
    CsvTimeStampAt(stamp, sizeof stamp, t.time, offset);
    std::snprintf(what, sizeof what, "%s %s %.10s %.8s", JournalDirectionName(t.direction),
                  JournalTargetName(t.where), stamp, stamp + 11);
    LoadSetForReview(t.set, what);
    return 0;
}

void ShowTransfer(int view, double time, int direction, int where, const char *place,
                  const char *who, const unsigned char *before, const unsigned char *after,
                  int offerLoad)
{
    char label[32];
    char detail[1024] = "";
    std::snprintf(label, sizeof label, "%s %s", JournalDirectionName(direction),
                  JournalTargetName(where));
    Append(detail, sizeof detail, "%s", place);
    if (who[0]) Append(detail, sizeof detail, " · by %s", who);
    int changed = 0;
    for (int i = 0; i < AnzPara; i++) {
        if (before && before[i] != after[i]) {
            Append(detail, sizeof detail, "\n%s ", paraNames[i].name);
            AppendValue(detail, sizeof detail, i, before[i]);
            Append(detail, sizeof detail, " → ");
            AppendValue(detail, sizeof detail, i, after[i]);
            changed++;
        }
    }
    if (!before) {
        Append(detail, sizeof detail, "\nset: ");
        AppendSet(detail, sizeof detail, after, "\n");
    }
    if (before && !changed) Append(detail, sizeof detail, "\nno parameter changed");
    const int color = direction == TRANSFER_WRITE ? WriteColor : ReadColor;
    const int tag = offerLoad ? KeepShownTransfer(view, time, direction, where, after) : -1;
    if (tag >= 0)
        AddTimeViewMarkerItem(view, time, color, label, detail, "Load this set into the panel",
                              tag);
    else
        AddTimeViewMarker(view, time, color, label, detail);
}

int NewHistoryWindow(const char *exportName, TimeViewCallbackPtr callback)
{
    const int view =
        NewTimeView(HistoryTraces, TraceNames, TraceColors, 0.0, 255.0, FollowSeconds, callback);
    if (view <= 0) return view;
    SetTimeViewText(view, TIMEVIEW_EXPORT_NAME, exportName);
    SetTimeViewText(view, TIMEVIEW_PAGE_HEADING, "KIVREL-Vired — History");
    SetTimeViewText(view, TIMEVIEW_VALUE_AXIS, "Signal (sensor counts, 0 to 255)");
    return view;
}

void ShowPageSettings(int view, double time, int direction, int where, const char *place,
                      const unsigned char *set)
{
    char text[1024];
    if (!set) {
        ShowPageSettingsText(view, "no transfer known before it");
        return;
    }
    char stamp[40];
    int offset = 0;
    ClockNowAndOffset(&offset);
    CsvTimeStampAt(stamp, sizeof stamp, time, offset);
    std::snprintf(
        text, sizeof text, "Parameter set in force at the end of the span: %s %s %.10s %.8s, %s\n",
        JournalDirectionName(direction), JournalTargetName(where), stamp, stamp + 11, place);
    AppendSet(text, sizeof text, set, "\n");
    SetTimeViewText(view, TIMEVIEW_PAGE_SETTINGS, text);
}

void ShowPageSettingsText(int view, const char *why)
{
    char text[1024];
    std::snprintf(text, sizeof text, "Parameter set in force at the end of the span: %s", why);
    SetTimeViewText(view, TIMEVIEW_PAGE_SETTINGS, text);
}

int SpanExportTarget(int view, const char *shown, char path[], double *from, double *to)
{
    const int got = GetTimeViewExportFile(view, path);
    if (got == UIE_PATH_TOO_LONG)
        std::snprintf(szKeepError, sizeof szKeepError, "the path is longer than %d bytes",
                      MAX_PATHNAME_LEN - 1);
    else if (got != 0 || GetTimeViewSpan(view, from, to) != 0)
        return -1;
    // Files, not names: a link, a hard link or a linked folder names the same rows. Written
    // over, the recording would keep only the span, or lose what REC writes after it.
    else if (shown && SameFile(path, shown))
        std::snprintf(szKeepError, sizeof szKeepError, "%s is the recording shown",
                      FileNameOf(path));
    else if (RecordingFile() && SameFile(path, RecordingFile()))
        std::snprintf(szKeepError, sizeof szKeepError, "%s is the recording being made",
                      FileNameOf(path));
    else
        return 0;
    char status[sizeof szKeepError + 32];
    std::snprintf(status, sizeof status, "Not exported: %s", szKeepError);
    SetTimeViewText(view, TIMEVIEW_STATUS, status);
    return -1;
}

int TellSpanExport(int view, const char *path, int rows)
{
    char status[MAX_PATHNAME_LEN + 320];
    if (rows < 0)
        std::snprintf(status, sizeof status, "Not exported: cannot write %s (%s)", FileNameOf(path),
                      szKeepError);
    else
        std::snprintf(status, sizeof status, "Exported %d row%s: %s", rows, rows == 1 ? "" : "s",
                      FileNameOf(path));
    SetTimeViewText(view, TIMEVIEW_STATUS, status);
    return rows < 0 ? -1 : 0;
}

} // namespace kivrel
