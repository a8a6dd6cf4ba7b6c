// src/panel: the operator panel; uses core, util, wire, history, assist.
// The HISTORY window: the records polled in this run, up to the last ten minutes, and every
// parameter transfer, kept (livering.h) whether the window is open or not.
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

// The window, -1 while closed (tests and benchmarks).
int HistoryView(void);
// Closes the HISTORY window and the recording window.
void CloseHistory(void);
// Forgets the run's records and transfers (tests and benchmarks).
void ForgetHistory(void);

} // namespace kivrel

#endif
