// Harness invariants: a violated one is a finding, reported like a crash so that libFuzzer keeps
// the input.
#ifndef MBUS_FUZZ_FUZZ_CHECK_H
#define MBUS_FUZZ_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

inline void fuzzRequire(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "fuzz invariant violated: %s\n", what);
        std::abort();
    }
}

#endif
