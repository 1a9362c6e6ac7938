// What the HTTP side allows: which file of the site a request's path names (never one outside
// it), the type each file is sent as, and which pages may open the game's WebSocket.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace site {

// The file under root that the request target names ("/" and folders give their index.html),
// or nothing when the target is not a plain path inside the site: percent escapes are decoded
// first, then a "..", a backslash or a NUL refuses it. The query and the fragment are ignored.
std::optional<std::filesystem::path> SitePath(const std::filesystem::path& root,
                                              std::string_view target);

// The Content-Type of a file by its extension; unknown ones are application/octet-stream.
const char* MimeType(const std::filesystem::path& file);

// Whether a page from origin may open the game's WebSocket on a server reached as host: its own
// origin (http or https, the same host and port) or one of allowed. A request without an
// Origin comes from no browser page, so no page's cookies or seat can be borrowed by it.
bool OriginAllowed(std::string_view origin, std::string_view host,
                   const std::vector<std::string>& allowed);

} // namespace site
