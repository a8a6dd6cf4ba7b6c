#include "norms.h"

#include "state.h"

#include <cstring>

namespace kivrel
{

unsigned char normHistory[NormHistoryLength];
int normCount;

void KeepNorm(void)
{
    if (normCount == NormHistoryLength) {
        std::memmove(normHistory, normHistory + 1, NormHistoryLength - 1);
        normCount--;
    }
    normHistory[normCount++] = dataNorm;
}

void ForgetNorms(void)
{
    normCount = 0;
}

} // namespace kivrel
