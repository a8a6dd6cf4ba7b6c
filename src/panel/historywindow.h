// src/panel: the operator panel; uses core, util, wire, history, assist.
// What the HISTORY window and the recording window share: their traces, and a parameter
// transfer shown as a marker.
#ifndef KIVREL_PANEL_HISTORYWINDOW_H
#define KIVREL_PANEL_HISTORYWINDOW_H

#include "text.h"
#include "timeview.h"

namespace kivrel
{

// A window with the traces DAT0, DAT1, NORM, TRSH and HYST, hidden, following the last minute;
// exports are proposed as `exportName`. A handle > 0, or a negative code.
int NewHistoryWindow(const char *exportName, TimeViewCallbackPtr callback);

// The marker of a transfer: "write RAM" on its line; where, who, and what changed from the
// set before (or the whole set when none is known) under the pointer. With `offerLoad`, its
// line's menu offers *Load this set into the panel* (TIMEVIEW_MARKER_ITEM, LoadShownTransfer).
void ShowTransfer(int view, double time, int direction, int where, const char *place,
                  const char *who, const unsigned char *before, const unsigned char *after,
                  int offerLoad);
// The panel takes the set of the transfer `tag` names in `view` for review (setreview.h). 0, or
// -1 when the window no longer knows it.
int LoadShownTransfer(int view, int tag);
// A history window emptied, or closed; the transfers it showed are forgotten with it, so their
// tags name nothing.
void ClearHistoryWindow(int view);
void DiscardHistoryWindow(int view);

// The report page's settings: the set `set` a transfer left at `time`, or none known (null).
void ShowPageSettings(int view, double time, int direction, int where, const char *place,
                      const unsigned char *set);
// The same when the set is not known, saying why.
void ShowPageSettingsText(int view, const char *why);
// The file the window's *Span as CSV* is to write, and the span: 0, or -1 when the path is too
// long for the program or names the recording `shown` (null for none) or the one REC is making;
// the status line then says so, and szKeepError why. Nothing has been opened for writing.
int SpanExportTarget(int view, const char *shown, char path[], double *from, double *to);
// Says in the status line how writing the span to `path` went (`rows` written, or -1 with
// szKeepError). 0, or -1 when it failed.
int TellSpanExport(int view, const char *path, int rows);

} // namespace kivrel

#endif
