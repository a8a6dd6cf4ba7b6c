// A broken invariant aborts at once, so libFuzzer keeps the input and a replay test fails.
#ifndef KIVREL_TESTS_FUZZ_FUZZ_CHECK_H
#define KIVREL_TESTS_FUZZ_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n  (%s)\n", __FILE__, __LINE__,      \
                         what, #condition);                                                        \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

#endif
