// The Prometheus text format's lines.
#include "server/metrics.h"

namespace metrics {

namespace {

// A label's value in quotes: backslash, quote and line end escaped, as the format reads them.
void Quoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c == '\n' ? std::string_view("\\n") : std::string_view(&c, 1);
    }
    out += '"';
}

} // namespace

void Family(std::string& out, std::string_view name, std::string_view type, std::string_view help) {
    out.append("# HELP ").append(name).append(" ").append(help).append("\n");
    out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void Sample(std::string& out, std::string_view name, uint64_t value) {
    out.append(name).append(" ").append(std::to_string(value)).append("\n");
}

void Sample(std::string& out, std::string_view name, std::string_view label, std::string_view text,
            uint64_t value) {
    out.append(name).append("{").append(label).append("=");
    Quoted(out, text);
    out.append("} ").append(std::to_string(value)).append("\n");
}

} // namespace metrics
