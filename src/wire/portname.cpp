#include "portname.h"

#include "rs232.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

void ComLabel(int port, char *text, int size)
{
    ComName name{};
    char number[16];
    GetComName(port, &name);
    std::snprintf(number, sizeof number, "COM%d", port);
    const char *called = name.number ? number : name.given;
    // A network sensor given by its address is named by it once: "rfc2217://10.0.0.7:4001".
    if (name.device[0] && std::strcmp(called, name.device) != 0)
        std::snprintf(text, static_cast<size_t>(size), "%s (%s)", called, name.device);
    else
        std::snprintf(text, static_cast<size_t>(size), "%s", called);
}

} // namespace kivrel
