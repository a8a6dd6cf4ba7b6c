// src/panel: the operator panel; uses core, util, wire, history, assist.
// Unsent edits: the panel remembers the parameter set last read from or written to the sensor,
// marks every parameter control that differs from it and says so in the window title, which
// also names the port in use. A file loaded or saved is not the sensor: it changes no memory.
#ifndef KIVREL_PANEL_MARKS_H
#define KIVREL_PANEL_MARKS_H

namespace kivrel
{

// The parameter controls as they are now are the sensor's set; no control is marked.
void RememberSensorSet(void);
// No sensor's set is known (another port, a new connection): nothing is marked.
void ForgetSensorSet(void);
// Marks each parameter control whose value differs from the sensor's set.
void MarkUnsentEdits(void);
// "KIVREL-Vired V4.0 — COM1 (ttyUSB0)", with the unsaved-work mark while a control is marked.
void ShowTitle(void);

} // namespace kivrel

#endif
