// Text for the web build: the glyphs the desktop rendered at build time, read from their
// bitmaps. A text or size that was not baked throws, so it can never be drawn blank unnoticed.
#include <algorithm>

#include "platform/text.h"
#include "platform/web_glyphs.h"

struct TFont::Impl {
    const TBakedFace* face = nullptr;
};

namespace {

const TBakedFace* FaceOf(int height, int width) {
    for (int i = 0; i < BakedFaceCount; ++i)
        if (BakedFaces[i].height == height && BakedFaces[i].width == width) return &BakedFaces[i];
    return nullptr;
}

} // namespace

TFont::TFont(const TFontStyle& style) : FStyle(style), FImpl(std::make_unique<Impl>()) {
    FImpl->face = FaceOf(style.height, style.width);
    if (!FImpl->face)
        throw TFontMissing("no glyphs were baked for cells of " + std::to_string(style.height) +
                           " x " + std::to_string(style.width) + " pixels");
}

TFont::~TFont() = default;

void TFont::Rasterize(const std::string& utf8, std::vector<TPoint>& ink) const {
    const TBakedFace& face = *FImpl->face;
    const TBakedGlyph* end = face.glyphs + face.count;
    int left = 0;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t cp = NextCodePoint(utf8, i);
        const TBakedGlyph* g = std::lower_bound(
            face.glyphs, end, cp, [](const TBakedGlyph& a, char32_t c) { return a.codePoint < c; });
        if (g == end || g->codePoint != cp)
            throw TFontMissing("glyph U+" + std::to_string(static_cast<unsigned>(cp)) +
                               " was not baked (text \"" + utf8 + "\")");
        const int cellWidth = CellsOf(cp) * face.width;
        const int rowBytes = (cellWidth + 7) / 8;
        const uint8_t* bits = face.bits + g->offset;
        for (int y = 0; y < face.height; ++y)
            for (int x = 0; x < cellWidth; ++x)
                if (bits[y * rowBytes + x / 8] & (0x80 >> (x % 8))) ink.push_back({left + x, y});
        left += cellWidth;
    }
}

std::string ResolveFontFile(const std::string&) {
    return "(glyphs baked into the program)";
}
