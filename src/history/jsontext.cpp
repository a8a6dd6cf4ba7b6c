#include "jsontext.h"

#include "measure.h"
#include "paranames.h"
#include "state.h"

#include "rs232.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

void JsonString(char *out, int size, const char *text)
{
    if (size < 3) {
        if (size > 0) out[0] = '\0';
        return;
    }
    // Room is kept for the closing quote; a text cut short is cut between characters, never
    // inside an escape or a UTF-8 sequence.
    int n = 0;
    out[n++] = '"';
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p;) {
        char piece[8];
        int length = 0;
        if (*p == '"' || *p == '\\') {
            piece[length++] = '\\';
            piece[length++] = static_cast<char>(*p++);
        } else if (*p < 0x20) {
            length = std::snprintf(piece, sizeof piece, "\\u%04x", *p++);
        } else {
            piece[length++] = static_cast<char>(*p++);
            while ((*p & 0xC0) == 0x80 && length < 4)
                piece[length++] = static_cast<char>(*p++);
        }
        if (n + length > size - 2) break;
        std::memcpy(out + n, piece, static_cast<size_t>(length));
        n += length;
    }
    out[n++] = '"';
    out[n] = '\0';
}

void JsonPort(char *out, int size)
{
    ComName name{};
    GetComName(com, &name);
    char device[300];
    JsonString(device, sizeof device, name.device);
    if (name.number)
        std::snprintf(out, static_cast<size_t>(size), "\"port\":%d,\"device\":%s", name.number,
                      device);
    else
        std::snprintf(out, static_cast<size_t>(size), "\"port\":null,\"device\":%s", device);
}

int FormatParaSetJson(char *text, int size, const unsigned char values[15], const char *memory)
{
    char port[400];
    JsonPort(port, sizeof port);
    const size_t room = static_cast<size_t>(size);
    int n = std::snprintf(text, room, "{\"memory\":\"%s\",%s,\"parameters\":{", memory, port);
    for (int i = 0; i < AnzPara && n < size; i++)
        n += std::snprintf(text + n, room - static_cast<size_t>(n), "%s\"%s\":%u", i ? "," : "",
                           paraNames[i].name, values[i]);
    char percent[8] = "null"; // a byte outside 0 to 46 has no percent
    if (PowerInRange(values[2]))
        std::snprintf(percent, sizeof percent, "%u", PowerToPercent(values[2]));
    if (n < size)
        n += std::snprintf(text + n, room - static_cast<size_t>(n),
                           "},\"power_percent\":%s,\"power_byte\":%u}\n", percent, values[2]);
    return n < size ? n : size - 1;
}

} // namespace kivrel
