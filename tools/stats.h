// Small figures over measured times and their text, shared by the probe's commands.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

// The middle value (the mean of the two middle ones for an even count); 0 for no values.
inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// printf-style text of a short line.
inline std::string Format(const char* format, auto... values) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, values...);
    return buf;
}
