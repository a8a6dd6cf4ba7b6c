#include "text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kivrel
{

void Append(char *text, int size, const char *format, ...)
{
    const int used = static_cast<int>(std::strlen(text));
    if (used >= size - 1) return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + used, static_cast<size_t>(size - used), format, args);
    va_end(args);
}

} // namespace kivrel
