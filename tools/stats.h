// Small figures over measured times, shared by the probe's commands.
#pragma once

#include <algorithm>
#include <vector>

// The middle value (the mean of the two middle ones for an even count); 0 for no values.
inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}
