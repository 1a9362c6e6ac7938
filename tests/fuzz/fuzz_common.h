// Checks shared by the fuzz targets: a rejection must be one clear, printable line.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

inline void RequireOneLine(const std::string& message) {
    bool ok = !message.empty();
    for (char c : message) ok = ok && c != '\n' && c != '\r' && c != '\0';
    if (!ok) {
        std::fprintf(stderr, "rejection is not one non-empty line: [%s]\n", message.c_str());
        std::abort();
    }
}

inline void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}
