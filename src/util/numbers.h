// src/util: arrays, paths and the arithmetic of the sensor's values; uses core only.
// Decimal numbers as files, pipes, JSON and options carry them: always with a point, whatever
// the locale says. A desktop set to German would otherwise write "0,061" into a CSV column.
#ifndef KIVREL_UTIL_NUMBERS_H
#define KIVREL_UTIL_NUMBERS_H

namespace kivrel
{

// `value` with `decimals` digits after the point, NUL-terminated: its length, or -1 when it
// does not fit in `size` bytes.
int FormatDecimal(char *text, int size, double value, int decimals);
// A whole text such as "0.5", "12" or "1e3" (no blanks, no comma): 0 and its value, or -1.
int ParseDecimal(const char *text, double *value);

} // namespace kivrel

#endif
