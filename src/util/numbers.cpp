#include "numbers.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace kivrel
{

// <charconv> neither reads nor writes the locale.
int FormatDecimal(char *text, int size, double value, int decimals)
{
    if (size < 1) return -1;
    const auto [end, error] =
        std::to_chars(text, text + size - 1, value, std::chars_format::fixed, decimals);
    if (error != std::errc()) return -1;
    *end = '\0';
    return static_cast<int>(end - text);
}

int ParseDecimal(const char *text, double *value)
{
    const char *end = text + std::strlen(text);
    double v = 0.0;
    const auto [stop, error] = std::from_chars(text, end, v);
    if (error != std::errc() || stop != end || !std::isfinite(v)) return -1;
    *value = v;
    return 0;
}

} // namespace kivrel
