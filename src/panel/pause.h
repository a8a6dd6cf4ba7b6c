// src/panel: the operator panel; uses core, util, wire, history, assist.
// A popup that holds the program until the operator closes it (a help text, the parameter
// file's dialog) holds a running polling loop with it: the status line says so meanwhile.
#ifndef KIVREL_PANEL_PAUSE_H
#define KIVREL_PANEL_PAUSE_H

namespace kivrel
{

// Around such a popup. While polling runs, the status line reads "Polling paused" from the
// first, and after the last shows what it showed before, unless something else has written it
// meanwhile.
void PausePolling(void);
void ResumePolling(void);

// A control's help text in its popup, polling paused.
void ShowHelp(const char *text);

} // namespace kivrel

#endif
