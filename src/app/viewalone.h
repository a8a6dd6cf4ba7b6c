// src/app, the top floor: start-up, callbacks and parameter-file commands; uses every folder.
// kivrel --view FILE.csv: the program as the recording's window alone, without panel or sensor.
#ifndef KIVREL_APP_VIEWALONE_H
#define KIVREL_APP_VIEWALONE_H

namespace kivrel
{

// Brings up the run-time and shows the recording `path` until the operator closes its window (a
// file that cannot be shown says why in it, and on stderr). With `exportTo` the window is never
// shown: the export of the whole recording is written there (timeview.h: .pdf, .png, .csv).
// 0; 1 when the file does not exist or was not exported (told on stderr in one line); -1 when
// the run-time cannot come up or the window cannot be made.
int ViewRecordingAlone(void *hInstance, const char *path, const char *exportTo);

} // namespace kivrel

#endif
