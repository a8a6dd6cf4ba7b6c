// What the tests' sensor sends and what the program shows in answer, in one place.
#pragma once

#include <algorithm>

#include "help_texts.h"
#include "sensor_peer.h"

namespace kivrel::test
{

// n bytes counting up from `first`.
inline Bytes sequence(int n, int first = 0)
{
    Bytes b;
    for (int i = 0; i < n; i++)
        b.push_back(static_cast<unsigned char>(first + i));
    return b;
}

inline Bytes zeros(int n)
{
    return Bytes(static_cast<std::size_t>(n), 0);
}

// n bytes of xorshift noise from `seed`, the same on every run.
inline Bytes pseudoRandom(int n, unsigned seed)
{
    Bytes b;
    for (int i = 0; i < n; i++) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        b.push_back(static_cast<unsigned char>(seed >> 24));
    }
    return b;
}

// A request as the program sends it: sync byte, order code, the 15 parameter bytes.
inline Bytes telegram(int order, const Bytes &params)
{
    // Sized first: GCC 12 at -O3 takes an insert after a two-byte list for an overflow.
    Bytes t(2 + params.size());
    t[0] = 0x55;
    t[1] = static_cast<unsigned char>(order);
    std::copy(params.begin(), params.end(), t.begin() + 2);
    return t;
}

// A measurement record with receiver DAT0 and the working threshold chosen.
inline Bytes record(unsigned char dat0, unsigned char trsh)
{
    return Bytes{dat0, 60, 200, 60, 0, 200, 0, 120, 0, trsh, 150};
}

// A parameter set (threshold 120, sensor power 23, spare byte 77) and a second one a read
// must put in its place (threshold 140, spare byte 78).
inline const Bytes kParams{120, 150, 23, 0, 10, 0, 10, 10, 1, 1, 5, 0, 1, 20, 77};
inline const Bytes kFresh{140, 150, 23, 0, 10, 0, 10, 10, 1, 1, 5, 0, 1, 20, 78};
// A jump buffer: sixteen minima, 40 to 55.
inline const Bytes kMinima = sequence(16, 40);
// The sensor's answer to the line check, and the status line that follows it.
inline const Bytes kLineOk{0xAA, 0x04, 0x00};
inline constexpr char kLineOkText[] = "LINE OK                              V4.0";

} // namespace kivrel::test
