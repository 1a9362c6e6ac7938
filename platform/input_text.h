// Outside input in error messages, and plain decimal numbers: the board reader, the tools and
// the window's scale show a bad word and read a number the same way. Header-only and free of
// the game, so that every room may include it.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

// Which bytes of a word show as they are; the others show as '?'. Control bytes never show.
enum class TShownBytes { Ascii, AllButControl };

// text as it may appear on one printable line: at most limit bytes, "..." when cut.
inline std::string ShownInput(std::string_view text, std::size_t limit, TShownBytes shown) {
    std::string out;
    for (const unsigned char c : text.substr(0, limit)) {
        const bool hidden = c < 0x20 || c == 0x7F || (shown == TShownBytes::Ascii && c >= 0x80);
        out += hidden ? '?' : static_cast<char>(c);
    }
    if (text.size() > limit) out += "...";
    return out;
}

// A file name on one line: every byte but the control ones as it is, up to a long path's length.
inline std::string ShownPath(std::string_view path) {
    return ShownInput(path, 4096, TShownBytes::AllButControl);
}

// ShownInput between single quotes.
inline std::string QuotedInput(std::string_view text, std::size_t limit, TShownBytes shown) {
    return "'" + ShownInput(text, limit, shown) + "'";
}

enum class TDecimal { Ok, NotANumber, OutOfRange };

// Plain decimal digits with an optional minus: no plus, no blanks, nothing after them.
// OutOfRange: the digits do not fit in 64 bits; value is then left as it was.
inline TDecimal ParseDecimal(std::string_view text, int64_t& value) {
    const std::size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == sign) return TDecimal::NotANumber;
    for (std::size_t i = sign; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return TDecimal::NotANumber;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(text.data(), last, value);
    return ec == std::errc() && end == last ? TDecimal::Ok : TDecimal::OutOfRange;
}
