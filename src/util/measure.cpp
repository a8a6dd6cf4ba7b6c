#include "measure.h"

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

unsigned char PowerToSensor(unsigned char percent)
{
    return static_cast<unsigned char>(46 - (percent * 46 / 100));
}

unsigned char PowerToPercent(unsigned char sensor)
{
    return static_cast<unsigned char>((100 * (46 - sensor)) / 46);
}

} // namespace kivrel
