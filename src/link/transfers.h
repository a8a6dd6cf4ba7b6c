// src/link: the sensor link as the panel drives it; uses every floor below it (core, util,
// wire, history, assist, panel, branding).
// Everything that follows a parameter set going between the panel and a target: the panel's
// marks, the journal's row, and a fresh NORM history once the sensor works with a new set.
#ifndef KIVREL_LINK_TRANSFERS_H
#define KIVREL_LINK_TRANSFERS_H

#include "journal.h" // TRANSFER_READ, TRANSFER_WRITE

namespace kivrel
{

// After a successful read from or write to RAM, EEPROM or DATFILE.
void NoteTransfer(int direction, int where);

} // namespace kivrel

#endif
