// Figures in the Prometheus text format (version 0.0.4), which an operator's monitoring reads
// as it is: a family's help and type, then its samples, one a line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace metrics {

constexpr const char* ContentType = "text/plain; version=0.0.4; charset=utf-8";

// A family's "# HELP" and "# TYPE" lines; type is counter, gauge or histogram.
void Family(std::string& out, std::string_view name, std::string_view type, std::string_view help);
// name value, or name{label="text"} value.
void Sample(std::string& out, std::string_view name, uint64_t value);
void Sample(std::string& out, std::string_view name, std::string_view label, std::string_view text,
            uint64_t value);

} // namespace metrics
