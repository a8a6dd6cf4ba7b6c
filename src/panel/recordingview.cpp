#include "recordingview.h"

#include "historywindow.h"
#include "journalset.h"
#include "journalspan.h"
#include "livering.h"
#include "paths.h"
#include "recload.h"
#include "recwords.h"
#include "spanfile.h"
#include "state.h"

#include "formatio.h"
#include "timeview.h"
#include "userint.h"
#include "utility.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kivrel
{

static int fileView = -1; // the window showing a recording
static int alone;         // --view: that window is the whole program

static constexpr int RowBatch = 512;
static double rowTimes[RowBatch];
static double rowValues[RowBatch * HistoryTraces];
static int rowCount;
static int rowsTaken;
static double spanFirst, spanLast; // the earliest and the latest row: a clock may have jumped

// The recording being read, a step at a time from the event loop.
static const double StepSeconds = 0.015; // at most this much reading a turn
static const long ShortestRow = 49;      // bytes of the shortest row REC writes
static const int MostRowsRoom = 8 << 20; // rows room is taken for at once, at most
static RecordingLoad load = {-1, 0, 0, {}, {}};
static char loadPath[MAX_PATHNAME_LEN];
static int loadPercent;                        // as the status line shows it
static int stepPosted;                         // a step waits in the event loop
static int loadShown;                          // the file read was a recording
static int loadRows;                           // the rows it held
static char recordingFolder[MAX_PATHNAME_LEN]; // of the last recording written or opened

// The sensors the journal names for the recording's span (JournalSensorsOf), for the report
// page's set in force.
enum { SensorsNamed = 3 };
static char fileSensors[SensorsNamed][JournalDeviceSize];
static int fileSensorCount;

static void PostLoadStep(void);

static void FlushRows(void)
{
    if (rowCount > 0) AddTimeViewPoints(fileView, rowTimes, rowValues, rowCount);
    rowCount = 0;
}

static void TakeRow(const RecRow *row, void *)
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

// The journal's rows of the recording's span become markers, each against the row before it.
static void TakeJournalRow(const JournalRow *row, const unsigned char *before, void *)
{
    char place[PlaceSize + 16];
    if (row->where == DATFILE)
        std::snprintf(place, sizeof place, "%.150s", FileNameOf(row->device));
    else
        PortText(place, sizeof place, row->port, row->device);
    // Without a panel (--view) there is nowhere to load a set into.
    ShowTransfer(fileView, row->time, row->direction, row->where, place, row->who, before,
                 row->values, !alone);
}

// Shows what the file held, once it has all been read: its rows, the journal's transfers of its
// span, and the status line's account of it.
static void EndLoad(int readFailed)
{
    char status[512];
    RecTally tally{};
    EndRecordingLoad(&load, &tally);
    FlushRows();
    int transfers = 0;
    if (tally.isRecording && tally.rows > 0) {
        transfers = ReadJournalSpan(&tally, spanFirst, spanLast, TakeJournalRow, nullptr);
        fileSensorCount = JournalSensorsOf(spanFirst, spanLast, fileSensors, SensorsNamed);
    }
    const int rc = DescribeRecording(FileNameOf(loadPath), &tally, transfers, readFailed, status,
                                     sizeof status);
    loadShown = rc == 0;
    loadRows = tally.rows;
    if (loadShown) NoteRecordingFolder(loadPath);
    if (rc != 0) ClearHistoryWindow(fileView);
    SetTimeViewText(fileView, TIMEVIEW_STATUS, status);
    if (rc != 0 && alone) {
        std::fprintf(stderr, "kivrel: %s\n", status);
        std::fflush(stderr);
    }
    ShowWholeTimeView(fileView);
}

// One step of reading: chunks for StepSeconds at most, then back to the event loop, so polling
// and the operator wait at most that long behind it; the next step comes from there.
static void LoadStep(void *)
{
    stepPosted = 0;
    if (!RecordingLoadOpen(&load)) return;
    const int more = ContinueRecordingLoad(&load, StepSeconds);
    if (more <= 0) {
        EndLoad(more < 0);
        return;
    }
    const int percent = RecordingLoadPercent(&load);
    if (percent != loadPercent) {
        char status[MAX_PATHNAME_LEN + 32];
        loadPercent = percent;
        std::snprintf(status, sizeof status, "Reading %s … %d %%", FileNameOf(loadPath),
                      percent < 100 ? percent : 99);
        SetTimeViewText(fileView, TIMEVIEW_STATUS, status);
    }
    PostLoadStep();
}

static void PostLoadStep(void)
{
    if (stepPosted) return;
    stepPosted = PostDeferredCall(LoadStep, nullptr) == 0;
}

// A load under way ends where it is, showing nothing more.
static void CancelLoad(void)
{
    EndRecordingLoad(&load, nullptr);
    rowCount = 0;
}

// The set in force at `time` on the sensor the journal names for the recording, for the report
// page. With two sensors named, which one the recording watched is not known.
static void ShowFileSettings(int view, double time)
{
    if (RecordingLoadOpen(&load)) {
        ShowPageSettingsText(view, "not known yet: the recording is still being read");
        return;
    }
    if (fileSensorCount > 1) {
        char text[SensorsNamed * (JournalDeviceSize + 8) + 64] = "not known (the journal names ";
        const int named = fileSensorCount < SensorsNamed ? fileSensorCount : SensorsNamed;
        for (int i = 0; i < named; i++)
            Append(text, sizeof text, "%s%s",
                   i == 0                     ? ""
                   : i == fileSensorCount - 1 ? " and "
                                              : ", ",
                   fileSensors[i]);
        Append(text, sizeof text, "%s)", fileSensorCount > named ? ", …" : "");
        ShowPageSettingsText(view, text);
        return;
    }
    JournalRow row{};
    if (fileSensorCount == 0 ||
        !JournalSetAt(fileSensors[0], JOURNAL_EITHER_MEMORY, time, JournalLookBackDays, &row)) {
        ShowPageSettings(view, 0, 0, 0, "", nullptr);
        return;
    }
    char place[PlaceSize + 16];
    PortText(place, sizeof place, row.port, row.device);
    ShowPageSettings(view, row.time, row.direction, row.where, place, row.values);
}

// The rows of the span shown, copied from the file as it stands.
static int ExportFileSpan(int view)
{
    char path[MAX_PATHNAME_LEN];
    double from = 0, to = 0;
    if (RecordingLoadOpen(&load) || !loadShown) {
        SetTimeViewText(view, TIMEVIEW_STATUS,
                        RecordingLoadOpen(&load) ? "Not exported: the recording is still being read"
                                                 : "Not exported: no recording shown");
        return -1;
    }
    if (SpanExportTarget(view, loadPath, path, &from, &to) != 0) return -1;
    return TellSpanExport(view, path, CopyRecordingSpan(loadPath, path, from, to));
}

static int CBV_Recording(int view, int event, void *, int eventData1, int eventData2)
{
    if (event == EVENT_CLOSE) {
        CancelLoad();
        DiscardHistoryWindow(view);
        fileView = -1;
        if (alone) QuitUserInterface(0);
    } else if (event == EVENT_COMMIT && eventData1 == TIMEVIEW_MARKER_ITEM) {
        LoadShownTransfer(view, eventData2);
    } else if (event == EVENT_COMMIT && eventData1 == TIMEVIEW_OPEN) {
        AskForRecording(view);
    } else if (event == EVENT_COMMIT && eventData1 == TIMEVIEW_EXPORT_PAGE) {
        double from = 0, to = 0;
        GetTimeViewSpan(view, &from, &to);
        ShowFileSettings(view, to);
    } else if (event == EVENT_COMMIT && eventData1 == TIMEVIEW_EXPORT_SPAN) {
        return ExportFileSpan(view);
    }
    return 0;
}

void NoteRecordingFolder(const char *path)
{
    char absolute[MAX_PATHNAME_LEN];
    GetAbsolutePath(path, absolute, sizeof absolute);
    const char *name = FileNameOf(absolute);
    std::snprintf(recordingFolder, sizeof recordingFolder, "%.*s",
                  static_cast<int>(name - absolute), absolute);
}

// Makes the window when needed and begins reading `path` into it. 0, or -1 when the file
// cannot be opened (the status line says why).
static int BeginLoad(const char *path)
{
    CancelLoad();
    if (fileView < 0) {
        fileView = NewHistoryWindow("kivrel-recording", CBV_Recording);
        if (fileView < 0) return -1;
    }
    const char *name = FileNameOf(path);
    char title[MAX_PATHNAME_LEN + 32];
    ClearHistoryWindow(fileView);
    fileSensorCount = 0;
    loadShown = 0;
    std::snprintf(title, sizeof title, "%s — KIVREL-Vired", name);
    SetTimeViewText(fileView, TIMEVIEW_TITLE, title);
    SetTimeViewText(fileView, TIMEVIEW_CAPTION, name);
    std::snprintf(loadPath, sizeof loadPath, "%s", path);
    char source[MAX_PATHNAME_LEN + 16] = "Recording ";
    GetAbsolutePath(path, source + 10, MAX_PATHNAME_LEN);
    SetTimeViewText(fileView, TIMEVIEW_PAGE_SOURCE, source);
    rowCount = rowsTaken = 0;
    if (BeginRecordingLoad(&load, path, TakeRow, nullptr) != 0) {
        char status[MAX_PATHNAME_LEN + 128];
        std::snprintf(status, sizeof status, "Not opened: %s: %s", name, GetFileErrorText());
        SetTimeViewText(fileView, TIMEVIEW_STATUS, status);
        if (alone) {
            std::fprintf(stderr, "kivrel: %s\n", status);
            std::fflush(stderr);
        }
        ShowWholeTimeView(fileView);
        return -1;
    }
    // Room for as many rows as the file can hold, taken at once: the points never move while
    // they come, and pages no row reaches are never touched.
    const long rows = load.size / ShortestRow + 1;
    SetTimeViewKeep(fileView, 0.0, rows < MostRowsRoom ? static_cast<int>(rows) : MostRowsRoom);
    loadPercent = -1;
    return 0;
}

void OpenRecordingView(const char *path)
{
    const int rc = BeginLoad(path);
    if (fileView < 0) return;
    // While it reads, the cleared window follows the newest rows read: cheap to draw, and it
    // shows the reading go on.
    DisplayTimeView(fileView);
    if (rc == 0) LoadStep(nullptr);
}

int ReadRecordingNow(const char *path)
{
    if (BeginLoad(path) != 0) return -1;
    while (RecordingLoadOpen(&load))
        LoadStep(nullptr);
    return loadShown ? loadRows : -1;
}

static void RecordingChosen(int chosen, const char *path, void *view)
{
    if (chosen == UIE_PATH_TOO_LONG)
        SetTimeViewText(static_cast<int>(reinterpret_cast<intptr_t>(view)), TIMEVIEW_STATUS,
                        "Not opened: the path is longer than 259 bytes");
    if (chosen > 0) OpenRecordingView(path);
}

void AskForRecording(int view)
{
    StartFileSelectPopup(recordingFolder[0] ? recordingFolder : proj_dir, "", "*.csv",
                         "Open a recording", 3, 0, 0, 1, 0, RecordingChosen,
                         reinterpret_cast<void *>(static_cast<intptr_t>(view)));
}

void RecordingViewAlone(int on)
{
    alone = on;
}

int RecordingView(void)
{
    return fileView;
}

int RecordingLoading(void)
{
    return RecordingLoadOpen(&load);
}

void CloseRecordingView(void)
{
    CancelLoad();
    if (fileView >= 0) DiscardHistoryWindow(fileView);
    fileView = -1;
}

} // namespace kivrel
