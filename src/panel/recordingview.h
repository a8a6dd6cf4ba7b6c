// src/panel: the operator panel; uses core, util, wire, history, assist.
// The recording window: a file REC wrote, loaded row by row, with the parameter journal's
// transfers of its span as markers.
#ifndef KIVREL_PANEL_RECORDINGVIEW_H
#define KIVREL_PANEL_RECORDINGVIEW_H

namespace kivrel
{

// Shows the recording `path` in the recording window, made when needed. The file is read in
// steps from the event loop, so polling goes on meanwhile; the status line says how far it has
// got, then what it read. A file that is no recording shows nothing and the line says why.
void OpenRecordingView(const char *path);
// The same without showing the window, read whole before it returns (kivrel --view --export).
// The rows read, or -1 when the file is no recording or cannot be read (the status line says
// why).
int ReadRecordingNow(const char *path);
// The folder of `path`, a recording just written or opened, is where the next "open" starts.
void NoteRecordingFolder(const char *path);
// A history window's "open": a file dialog that does not hold polling; the recording the
// operator picks is shown as above, and a path too long to open is told in the status line of
// `view`.
void AskForRecording(int view);

// kivrel --view: 1 while the recording window is the whole program. A file it cannot show is
// then told on stderr too, and closing the window ends the event loop.
void RecordingViewAlone(int alone);

// The window, -1 while closed, and 1 while a file is being read (tests and benchmarks).
int RecordingView(void);
int RecordingLoading(void);
void CloseRecordingView(void);

} // namespace kivrel

#endif
