// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// What the parameter journal tells of the sensors' sets: which sensors it names in a span of
// time, and the set a sensor's memory held at a time. Each question reads the day files it
// needs.
#ifndef KIVREL_HISTORY_JOURNALSET_H
#define KIVREL_HISTORY_JOURNALSET_H

#include "journalreader.h" // JournalRow

namespace kivrel
{

// How far the questions look back for a row before the time they are asked about, in day files.
inline constexpr int JournalLookBackDays = 31;
inline constexpr int JournalDeviceSize = sizeof(JournalRow::device);
// A memory of the sensor for JournalSetAt: RAM, EEPROM, or either of them.
inline constexpr int JOURNAL_EITHER_MEMORY = -1;

// The sensors (the devices of RAM and EEPROM rows) the journal names from `first` to `last`
// (seconds since the epoch), in the order their rows are read; where no such row lies in the
// span, the sensor of the last one before `first`, looking back at most JournalLookBackDays day
// files. The first `max` go into `devices`; returns how many there are, 0 for none.
int JournalSensorsOf(double first, double last, char devices[][JournalDeviceSize], int max);

// The set in force in a sensor's memory at `time`: the last row of `device` for `memory` (RAM,
// EEPROM or JOURNAL_EITHER_MEMORY) at or before `time` that is a read or a write, never one whose
// verification failed, looking back at most `days` day files. 1 and the row in `found`, or 0
// when the journal knows none.
int JournalSetAt(const char *device, int memory, double time, int days, JournalRow *found);

// The earliest row of `device` for `memory` (RAM or EEPROM) in the day files from `firstDay`
// to `lastDay` (DayNumber), whatever its outcome: 1 and the row in `found`, or 0.
int JournalFirstOf(const char *device, int memory, long firstDay, long lastDay, JournalRow *found);

} // namespace kivrel

#endif
