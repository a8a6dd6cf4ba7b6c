// Every test executable runs on Qt's offscreen platform with one application object, made the
// way the program makes it, in a home of its own that goes when it ends.
#include "cvirte.h"

#include "scratch_home.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    const kivrel::test::ScratchHome home; // first: the last thing to go
    if (!home.ok()) return 2;
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    CviInstance instance{&argc, argv};
    if (!InitCVIRTE(&instance, nullptr, nullptr)) return 2;
    const int result = RUN_ALL_TESTS();
    CloseCVIRTE();
    return result;
}
