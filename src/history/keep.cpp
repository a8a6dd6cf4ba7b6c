#include "keep.h"

#include "formatio.h"

#include <cstdio>

namespace kivrel
{

char szKeepError[256];
int keepSaysWhy = 1;

int NotKept(const char *what)
{
    std::snprintf(szKeepError, sizeof szKeepError, "%s", GetFileErrorText());
    if (keepSaysWhy) {
        std::fprintf(stderr, "kivrel: %s: %s\n", what, szKeepError);
        std::fflush(stderr);
    }
    return -1;
}

int KeepBytes(int file, const char *bytes, int count, const char *what)
{
    return WriteFile(file, bytes, count) == count ? 0 : NotKept(what);
}

} // namespace kivrel
