// src/util: arrays, paths and the arithmetic of the sensor's values; uses core only.
// The arithmetic every view of the sensor's values shares: the record's 16-bit values and
// percentages, and the two scales of the transmitter power.
#ifndef KIVREL_UTIL_MEASURE_H
#define KIVREL_UTIL_MEASURE_H

namespace kivrel
{

// A 16-bit value of the record: the sensor sends it low byte first.
unsigned Word(unsigned char low, unsigned char high);
// `part` as the whole percentage of the IN0 period that WIN and EDGE show; in0 must not be 0.
unsigned PercentOfIn0(unsigned part, unsigned in0);

// The sensor counts power from 0 (full intensity) to 46 (none); the panel shows percent.
unsigned char PowerToSensor(unsigned char percent);
unsigned char PowerToPercent(unsigned char sensor);

} // namespace kivrel

#endif
