// The simulator's tests, in a home of their own like every other test executable.
#include "scratch_home.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    const kivrel::test::ScratchHome home;
    if (!home.ok()) return 2;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
