// src/util: arrays, paths and the arithmetic of the sensor's values; uses core only.
// Text put together in fixed buffers, cut to fit.
#ifndef KIVREL_UTIL_TEXT_H
#define KIVREL_UTIL_TEXT_H

namespace kivrel
{

// Appends printf-style text to `text` of `size` bytes, cut to fit.
void Append(char *text, int size, const char *format, ...) __attribute__((format(printf, 3, 4)));

} // namespace kivrel

#endif
