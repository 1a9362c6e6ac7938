// Text: a fixed-pitch face rendered by FreeType without smoothing into character cells of a
// given height and half-width. Where the face comes from is the system's part (text_face.h).
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/image.h"

// Raised when no usable face exists; what() says what to install.
class TFontMissing : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct TFontStyle {
    std::string faceName; // looked up by name first; a Japanese fixed-pitch Gothic otherwise
    int height = 12;      // character cell height in pixels
    int width = 6;        // half-width character width; full-width characters take twice that
};

class TFont {
  public:
    // Throws TFontMissing when neither the named face nor a fallback can be loaded.
    explicit TFont(const TFontStyle& style);
    ~TFont();
    TFont(const TFont&) = delete;
    TFont& operator=(const TFont&) = delete;

    // Character cells a code point takes: 1 half-width, 2 full-width (the Shift-JIS split).
    static int CellsOf(char32_t codePoint);
    // Width in pixels of a UTF-8 text.
    int TextWidth(const std::string& utf8) const;
    // Appends the glyph pixels of a UTF-8 text, relative to the top-left corner of its first
    // character cell. Each character's pixels lie inside its own cells.
    void Rasterize(const std::string& utf8, std::vector<TPoint>& ink) const;

  private:
    struct Impl;
    TFontStyle FStyle;
    std::unique_ptr<Impl> FImpl;
};

// Next code point of a UTF-8 text at byte i, which moves past it; a malformed byte reads as '?'.
char32_t NextCodePoint(const std::string& utf8, size_t& i);

// The fonts of one face at the sizes a drawing surface asks for, each made on first use and
// kept, so that drawing a text does not set up a font every time.
class TFontSet {
  public:
    explicit TFontSet(std::string faceName) : FFaceName(std::move(faceName)) {}

    const TFont& At(int height, int width) {
        std::unique_ptr<TFont>& font = FFonts[{height, width}];
        if (!font) font = std::make_unique<TFont>(TFontStyle{FFaceName, height, width});
        return *font;
    }

  private:
    std::string FFaceName;
    std::map<std::pair<int, int>, std::unique_ptr<TFont>> FFonts;
};

// The file that will be used for faceName (for diagnostics); throws TFontMissing.
std::string ResolveFontFile(const std::string& faceName);
