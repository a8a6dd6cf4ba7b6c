#include "measure.h"

#include <cstdio>

namespace kivrel
{

unsigned Word(unsigned char low, unsigned char high)
{
    return low + 256u * high;
}

unsigned PercentOfIn0(unsigned part, unsigned in0)
{
    return 100u * part / in0;
}

unsigned char PowerToPercent(unsigned char sensor)
{
    return static_cast<unsigned char>((100 * (POWER_NONE - sensor)) / POWER_NONE);
}

unsigned char PowerToSensor(unsigned char percent)
{
    // Each step of the sensor's scale is more than two percent, so no two bytes show the same
    // percent, and the truncating formula alone would move a byte that was read (10 shows 78 %,
    // which it gives back as 11).
    for (int sensor = 0; sensor <= POWER_NONE; sensor++)
        if (PowerToPercent(static_cast<unsigned char>(sensor)) == percent)
            return static_cast<unsigned char>(sensor);
    return static_cast<unsigned char>(POWER_NONE - (percent * POWER_NONE / 100));
}

int PowerInRange(unsigned char sensor)
{
    return sensor <= POWER_NONE;
}

void DescribePower(unsigned char sensor, char *text, int size)
{
    if (PowerInRange(sensor))
        std::snprintf(text, static_cast<size_t>(size), "%u %%", PowerToPercent(sensor));
    else
        std::snprintf(text, static_cast<size_t>(size), "byte %u, outside 0 to %d", sensor,
                      POWER_NONE);
}

} // namespace kivrel
