// src/history: what the tool keeps of measurements and parameter changes; uses the panel and below.
// Everything that follows a parameter set going between the panel and a target: the panel's
// marks start again from it, the journal gets its row, and the NORM history for suggestions
// starts afresh, since it was measured with other parameters.
#ifndef KIVREL_HISTORY_TRANSFERS_H
#define KIVREL_HISTORY_TRANSFERS_H

#include "journal.h" // TRANSFER_READ, TRANSFER_WRITE

namespace kivrel
{

// After a successful read from or write to RAM, EEPROM or DATFILE.
void NoteTransfer(int direction, int where);

} // namespace kivrel

#endif
