// Character cells and UTF-8 decoding: what every TFont shares, whatever draws its glyphs.
#include "platform/text.h"

char32_t NextCodePoint(const std::string& s, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int extra = (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + extra >= s.size()) {
        ++i;
        return U'?';
    }
    char32_t cp = lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        unsigned char next = byte(i + k);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return U'?';
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    i += extra + 1;
    return cp;
}

int TFont::CellsOf(char32_t codePoint) {
    // Shift-JIS keeps ASCII and the half-width katakana in one byte and one cell.
    if (codePoint < 0x80) return 1;
    if (codePoint >= 0xFF61 && codePoint <= 0xFF9F) return 1;
    return 2;
}

int TFont::TextWidth(const std::string& utf8) const {
    int cells = 0;
    for (size_t i = 0; i < utf8.size();) cells += CellsOf(NextCodePoint(utf8, i));
    return cells * FStyle.width;
}
