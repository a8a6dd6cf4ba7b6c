#include "lines.h"

#include <cstring>

namespace kivrel
{

void BeginLines(LineSplitter *lines, LineTaker taker, void *owner)
{
    lines->taker = taker;
    lines->owner = owner;
    lines->length = 0;
    lines->overlong = 0;
}

static void TakeLine(LineSplitter *lines, int ended)
{
    int length = lines->length;
    if (length > 0 && lines->buf[length - 1] == '\r') length--; // written on another system
    lines->taker(lines->owner, lines->buf, length, lines->overlong, ended);
    lines->length = 0;
    lines->overlong = 0;
}

void FeedLines(LineSplitter *lines, const char *bytes, int count)
{
    while (count > 0) {
        const void *end = std::memchr(bytes, '\n', static_cast<size_t>(count));
        const int part = end ? static_cast<int>(static_cast<const char *>(end) - bytes) : count;
        const int room = LineMax - lines->length;
        const int kept = part < room ? part : room;
        std::memcpy(lines->buf + lines->length, bytes, static_cast<size_t>(kept));
        lines->length += kept;
        if (part > room) lines->overlong = 1;
        const int used = end ? part + 1 : part;
        if (end) TakeLine(lines, 1);
        bytes += used;
        count -= used;
    }
}

void EndLines(LineSplitter *lines)
{
    if (lines->length > 0 || lines->overlong) TakeLine(lines, 0);
}

int StartsWith(const char *line, int length, const char *text)
{
    const int n = static_cast<int>(std::strlen(text));
    return length >= n && std::memcmp(line, text, static_cast<size_t>(n)) == 0;
}

} // namespace kivrel
