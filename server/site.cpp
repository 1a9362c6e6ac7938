// The site's paths, types and origins.
#include "server/site.h"

#include <cctype>

namespace site {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

std::optional<std::filesystem::path> SitePath(const std::filesystem::path& root,
                                              std::string_view target) {
    target = target.substr(0, target.find_first_of("?#"));
    if (target.empty() || target[0] != '/') return std::nullopt;
    std::string path;
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (target[i] != '%') {
            path += target[i];
            continue;
        }
        const int hi = i + 2 < target.size() ? HexValue(target[i + 1]) : -1;
        const int lo = hi >= 0 ? HexValue(target[i + 2]) : -1;
        if (lo < 0) return std::nullopt;
        path += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    std::filesystem::path file = root;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = std::string_view(path).substr(start, end - start);
        if (part == "." || part == ".." ||
            part.find_first_of(std::string_view("\\\0", 2)) != std::string_view::npos)
            return std::nullopt;
        if (!part.empty()) file /= std::string(part);
        start = end + 1;
    }
    std::error_code ec;
    if (path.back() == '/' || std::filesystem::is_directory(file, ec)) file /= "index.html";
    return file;
}

const char* MimeType(const std::filesystem::path& file) {
    static constexpr struct {
        const char* extension;
        const char* type;
    } Types[] = {
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"},
        {".wasm", "application/wasm"},
        {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},
        {".webmanifest", "application/manifest+json"},
        {".png", "image/png"},
        {".svg", "image/svg+xml"},
        {".ico", "image/vnd.microsoft.icon"},
        {".txt", "text/plain; charset=utf-8"},
    };
    const std::string extension = file.extension().string();
    for (const auto& t : Types)
        if (SameText(extension, t.extension)) return t.type;
    return "application/octet-stream";
}

bool OriginAllowed(std::string_view origin, const TOwnName& own,
                   const std::vector<std::string>& allowed) {
    if (origin.empty()) return true;
    for (const std::string& a : allowed)
        if (SameText(origin, a)) return true;
    uint16_t port = 0;
    if (SameText(origin.substr(0, 7), "http://")) {
        origin.remove_prefix(7);
        port = 80;
    } else if (SameText(origin.substr(0, 8), "https://")) {
        origin.remove_prefix(8);
        port = 443;
    } else {
        return false; // "null", a file, another scheme
    }
    // An origin is a scheme, a host and a port, nothing after them.
    const std::size_t colon = origin.rfind(':');
    std::string_view host = origin;
    if (colon != std::string_view::npos && origin.find(']', colon) == std::string_view::npos) {
        const std::string_view digits = origin.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return false;
        uint32_t value = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<uint32_t>(c - '0');
        }
        if (value > 65535) return false;
        port = static_cast<uint16_t>(value);
        host = origin.substr(0, colon);
    }
    if (port != own.port || host.empty()) return false;
    return SameText(host, own.host) || (own.loopback && SameText(host, "localhost"));
}

} // namespace site
