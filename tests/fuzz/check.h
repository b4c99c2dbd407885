// A rule broken by the program ends the run with what was seen, and
// libFuzzer keeps the input that broke it.
#ifndef FUZZ_CHECK_H
#define FUZZ_CHECK_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "machine.h"
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

// The target's own run of one input. The entry, libFuzzer's and the
// replay's alike, then checks what every run must leave, however it ended.
int RunInput(const uint8_t *data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int result = RunInput(data, size);
    const std::vector<std::string> open = sim::OpenHandles();
    REQUIRE(open.empty(), "no key, file or token is left open", "%s", open.front().c_str());
    return result;
}

#endif
