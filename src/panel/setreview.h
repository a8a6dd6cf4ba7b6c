// src/panel: the operator panel; uses core, util, wire, history, assist.
// Sets the journal knows, brought to the panel: an earlier transfer's set loaded for review (as
// a parameter file is loaded: nothing goes to the sensor until Send), and a word in the status
// line while the sensor's RAM holds a set its EEPROM does not, which a power cut would undo.
#ifndef KIVREL_PANEL_SETREVIEW_H
#define KIVREL_PANEL_SETREVIEW_H

#include "state.h" // AnzPara

namespace kivrel
{

// The panel takes `set` as Get from a parameter file takes one: pp, the parameter variables and
// the fields; every field that differs from the sensor's set is marked. The status line says
// "Loaded the set of " and `what` ("write RAM 2026-12-08 05:58:12"). Nothing is sent or
// journaled.
void LoadSetForReview(const unsigned char set[AnzPara], const char *what);

// After a successful transfer of pp with RAM or EEPROM: a Send to RAM whose set differs from
// the last EEPROM set the journal knows for this sensor says so in the status line; that word
// goes once RAM and EEPROM are seen equal.
void CompareRamWithEeprom(int direction, int where);
// The port changed: what was said of the old sensor no longer holds.
void ForgetRamAgainstEeprom(void);

} // namespace kivrel

#endif
