// Glyphs rendered ahead of time by the desktop's text code, for a build without FreeType: one
// table per cell size, each glyph a 1-bit bitmap of its whole cell.
#pragma once

#include <cstdint>

struct TBakedGlyph {
    char32_t codePoint;
    uint32_t offset; // first byte of its bitmap in the face's bits
};

// A glyph's bitmap: height rows of (cells x width + 7) / 8 bytes, the leftmost pixel in the
// top bit of a row's first byte.
struct TBakedFace {
    int height, width;         // the cell, as in TFontStyle
    const TBakedGlyph* glyphs; // ascending code points
    int count;
    const uint8_t* bits;
};

extern const TBakedFace BakedFaces[];
extern const int BakedFaceCount;
