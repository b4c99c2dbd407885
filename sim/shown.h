// Bytes as C writes them, quotes and all: "[rename]\r\nNUL=C:\\X\x1A". The
// trace, the platform tests and the fuzz targets show file contents so.
// Header-only, so that the platform tests' Windows build can use it too.
#ifndef SHOWN_H
#define SHOWN_H

#include <cstdio>
#include <string>

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

#endif
