#pragma once

#include <cstdio>
#include <cstdlib>

// A property every input must keep. A broken one ends the run at once, so
// that libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(condition, ...)                                          \
    do {                                                                    \
        if (!(condition)) {                                                 \
            std::fprintf(stderr, "%s:%d: property broken: %s\n  ", __FILE__, \
                         __LINE__, #condition);                             \
            std::fprintf(stderr, __VA_ARGS__);                              \
            std::fprintf(stderr, "\n");                                     \
            std::abort();                                                   \
        }                                                                   \
    } while (0)
