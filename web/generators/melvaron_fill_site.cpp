// melvaron-fill-page TEMPLATE OUT: writes TEMPLATE with the game's own names and colours put in
// for the @NAME@ marks below, so that the web page and its manifest show what the window shows
// (run by the web build; not installed).
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "ui/screen_layout.h"

namespace {

std::string Hex(TColor c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return text;
}

struct TMark {
    const char* name;
    std::string value;
};

// Plain text in both HTML and JSON: a name that needed quoting would have to be escaped here.
constexpr bool PlainText(const char* s) {
    for (; *s; ++s)
        if (*s == '"' || *s == '\\' || *s == '<' || *s == '>' || *s == '&') return false;
    return true;
}
static_assert(PlainText(AppTitle) && PlainText(AppShortName));

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: melvaron-fill-page TEMPLATE OUT\n");
        return 2;
    }
    const TMark marks[] = {
        {"APP_TITLE", AppTitle},
        {"APP_SHORT_NAME", AppShortName},
        {"COL_BACK", Hex(ColBack)},
        {"COL_TEXT", Hex(ColText)},
        {"COL_CYAN", Hex(ColCyan)},
        {"CLIENT_WIDTH", std::to_string(ClientWidth)},
        {"CLIENT_HEIGHT", std::to_string(ClientHeight)},
    };
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "error: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const size_t open = text.find('@', at);
        if (open == std::string::npos) {
            out.append(text, at);
            break;
        }
        const size_t close = text.find('@', open + 1);
        const std::string name =
            close == std::string::npos ? "" : text.substr(open + 1, close - open - 1);
        const TMark* mark = nullptr;
        for (const TMark& m : marks)
            if (name == m.name) mark = &m;
        if (!mark) {
            // A mark this tool does not know would reach the page as it is.
            const size_t line = 1 + std::count(text.begin(), text.begin() + open, '\n');
            std::fprintf(stderr, "error: %s:%zu: '@' begins no known @NAME@ mark\n", argv[1], line);
            return 1;
        }
        out.append(text, at, open - at);
        out += mark->value;
        at = close + 1;
    }
    std::ofstream file(argv[2], std::ios::binary);
    file << out;
    file.close();
    if (!file) {
        std::fprintf(stderr, "error: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
