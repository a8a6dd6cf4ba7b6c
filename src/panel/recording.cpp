#include "recording.h"

#include "controls.h"
#include "csv.h"
#include "keep.h"
#include "paths.h"
#include "recordingview.h"
#include "records.h"
#include "state.h"

#include "formatio.h"
#include "userint.h"
#include "utility.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

static int recFile = -1;    // handle of the recording, -1 without one
static char recName[260];   // its name without the folder, for the status line
static char recBuf[16384];  // rows not yet handed to the system
static int recLength;       // bytes in recBuf
static int recRows;         // rows taken since the start
static int recHeld;         // of them, rows in recBuf
static double recStart;     // Timer() at the start
static double recLastWrite; // Timer() when recBuf was last handed over

static char recPath[MAX_PATHNAME_LEN]; // the recording's path as opened

static void ShowRecButton(void)
{
    char text[32];
    // The rows in the file: those held back are not, yet.
    if (recFile >= 0)
        std::snprintf(text, sizeof text, "REC %d  F7", recRows - recHeld);
    else
        std::strcpy(text, "REC   F7");
    SetCtrlAttribute(panel, PANEL_REC, ATTR_LABEL_TEXT, text);
    SetCtrlVal(panel, PANEL_REC, recFile >= 0 ? 1 : 0);
}

static void ShowRecStatus(const char *what)
{
    char text[sizeof recName + 64];
    std::snprintf(text, sizeof text, "%s%s", what, recName);
    SetCtrlVal(panel, PANEL_STATUS, text);
}

// Hands the held rows to the system. 0, or -1 when it took fewer.
static int WriteHeldRows(void)
{
    recLastWrite = Timer();
    if (recLength == 0) return 0;
    const int rc = KeepBytes(recFile, recBuf, recLength, "recording not written");
    recLength = 0;
    recHeld = 0;
    return rc;
}

// Closes the file; a failed write says so in the status line.
static void EndRecording(int failed)
{
    if (CloseFile(recFile) != 0 && !failed) failed = NotKept("recording not written") != 0;
    recFile = -1;
    recLength = 0;
    recHeld = 0;
    if (failed) ShowRecStatus("Recording ended: cannot write ");
    ShowRecButton();
}

// The operator's answer to REC's file dialog.
static void RecFileChosen(int chosen, const char *path, void *)
{
    // A name the dialog took that the program cannot use says why, instead of leaving REC
    // off without a word.
    if (chosen == UIE_PATH_TOO_LONG)
        SetCtrlVal(panel, PANEL_STATUS, "Recording not started: the path is longer than 259 bytes");
    else if (chosen < 0)
        SetCtrlVal(panel, PANEL_STATUS, "Recording not started: no file dialog");
    if (chosen <= 0) {
        ShowRecButton();
        return;
    }
    StartRecordingTo(path);
}

void StartRecording(void)
{
    char proposed[64];
    char stamp[40];

    if (recFile >= 0) {
        ShowRecButton();
        return;
    }
    CsvTimeStamp(stamp, sizeof stamp);
    // kivrel-2026-12-08-143012.csv from 2026-12-08T14:30:12.345+01:00; the dialog makes it a
    // name no file has yet.
    std::snprintf(proposed, sizeof proposed, "kivrel-%.10s-%.2s%.2s%.2s.csv", stamp, stamp + 11,
                  stamp + 14, stamp + 17);
    const int rc = StartFileSelectPopup(proj_dir, proposed, "*.csv", "Record live data", 1, 0, 1, 1,
                                        1, RecFileChosen, nullptr);
    if (rc < 0) RecFileChosen(rc, "", nullptr);
}

void StartRecordingTo(const char *path)
{
    if (recFile >= 0) { // another dialog's answer came first
        ShowRecButton();
        return;
    }
    std::snprintf(recName, sizeof recName, "%s", FileNameOf(path));
    std::snprintf(recPath, sizeof recPath, "%s", path);
    NoteRecordingFolder(path);
    recFile = OpenFile(path, VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_ASCII);
    if (recFile < 0) {
        NotKept("recording not started");
        char text[sizeof recName + sizeof szKeepError + 64];
        std::snprintf(text, sizeof text, "Recording not started: cannot write %s (%s)", recName,
                      szKeepError);
        SetCtrlVal(panel, PANEL_STATUS, text);
        ShowRecButton();
        return;
    }
    recRows = recHeld = 0;
    recStart = Timer();
    recLength = static_cast<int>(std::strlen(RecordingHeader));
    std::memcpy(recBuf, RecordingHeader, static_cast<size_t>(recLength));
    if (WriteHeldRows() != 0) {
        EndRecording(1);
        return;
    }
    ShowRecButton();
}

// Ends the file with the rows held: 0, or -1 when they could not be kept (the status line
// then says so).
static int EndKept(void)
{
    const int failed = WriteHeldRows() != 0;
    EndRecording(failed);
    return failed ? -1 : 0;
}

void StopRecording(void)
{
    if (recFile >= 0) EndKept();
}

int EndRecordingKept(void)
{
    return recFile >= 0 && EndKept() == 0;
}

void TellRecordingEnded(const char *why)
{
    char text[sizeof recName + 96];
    std::snprintf(text, sizeof text, "Recording ended: %s%s%s holds %d row%s", why ? why : "",
                  why ? "; " : "", recName, recRows, recRows == 1 ? "" : "s");
    SetCtrlVal(panel, PANEL_STATUS, text);
}

void SwitchRecordingOff(void)
{
    if (EndRecordingKept()) TellRecordingEnded(nullptr);
}

void EndRecordingBecause(const char *why)
{
    if (recFile < 0 || EndKept() != 0) return; // a failure is what the status line says
    SetCtrlVal(panel, PANEL_STATUS, why);
    std::fprintf(stderr, "kivrel: %s: %s\n", why, recName);
    std::fflush(stderr);
}

void HandOverRows(void)
{
    if (recFile >= 0 && WriteHeldRows() != 0) EndRecording(1);
    if (recFile >= 0) ShowRecButton();
}

static void AppendRow(void)
{
    char row[256];
    const int n = FormatRecordRow(row, sizeof row, Timer() - recStart);
    if (n < 0) return;
    if (recLength + n > static_cast<int>(sizeof recBuf) && WriteHeldRows() != 0) {
        EndRecording(1);
        return;
    }
    std::memcpy(recBuf + recLength, row, static_cast<size_t>(n));
    recLength += n;
    recRows++;
    recHeld++;
}

void KeepRecord(void)
{
    if (recFile < 0) return;
    AppendRow();
    // At most a second of rows is held back; the button's count follows at the same pace.
    if (Timer() - recLastWrite >= 1.0) HandOverRows();
}

const char *RecordingFile(void)
{
    return recFile >= 0 ? recPath : nullptr;
}

} // namespace kivrel
