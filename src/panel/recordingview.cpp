#include "recordingview.h"

#include "historywindow.h"
#include "journalspan.h"
#include "livering.h"
#include "paths.h"
#include "recreader.h"
#include "state.h"

#include "formatio.h"
#include "timeview.h"
#include "userint.h"
#include "utility.h"

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

// The journal's rows of the recording's span become markers, each against the row before it.
static void TakeJournalRow(const JournalRow *row, const unsigned char *before)
{
    char place[PlaceSize + 16];
    if (row->where == DATFILE)
        std::snprintf(place, sizeof place, "%.150s", FileNameOf(row->device));
    else
        PortText(place, sizeof place, row->port, row->device);
    ShowTransfer(fileView, row->time, row->direction, row->where, place, row->who, before,
                 row->values);
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
        const int transfers = ReadJournalSpan(&tally, spanFirst, spanLast, TakeJournalRow);
        std::snprintf(status, static_cast<size_t>(size),
                      "%s: %d rows from %.10s %.8s to %.8s, %d parameter transfers", name,
                      tally.rows, tally.firstStamp, tally.firstStamp + 11, tally.lastStamp + 11,
                      transfers);
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

static int CBV_Recording(int view, int event, void *, int eventData1, int)
{
    if (event == EVENT_CLOSE) {
        DiscardTimeView(view);
        fileView = -1;
        if (alone) QuitUserInterface(0);
    } else if (event == EVENT_COMMIT && eventData1 == TIMEVIEW_OPEN) {
        AskForRecording(view);
    }
    return 0;
}

void OpenRecordingView(const char *path)
{
    if (fileView < 0) {
        fileView = NewHistoryWindow("kivrel-recording", CBV_Recording);
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

void AskForRecording(int view)
{
    char path[MAX_PATHNAME_LEN];
    const int chosen =
        FileSelectPopup(proj_dir, "", "*.csv", "Open a recording", 3, 0, 0, 1, 0, path);
    if (chosen == UIE_PATH_TOO_LONG)
        SetTimeViewText(view, TIMEVIEW_STATUS, "Not opened: the path is longer than 259 bytes");
    if (chosen > 0) OpenRecordingView(path);
}

void RecordingViewAlone(int on)
{
    alone = on;
}

int RecordingView(void)
{
    return fileView;
}

void CloseRecordingView(void)
{
    if (fileView >= 0) DiscardTimeView(fileView);
    fileView = -1;
}

} // namespace kivrel
