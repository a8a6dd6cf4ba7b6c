// src/panel: the operator panel; uses core and util.
// Unsent edits: the panel remembers the parameter set of the last transfer between panel and a
// target, marks every parameter control that differs from it and says so in the window title,
// which also names the port in use.
#ifndef KIVREL_PANEL_MARKS_H
#define KIVREL_PANEL_MARKS_H

namespace kivrel
{

// The parameter controls as they are now are what the last transfer left; no control is marked.
void RememberTransfer(void);
// Marks each parameter control whose value differs from the remembered set.
void MarkUnsentEdits(void);
// "KIVREL-Vired V4.0 — COM1 (ttyUSB0)", with the unsaved-work mark while a control is marked.
void ShowTitle(void);

} // namespace kivrel

#endif
