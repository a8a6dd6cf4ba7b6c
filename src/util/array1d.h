// src/util: arrays, paths and the arithmetic of the sensor's values; uses core only.
// Copy and shift of arrays of doubles, moved bit for bit.
#ifndef KIVREL_UTIL_ARRAY1D_H
#define KIVREL_UTIL_ARRAY1D_H

namespace kivrel
{

enum { ARRAY_OK = 0, ARRAY_COUNT_ERR = -20003, ARRAY_SHIFT_ERR = -20102 };

int Copy1D(const double input[], int count, double output[]);
// Positive shifts move elements toward higher indices; the places left free become +0.0.
// `output` may be `input`.
int Shift(const double input[], int count, int shift, double output[]);

} // namespace kivrel

#endif
