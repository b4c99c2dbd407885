// A rule broken by the program ends the run with what was seen, and
// libFuzzer keeps the input that broke it.
#ifndef FUZZ_CHECK_H
#define FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>
#include <string>

// Bytes as C writes them: "[rename]\r\n\x1A".
inline std::string Shown(const std::string &bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\\' ? "\\\\" : c == '"' ? "\\\"" :
               c >= 0x20 && c < 0x7F ? std::string(1, (char)c) : std::string(hex);
    }
    return out + "\"";
}

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
