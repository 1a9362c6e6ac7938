// What the HTTP side allows: which file of the site a request's path names (never one outside
// it), the type each file is sent as, and which pages may open the game's WebSocket.
#pragma once

#include <cstdint>
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

// The name a page of the server's own has in its origin: the address the connection came in on
// (IPv6 in brackets) and its port; a loopback address is also "localhost".
struct TOwnName {
    std::string host; // "192.0.2.1", "[2001:db8::1]"
    uint16_t port = 0;
    bool loopback = false;
};

// Whether a page from origin may open the game's WebSocket: one of allowed (the --origin
// values), or a page of the server's own, http or https on own's host and port (the scheme's
// own port may be left out). The request's Host is never asked: a page that a DNS name of
// someone else's led to this address still has that name in its origin. A request without an
// Origin comes from no browser page, so no page's seat can be borrowed by it.
bool OriginAllowed(std::string_view origin, const TOwnName& own,
                   const std::vector<std::string>& allowed);

} // namespace site
