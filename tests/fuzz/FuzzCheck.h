#pragma once
// The check every fuzz target uses for its invariants. It aborts rather than
// throwing, so libFuzzer keeps the input as a crash and the replay test fails
// on it, with the broken invariant named on stderr.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                        \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, \
                         #condition);                                                \
            std::abort();                                                            \
        }                                                                            \
    } while (false)
