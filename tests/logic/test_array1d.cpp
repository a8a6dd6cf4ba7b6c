// Array copy and shift: status codes, directions, in-place calls, bit-exact moves.
#include "array1d.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

using namespace kivrel;

namespace
{
using A5 = std::array<double, 5>;
const A5 kSeq{1, 2, 3, 4, 5};

A5 shifted(int by, bool inPlace, int *status)
{
    A5 in = kSeq;
    A5 out{-7, -7, -7, -7, -7};
    double *dst = inPlace ? in.data() : out.data();
    *status = Shift(in.data(), 5, by, dst);
    return inPlace ? in : out;
}
} // namespace

TEST(Shift, MovesBothWaysAndInPlace)
{
    for (bool inPlace : {false, true}) {
        int st = 1;
        EXPECT_EQ(shifted(2, inPlace, &st), (A5{0, 0, 1, 2, 3}));
        EXPECT_EQ(st, 0);
        EXPECT_EQ(shifted(-2, inPlace, &st), (A5{3, 4, 5, 0, 0}));
        EXPECT_EQ(st, 0);
        EXPECT_EQ(shifted(4, inPlace, &st), (A5{0, 0, 0, 0, 1}));
        EXPECT_EQ(shifted(-4, inPlace, &st), (A5{5, 0, 0, 0, 0}));
        EXPECT_EQ(shifted(0, inPlace, &st), kSeq);
    }
}

TEST(Shift, RefusesBadCountsAndShiftsWithoutWriting)
{
    for (int by : {5, -5, 6, INT_MAX, INT_MIN}) {
        int st = 0;
        EXPECT_EQ(shifted(by, false, &st), (A5{-7, -7, -7, -7, -7})) << by;
        EXPECT_EQ(st, ARRAY_SHIFT_ERR) << by;
    }
    double one[1] = {9}, out[1] = {-1};
    EXPECT_EQ(Shift(one, 0, 0, out), ARRAY_COUNT_ERR);
    EXPECT_EQ(Shift(one, 0, 7, out), ARRAY_COUNT_ERR);
    EXPECT_EQ(Shift(one, -3, -1, out), ARRAY_COUNT_ERR);
    EXPECT_EQ(Copy1D(one, 0, out), ARRAY_COUNT_ERR);
    EXPECT_EQ(Copy1D(one, -1, out), ARRAY_COUNT_ERR);
    EXPECT_EQ(out[0], -1);
}

TEST(Shift, ZeroShiftCopiesBitForBit)
{
    double in[3];
    const std::uint64_t nanPayload = 0x7FF0000000012345ULL; // a signalling NaN with payload
    std::memcpy(&in[0], &nanPayload, 8);
    in[1] = -0.0;
    in[2] = 3.5;
    double out[3] = {};
    ASSERT_EQ(Shift(in, 3, 0, out), 0);
    EXPECT_EQ(std::memcmp(in, out, sizeof in), 0);
    EXPECT_TRUE(std::signbit(out[1]));
}

TEST(Shift, StripChartHistoryDropsOldestSample)
{
    double h[500];
    for (int i = 0; i < 500; i++)
        h[i] = i + 1;
    ASSERT_EQ(Shift(h, 500, -5, h), 0);
    for (int i = 0; i < 495; i++)
        ASSERT_EQ(h[i], i + 6) << i;
    for (int i = 495; i < 500; i++) {
        EXPECT_EQ(h[i], 0.0);
        EXPECT_FALSE(std::signbit(h[i]));
    }
}
