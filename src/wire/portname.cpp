#include "portname.h"

#include "rs232.h"

#include <cstdio>

namespace kivrel
{

void ComLabel(int port, char *text, int size)
{
    ComName name{};
    char number[16];
    GetComName(port, &name);
    std::snprintf(number, sizeof number, "COM%d", port);
    const char *called = name.number ? number : name.given;
    if (name.device[0])
        std::snprintf(text, static_cast<size_t>(size), "%s (%s)", called, name.device);
    else
        std::snprintf(text, static_cast<size_t>(size), "%s", called);
}

} // namespace kivrel
