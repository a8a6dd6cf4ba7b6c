#include "runhistory.h"

#include "journal.h"
#include "measure.h"
#include "paranames.h"
#include "portname.h"
#include "paths.h"
#include "recreader.h"
#include "state.h"

#include "cvirte.h"
#include "formatio.h"
#include "rs232.h"
#include "timeview.h"
#include "userint.h"
#include "utility.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kivrel
{

// Ten minutes of records at up to 13 a second (the line gives about nine); 128 KiB.
static constexpr int HistoryRecords = 8192;
static constexpr int HistoryTransfers = 256;
static constexpr int HistoryTraces = 5;
static constexpr int PlaceSize = 160;
static const double HistorySeconds = 600.0;
static const double FollowSeconds = 60.0; // what a new window shows while it follows

static const char TraceNames[] = "DAT0,DAT1,NORM,TRSH,HYST";
// The strip chart's colours, as the panel file gives them.
static const int TraceColors[HistoryTraces] = {0x1F77B4, 0xFF7F0E, 0x2CA02C, 0xD62728, 0x9467BD};
static const int ReadColor = 0x4A6A8A;
static const int WriteColor = 0xB03A2E;

struct HistoryRecord {
    double time; // seconds since the epoch
    unsigned char values[HistoryTraces];
};

struct HistoryTransfer {
    double time;
    int direction, where;
    int hasBefore;
    unsigned char before[AnzPara], after[AnzPara];
    char place[PlaceSize]; // "COM1 (ttyUSB0)", or the name of the file
};

static HistoryRecord records[HistoryRecords];
static int recordFirst, recordCount;
static HistoryTransfer transfers[HistoryTransfers];
static int transferFirst, transferCount;
static unsigned char lastSet[AnzPara]; // the set of the last transfer
static int lastSetKnown;

static int liveView = -1; // the HISTORY window
static int fileView = -1; // the window showing a recording
static int alone;         // --view: that window is the whole program

// ---- Texts -----------------------------------------------------------------------------------

static void Append(char *text, int size, const char *format, ...)
{
    const int used = static_cast<int>(std::strlen(text));
    if (used >= size - 1) return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + used, static_cast<size_t>(size - used), format, args);
    va_end(args);
}

static double ClockNow(void)
{
    LocalDateTime t{};
    GetLocalDateTime(&t);
    return EpochSeconds(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond,
                        t.utcOffsetMinutes);
}

// A journal row's port: "COM1 (ttyUSB0)", "COM1" when the number had no device, the device
// alone when no number mapped it.
static void PortText(char *text, int size, int port, const char *device)
{
    if (port == 0)
        std::snprintf(text, static_cast<size_t>(size), "%.140s", device);
    else if (device[0])
        std::snprintf(text, static_cast<size_t>(size), "COM%d (%.140s)", port, device);
    else
        std::snprintf(text, static_cast<size_t>(size), "COM%d", port);
}

static void CurrentPort(char *text, int size)
{
    ComLabel(com, text, size);
}

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

// The marker of a transfer: "write RAM" on its line; where, who, and what changed from the
// set before (or the whole set when none is known) under the pointer.
static void ShowTransfer(int view, double time, int direction, int where, const char *place,
                         const char *who, const unsigned char *before, const unsigned char *after)
{
    char label[32];
    char detail[1024] = "";
    std::snprintf(label, sizeof label, "%s %s", JournalDirectionName(direction),
                  JournalTargetName(where));
    Append(detail, sizeof detail, "%s", place);
    if (who[0]) Append(detail, sizeof detail, " · by %s", who);
    int changed = 0;
    for (int i = 0; i < AnzPara; i++) {
        if (!before) {
            Append(detail, sizeof detail,
                   i == 0       ? "\nset: %s "
                   : i % 5 == 0 ? ",\n%s "
                                : ", %s ",
                   paraNames[i].name);
            AppendValue(detail, sizeof detail, i, after[i]);
        } else if (before[i] != after[i]) {
            Append(detail, sizeof detail, "\n%s ", paraNames[i].name);
            AppendValue(detail, sizeof detail, i, before[i]);
            Append(detail, sizeof detail, " → ");
            AppendValue(detail, sizeof detail, i, after[i]);
            changed++;
        }
    }
    if (before && !changed) Append(detail, sizeof detail, "\nno parameter changed");
    AddTimeViewMarker(view, time, direction == TRANSFER_WRITE ? WriteColor : ReadColor, label,
                      detail);
}

static void ShowStoredTransfer(const HistoryTransfer &t)
{
    ShowTransfer(liveView, t.time, t.direction, t.where, t.place, "",
                 t.hasBefore ? t.before : nullptr, t.after);
}

// ---- The run's history -----------------------------------------------------------------------

static void RecordValues(const HistoryRecord &r, double *values)
{
    for (int t = 0; t < HistoryTraces; t++)
        values[t] = r.values[t];
}

void KeepHistory(void)
{
    const double now = ClockNow();
    if (recordCount == HistoryRecords) {
        recordFirst = (recordFirst + 1) % HistoryRecords;
        recordCount--;
    }
    HistoryRecord &r = records[(recordFirst + recordCount) % HistoryRecords];
    r.time = now;
    r.values[0] = dataDat0;
    r.values[1] = dataDat1;
    r.values[2] = dataNorm;
    r.values[3] = dataTrshWork;
    r.values[4] = dataHystWork;
    recordCount++;
    while (records[recordFirst].time < now - HistorySeconds) {
        recordFirst = (recordFirst + 1) % HistoryRecords;
        recordCount--;
    }
    if (liveView < 0) return;
    double values[HistoryTraces];
    RecordValues(r, values);
    AddTimeViewPoints(liveView, &now, values, 1);
}

static void ShowLiveCaption(void)
{
    char port[PlaceSize + 16];
    char title[PlaceSize + 64];
    CurrentPort(port, sizeof port);
    std::snprintf(title, sizeof title, "History — %s — KIVREL-Vired", port);
    SetTimeViewText(liveView, TIMEVIEW_TITLE, title);
    SetTimeViewText(liveView, TIMEVIEW_CAPTION, port);
}

void NoteHistoryTransfer(int direction, int where)
{
    if (transferCount == HistoryTransfers) {
        transferFirst = (transferFirst + 1) % HistoryTransfers;
        transferCount--;
    }
    HistoryTransfer &t = transfers[(transferFirst + transferCount) % HistoryTransfers];
    transferCount++;
    t.time = ClockNow();
    t.direction = direction;
    t.where = where;
    t.hasBefore = lastSetKnown;
    std::memcpy(t.before, lastSet, sizeof lastSet);
    std::memcpy(t.after, pp, sizeof t.after);
    if (where == DATFILE)
        std::snprintf(t.place, sizeof t.place, "%.150s", FileNameOf(file_name));
    else
        CurrentPort(t.place, sizeof t.place);
    std::memcpy(lastSet, pp, sizeof lastSet);
    lastSetKnown = 1;
    if (liveView < 0) return;
    ShowStoredTransfer(t);
    ShowLiveCaption(); // a connect may have changed the port
}

static int CBV_History(int view, int event, void *, int eventData1, int);

static int NewHistoryWindow(const char *exportName)
{
    const int view =
        NewTimeView(HistoryTraces, TraceNames, TraceColors, 0.0, 255.0, FollowSeconds, CBV_History);
    if (view > 0) SetTimeViewText(view, TIMEVIEW_EXPORT_NAME, exportName);
    return view;
}

// The run's records, oldest first, in batches.
static void FillLiveView(void)
{
    constexpr int Batch = 512;
    static double times[Batch];
    static double values[Batch * HistoryTraces];
    int n = 0;
    for (int i = 0; i < recordCount; i++) {
        const HistoryRecord &r = records[(recordFirst + i) % HistoryRecords];
        times[n] = r.time;
        RecordValues(r, values + n * HistoryTraces);
        if (++n == Batch || i == recordCount - 1) {
            AddTimeViewPoints(liveView, times, values, n);
            n = 0;
        }
    }
    const double oldest = ClockNow() - HistorySeconds;
    for (int i = 0; i < transferCount; i++) {
        const HistoryTransfer &t = transfers[(transferFirst + i) % HistoryTransfers];
        if (t.time >= oldest) ShowStoredTransfer(t);
    }
}

void ShowHistory(void)
{
    if (liveView < 0) {
        liveView = NewHistoryWindow("kivrel-history");
        if (liveView < 0) return;
        SetTimeViewKeep(liveView, HistorySeconds, HistoryRecords);
        SetTimeViewText(liveView, TIMEVIEW_STATUS,
                        "The last ten minutes of this run and its parameter transfers.   Wheel: "
                        "zoom   drag: look back   double click: all   End: follow");
        FillLiveView();
    }
    ShowLiveCaption();
    DisplayTimeView(liveView);
}

// ---- Recordings ------------------------------------------------------------------------------

static constexpr int RowBatch = 512;
static double rowTimes[RowBatch];
static double rowValues[RowBatch * HistoryTraces];
static int rowCount;
static int rowsTaken;
static double spanFirst, spanLast; // the earliest and the latest row: a clock may have jumped
static char chunk[65536];

static void FlushRows(void)
{
    if (rowCount > 0) AddTimeViewPoints(fileView, rowTimes, rowValues, rowCount);
    rowCount = 0;
}

static void TakeRow(const RecRow *row)
{
    if (rowsTaken++ == 0 || row->time < spanFirst) spanFirst = row->time;
    if (rowsTaken == 1 || row->time > spanLast) spanLast = row->time;
    rowTimes[rowCount] = row->time;
    double *v = rowValues + rowCount * HistoryTraces;
    v[0] = row->dat0;
    v[1] = row->dat1;
    v[2] = row->norm;
    v[3] = row->threshold;
    v[4] = row->hysteresis;
    if (++rowCount == RowBatch) FlushRows();
}

// The journal's rows of the recording's span become markers, each against the row before it
// of the same device and memory: with two sensors in one journal, the other sensor's set says
// nothing about what changed on this one.
enum { JournalSets = 32 };
struct JournalSet {
    char device[sizeof JournalRow::device];
    int where;
    unsigned char values[AnzPara];
};
static JournalSet journalSets[JournalSets];
static int journalSetCount; // in use, the most recently seen last
static int journalShown;

// The set last seen for this row's device and memory, or null; then the row's set is that one.
static const unsigned char *SwapJournalSet(const JournalRow *row, unsigned char before[AnzPara])
{
    int at = 0;
    while (at < journalSetCount && (journalSets[at].where != row->where ||
                                    std::strcmp(journalSets[at].device, row->device) != 0))
        at++;
    const int known = at < journalSetCount;
    if (known)
        std::memcpy(before, journalSets[at].values, AnzPara);
    else if (journalSetCount < JournalSets)
        journalSetCount++;
    else
        at = 0; // the one seen longest ago makes room
    JournalSet entry{};
    std::memcpy(entry.device, row->device, sizeof entry.device);
    entry.where = row->where;
    std::memcpy(entry.values, row->values, AnzPara);
    std::memmove(journalSets + at, journalSets + at + 1,
                 sizeof(JournalSet) * static_cast<size_t>(journalSetCount - 1 - at));
    journalSets[journalSetCount - 1] = entry;
    return known ? before : nullptr;
}

static void TakeJournalRow(const JournalRow *row)
{
    unsigned char before[AnzPara];
    const unsigned char *previous = SwapJournalSet(row, before);
    if (row->time < spanFirst || row->time > spanLast) return;
    char place[PlaceSize + 16];
    if (row->where == DATFILE)
        std::snprintf(place, sizeof place, "%.150s", FileNameOf(row->device));
    else
        PortText(place, sizeof place, row->port, row->device);
    ShowTransfer(fileView, row->time, row->direction, row->where, place, row->who, previous,
                 row->values);
    journalShown++;
}

// Day numbers of the first ten characters of a time stamp, "2026-12-08".
static long DayOfStamp(const char *stamp)
{
    int year = 0, month = 0, day = 0;
    if (std::sscanf(stamp, "%4d-%2d-%2d", &year, &month, &day) != 3) return 0;
    return DayNumber(year, month, day);
}

static void ShowJournalTransfers(const RecTally &tally)
{
    char dir[MAX_PATHNAME_LEN + 16];
    char path[sizeof dir + 16];
    journalSetCount = 0;
    journalShown = 0;
    if (GetUserDataDir(dir) != 0) return;
    std::strcat(dir, "/journal");
    // The days of the first and the last row, and one either side: a row's day is that of its
    // own time stamp, and the day before holds the set the first transfer changed.
    long firstDay = DayOfStamp(tally.firstStamp), lastDay = DayOfStamp(tally.lastStamp);
    if (lastDay < firstDay) {
        const long day = firstDay;
        firstDay = lastDay;
        lastDay = day;
    }
    if (lastDay - firstDay > 31) lastDay = firstDay + 31; // a month's files at most
    for (long day = firstDay - 1; day <= lastDay + 1; day++) {
        char name[11];
        DayName(day, name);
        std::snprintf(path, sizeof path, "%s/%s.csv", dir, name);
        const int file = OpenFile(path, VAL_READ_ONLY, 0, VAL_ASCII);
        if (file < 0) continue; // no transfer that day
        BeginJournalReading(TakeJournalRow);
        int n = 0;
        while ((n = ReadFile(file, chunk, sizeof chunk)) > 0)
            FeedJournalReading(chunk, n);
        EndJournalReading();
        CloseFile(file);
    }
}

// Reads `path` into the recording window; the status line says what came of it. 0, or -1 when
// nothing could be shown.
static int LoadRecording(const char *path, char *status, int size)
{
    const char *name = FileNameOf(path);
    const int file = OpenFile(path, VAL_READ_ONLY, 0, VAL_ASCII);
    if (file < 0) {
        std::snprintf(status, static_cast<size_t>(size), "Not opened: %s: %s", name,
                      GetFileErrorText());
        return -1;
    }
    rowCount = rowsTaken = 0;
    BeginRecReading(TakeRow);
    int n = 0;
    while (!RecReadingRefused() && (n = ReadFile(file, chunk, sizeof chunk)) > 0)
        FeedRecReading(chunk, n);
    CloseFile(file);
    RecTally tally{};
    EndRecReading(&tally);
    FlushRows();
    if (!tally.isRecording) {
        ClearTimeView(fileView);
        std::snprintf(status, static_cast<size_t>(size), "Not a recording: %s %s", name,
                      tally.empty       ? "is empty"
                      : tally.isJournal ? "is the parameter journal"
                                        : "does not begin with the header REC writes");
        return -1;
    }
    if (tally.rows == 0)
        std::snprintf(status, static_cast<size_t>(size), "%s: a recording without rows", name);
    else {
        ShowJournalTransfers(tally);
        std::snprintf(status, static_cast<size_t>(size),
                      "%s: %d rows from %.10s %.8s to %.8s, %d parameter transfers", name,
                      tally.rows, tally.firstStamp, tally.firstStamp + 11, tally.lastStamp + 11,
                      journalShown);
    }
    const int skipped = tally.cutShort + tally.extraColumns + tally.unreadable;
    if (skipped) {
        Append(status, size, "; skipped %d row%s:", skipped, skipped == 1 ? "" : "s");
        const char *sep = " ";
        if (tally.cutShort) {
            Append(status, size, "%s%d cut short", sep, tally.cutShort);
            sep = ", ";
        }
        if (tally.extraColumns) {
            Append(status, size, "%s%d with extra columns", sep, tally.extraColumns);
            sep = ", ";
        }
        if (tally.unreadable) Append(status, size, "%s%d unreadable", sep, tally.unreadable);
    }
    if (tally.mended)
        Append(status, size, "; %d row%s mended (seconds written with a comma)", tally.mended,
               tally.mended == 1 ? "" : "s");
    if (n < 0) Append(status, size, "; reading stopped: %s", GetFileErrorText());
    return 0;
}

void OpenRecordingView(const char *path)
{
    if (fileView < 0) {
        fileView = NewHistoryWindow("kivrel-recording");
        if (fileView < 0) return;
    }
    const char *name = FileNameOf(path);
    char title[MAX_PATHNAME_LEN + 32];
    char status[512];
    ClearTimeView(fileView);
    std::snprintf(title, sizeof title, "%s — KIVREL-Vired", name);
    SetTimeViewText(fileView, TIMEVIEW_TITLE, title);
    SetTimeViewText(fileView, TIMEVIEW_CAPTION, name);
    const int rc = LoadRecording(path, status, sizeof status);
    SetTimeViewText(fileView, TIMEVIEW_STATUS, status);
    if (rc != 0 && alone) {
        std::fprintf(stderr, "kivrel: %s\n", status);
        std::fflush(stderr);
    }
    ShowWholeTimeView(fileView);
    DisplayTimeView(fileView);
}

// ---- The windows -----------------------------------------------------------------------------

static int CBV_History(int view, int event, void *, int eventData1, int)
{
    if (event == EVENT_CLOSE) {
        DiscardTimeView(view);
        if (view == liveView) liveView = -1;
        if (view == fileView) fileView = -1;
        if (alone && fileView < 0) QuitUserInterface(0);
    } else if (event == EVENT_COMMIT && eventData1 == TIMEVIEW_OPEN) {
        char path[MAX_PATHNAME_LEN];
        const int chosen =
            FileSelectPopup(proj_dir, "", "*.csv", "Open a recording", 3, 0, 0, 1, 0, path);
        if (chosen == UIE_PATH_TOO_LONG)
            SetTimeViewText(view, TIMEVIEW_STATUS, "Not opened: the path is longer than 259 bytes");
        if (chosen > 0) OpenRecordingView(path);
    }
    return 0;
}

int ViewRecordingAlone(void *hInstance, const char *path)
{
    if (InitCVIRTE(hInstance, nullptr, nullptr) == 0) return -1;
    GetProjectDir(proj_dir);
    alone = 1;
    OpenRecordingView(path);
    const int rc = fileView < 0 ? -1 : 0;
    if (rc == 0) RunUserInterface();
    CloseHistory();
    alone = 0;
    return rc;
}

int HistoryView(void)
{
    return liveView;
}

int RecordingView(void)
{
    return fileView;
}

void CloseHistory(void)
{
    if (liveView >= 0) DiscardTimeView(liveView);
    if (fileView >= 0) DiscardTimeView(fileView);
    liveView = fileView = -1;
}

void ForgetHistory(void)
{
    recordFirst = recordCount = 0;
    transferFirst = transferCount = 0;
    lastSetKnown = 0;
}

} // namespace kivrel
