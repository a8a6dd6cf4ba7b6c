// src/history: what the tool keeps of measurements and parameter changes; uses the panel and below.
// The parameter journal: one CSV row for every parameter set that went between the panel and
// the sensor or a file, in a file a day under $XDG_DATA_HOME/kivrel/journal/.
#ifndef KIVREL_HISTORY_JOURNAL_H
#define KIVREL_HISTORY_JOURNAL_H

namespace kivrel
{

enum { TRANSFER_READ = 0, TRANSFER_WRITE = 1 };

// A row for pp as it was just read from or written to `where` (RAM, EEPROM or DATFILE; the
// file is file_name, the port com). A journal that cannot be written costs one line on stderr.
void JournalTransfer(int direction, int where);

} // namespace kivrel

#endif
