// A rule broken by the program ends the run with what was seen, and
// libFuzzer keeps the input that broke it.
#ifndef FUZZ_CHECK_H
#define FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>
#include <string>

#include "shown.h"

// The rule's name on a line of its own, so that findings group by rule; then
// what was seen, printf's way.
#define REQUIRE(condition, rule, ...)                                  \
    do {                                                               \
        if (!(condition)) {                                            \
            std::fprintf(stderr, "broken rule: %s\n", rule);          \
            std::fprintf(stderr, __VA_ARGS__);                         \
            std::fputc('\n', stderr);                                  \
            std::abort();                                              \
        }                                                              \
    } while (0)

#endif
