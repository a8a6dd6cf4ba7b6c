#include "array1d.h"

#include <cstring>

namespace kivrel
{

// memcpy of single elements keeps NaN payloads and negative zeros exactly as they were.
static void moveElement(const double *from, double *to)
{
    std::memcpy(to, from, sizeof(double));
}

int Copy1D(const double input[], int count, double output[])
{
    if (count < 1) return ARRAY_COUNT_ERR;
    for (int i = 0; i < count; i++)
        moveElement(&input[i], &output[i]);
    return ARRAY_OK;
}

int Shift(const double input[], int count, int shift, double output[])
{
    if (count < 1) return ARRAY_COUNT_ERR;
    // Compared as long long so that the magnitude of INT_MIN does not overflow.
    const long long magnitude = shift < 0 ? -static_cast<long long>(shift) : shift;
    if (magnitude >= count) return ARRAY_SHIFT_ERR;
    if (shift == 0) return Copy1D(input, count, output);
    // The copy runs against the direction of the shift, so an in-place call reads every
    // element before it is overwritten.
    const double zero = 0.0;
    if (shift > 0) {
        for (int j = count - 1; j >= shift; j--)
            moveElement(&input[j - shift], &output[j]);
        for (int j = 0; j < shift; j++)
            moveElement(&zero, &output[j]);
    } else {
        const int m = -shift;
        for (int k = 0; k <= count - m - 1; k++)
            moveElement(&input[k + m], &output[k]);
        for (int k = count - 1; k >= count - m; k--)
            moveElement(&zero, &output[k]);
    }
    return ARRAY_OK;
}

} // namespace kivrel
