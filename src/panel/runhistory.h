// src/panel: the operator panel; uses core, util, wire, history, assist.
// The HISTORY window: the records polled in this run, up to the last ten minutes, and every
// parameter transfer, kept in fixed buffers whether the window is open or not. And recordings
// (files REC wrote) shown in a window of their own, with the journal's transfers of their span.
#ifndef KIVREL_HISTORY_RUNHISTORY_H
#define KIVREL_HISTORY_RUNHISTORY_H

namespace kivrel
{

// After every record polling has shown.
void KeepHistory(void);
// After every successful transfer, of the six kinds the journal knows.
void NoteHistoryTransfer(int direction, int where);
// HISTORY: opens the window, or brings it to the front.
void ShowHistory(void);
// Shows the recording `path` in the recording window, made when needed; a file that is no
// recording shows nothing and its status line says why.
void OpenRecordingView(const char *path);
// kivrel --view FILE.csv: the recording's window alone, until the operator closes it (a file
// that cannot be shown says why in it, and on stderr). 0, or -1 when the run-time cannot come up.
int ViewRecordingAlone(void *hInstance, const char *path);

// The two windows, -1 while closed (tests and benchmarks).
int HistoryView(void);
int RecordingView(void);
// Closes both windows.
void CloseHistory(void);
// Forgets the run's records and transfers (tests and benchmarks).
void ForgetHistory(void);

} // namespace kivrel

#endif
