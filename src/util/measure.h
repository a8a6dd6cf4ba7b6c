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

// The sensor counts power from 0 (full intensity) to POWER_NONE (none); the panel shows
// percent. A byte above POWER_NONE has no percent: whoever shows it shows the byte.
enum { POWER_NONE = 46 };
// The byte a percent stands for: the one byte that shows as that percent, where there is one,
// so that a set read and sent back is the same set; otherwise 46 - percent * 46 / 100.
unsigned char PowerToSensor(unsigned char percent);
// The percent a byte of 0 to 46 shows, 100 * (46 - byte) / 46, truncated.
unsigned char PowerToPercent(unsigned char sensor);
int PowerInRange(unsigned char sensor);
// "78 %", or "byte 200, outside 0 to 46" for a byte with no percent.
void DescribePower(unsigned char sensor, char *text, int size);

} // namespace kivrel

#endif
