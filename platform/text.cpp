// Text: glyphs of the face that text_face.h finds, rasterised by FreeType without smoothing
// into fixed character cells.
#include "platform/text.h"

#include <map>
#include <tuple>

#include "platform/text_face.h"

#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H

namespace {

// One glyph placed in its cell: pixel offsets from the cell's top-left corner.
using GlyphInk = std::vector<TPoint>;

struct GlyphKey {
    FT_Face face;
    long emWidth; // 26.6 pixels
    int height;
    int cellWidth;
    char32_t codePoint;
    bool operator<(const GlyphKey& o) const {
        return std::tie(face, emWidth, height, cellWidth, codePoint) <
               std::tie(o.face, o.emWidth, o.height, o.cellWidth, o.codePoint);
    }
};

// Everything loaded once per process: the FreeType library, resolved names, open faces and
// rendered glyphs. Rendering is deterministic, so the cache never changes what is drawn. Only
// the main thread draws.
class FontStore {
  public:
    static FontStore& Get() {
        static FontStore store;
        return store;
    }

    TFaceFile Resolve(const std::string& faceName);
    FT_Face Open(const TFaceFile& file);
    const GlyphInk& Glyph(FT_Face face, long emWidth, int height, int cellWidth, char32_t cp);

  private:
    FontStore() = default;
    ~FontStore() {
        for (auto& [file, face] : FFaces)
            if (face) FT_Done_Face(face);
        if (FLibrary) FT_Done_FreeType(FLibrary);
    }
    FT_Library Library() {
        if (!FLibrary && FT_Init_FreeType(&FLibrary)) {
            FLibrary = nullptr;
            throw TFontMissing("FreeType could not be initialised");
        }
        return FLibrary;
    }

    FT_Library FLibrary = nullptr;
    std::map<std::string, TFaceFile> FResolved;
    std::map<TFaceFile, FT_Face> FFaces;
    std::map<GlyphKey, GlyphInk> FGlyphs;
};

FT_Face FontStore::Open(const TFaceFile& file) {
    auto it = FFaces.find(file);
    if (it != FFaces.end()) return it->second;
    FT_Face face = nullptr;
    if (OpenFaceFile(Library(), file, &face)) face = nullptr;
    if (face && !UsableFace(face)) {
        FT_Done_Face(face);
        face = nullptr;
    }
    FFaces[file] = face;
    return face;
}

TFaceFile FontStore::Resolve(const std::string& faceName) {
    auto it = FResolved.find(faceName);
    if (it != FResolved.end()) return it->second;
    const std::optional<TFaceFile> found = FindFaceFile(Library(), faceName);
    if (!found) throw TFontMissing(FaceMissingMessage);
    FResolved[faceName] = *found;
    return *found;
}

const GlyphInk& FontStore::Glyph(FT_Face face, long emWidth, int height, int cellWidth,
                                 char32_t cp) {
    GlyphKey key{face, emWidth, height, cellWidth, cp};
    auto it = FGlyphs.find(key);
    if (it != FGlyphs.end()) return it->second;

    GlyphInk& ink = FGlyphs[key];
    if (FT_Set_Char_Size(face, emWidth, static_cast<FT_F26Dot6>(height) * 64, 72, 72)) return ink;
    FT_UInt index = FT_Get_Char_Index(face, cp);
    if (!index && cp == U' ') return ink;
    // The auto-hinter keeps stems apart at the smallest cells (6 pixels) better than the face's
    // own hints, which are made for square sizes.
    if (FT_Load_Glyph(face, index,
                      FT_LOAD_TARGET_MONO | FT_LOAD_FORCE_AUTOHINT | FT_LOAD_NO_BITMAP))
        return ink;
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO)) return ink;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return ink;

    // The em box stands on the baseline at the face's ascent share of the cell, so ascenders and
    // descenders of an East Asian face both stay inside the cell. A glyph whose advance differs
    // from its cell is centred in it.
    const long ascent = face->ascender, descent = -face->descender;
    const int baseline =
        ascent + descent > 0 ? static_cast<int>(height * ascent / (ascent + descent)) : height;
    const int shift = static_cast<int>((static_cast<long>(cellWidth) * 64 - slot->advance.x) / 128);
    const int pitch = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const unsigned char* bits =
            bitmap.buffer +
            static_cast<long>(bitmap.pitch >= 0 ? row : bitmap.rows - 1 - row) * pitch;
        const int y = baseline - slot->bitmap_top + static_cast<int>(row);
        if (y < 0 || y >= height) continue;
        for (unsigned col = 0; col < bitmap.width; ++col) {
            if (!(bits[col >> 3] & (0x80 >> (col & 7)))) continue;
            const int x = shift + slot->bitmap_left + static_cast<int>(col);
            if (x >= 0 && x < cellWidth) ink.push_back({x, y});
        }
    }
    return ink;
}

} // namespace

// A face takes the place of the Gothic when it has both a half-width and a full-width Latin
// letter and the full-width one is exactly twice as wide: then every text fits its cells.
bool UsableFace(FT_Face face) {
    if (!face || !FT_IS_SCALABLE(face)) return false;
    FT_UInt half = FT_Get_Char_Index(face, U'A');
    FT_UInt full = FT_Get_Char_Index(face, U'\uFF21');
    if (!half || !full) return false;
    if (FT_Load_Glyph(face, half, FT_LOAD_NO_SCALE)) return false;
    FT_Pos halfAdvance = face->glyph->advance.x;
    if (FT_Load_Glyph(face, full, FT_LOAD_NO_SCALE)) return false;
    return halfAdvance > 0 && face->glyph->advance.x == 2 * halfAdvance;
}

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// A name record as UTF-8; nothing for encodings other than UTF-16 and plain ASCII.
std::optional<std::string> NameText(const FT_SfntName& name) {
    std::string text;
    const bool utf16 =
        name.platform_id == TT_PLATFORM_APPLE_UNICODE ||
        (name.platform_id == TT_PLATFORM_MICROSOFT &&
         (name.encoding_id == TT_MS_ID_UNICODE_CS || name.encoding_id == TT_MS_ID_UCS_4 ||
          name.encoding_id == TT_MS_ID_SYMBOL_CS));
    if (utf16) {
        for (FT_UInt i = 0; i + 1 < name.string_len; i += 2) {
            char32_t unit = static_cast<char32_t>(name.string[i] << 8 | name.string[i + 1]);
            if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < name.string_len) {
                const char32_t low =
                    static_cast<char32_t>(name.string[i + 2] << 8 | name.string[i + 3]);
                if (low >= 0xDC00 && low < 0xE000) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            AppendUtf8(text, unit);
        }
        return text;
    }
    if (name.platform_id == TT_PLATFORM_MACINTOSH && name.encoding_id == TT_MAC_ID_ROMAN) {
        for (FT_UInt i = 0; i < name.string_len; ++i) {
            if (name.string[i] >= 0x80) return std::nullopt;
            text += static_cast<char>(name.string[i]);
        }
        return text;
    }
    return std::nullopt;
}

bool SameName(const std::string& a, const std::string& b) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

} // namespace

bool HasFamilyName(FT_Face face, const std::string& family) {
    const FT_UInt count = FT_Get_Sfnt_Name_Count(face);
    for (FT_UInt i = 0; i < count; ++i) {
        FT_SfntName name;
        if (FT_Get_Sfnt_Name(face, i, &name)) continue;
        if (name.name_id != TT_NAME_ID_FONT_FAMILY && name.name_id != TT_NAME_ID_TYPOGRAPHIC_FAMILY)
            continue;
        const std::optional<std::string> text = NameText(name);
        if (text && SameName(*text, family)) return true;
    }
    return false;
}

std::optional<TFaceFile> FindFaceInFiles(FT_Library library, const std::string& faceName,
                                         const std::vector<std::string>& named,
                                         const std::string& fallback) {
    // Opens one face and tells whether it is wanted; count receives the faces in its file.
    const auto accept = [&](const TFaceFile& file, bool byName, long& count) {
        FT_Face face = nullptr;
        if (OpenFaceFile(library, file, &face)) return false;
        count = face->num_faces;
        const bool wanted = (!byName || HasFamilyName(face, faceName)) && UsableFace(face);
        FT_Done_Face(face);
        return wanted;
    };
    for (const std::string& path : named) {
        long count = 1;
        for (int index = 0; index < count; ++index)
            if (accept({path, index}, true, count)) return TFaceFile{path, index};
    }
    long count = 0;
    if (!fallback.empty() && accept({fallback, 0}, false, count)) return TFaceFile{fallback, 0};
    return std::nullopt;
}

struct TFont::Impl {
    FT_Face face = nullptr;
    long emWidth = 0; // the horizontal em in 26.6 pixels that makes a half-width glyph `width` wide
};

TFont::TFont(const TFontStyle& style) : FStyle(style), FImpl(std::make_unique<Impl>()) {
    FontStore& store = FontStore::Get();
    FImpl->face = store.Open(store.Resolve(style.faceName));
    if (!FImpl->face) throw TFontMissing(FaceMissingMessage);
    // UsableFace() checked that 'A' has the half-width advance.
    FT_Load_Glyph(FImpl->face, FT_Get_Char_Index(FImpl->face, U'A'), FT_LOAD_NO_SCALE);
    const long halfAdvance = FImpl->face->glyph->advance.x;
    FImpl->emWidth =
        (static_cast<long>(style.width) * 64 * FImpl->face->units_per_EM + halfAdvance / 2) /
        halfAdvance;
}

TFont::~TFont() = default;

void TFont::Rasterize(const std::string& utf8, std::vector<TPoint>& ink) const {
    if (FStyle.width <= 0 || FStyle.height <= 0) return;
    FontStore& store = FontStore::Get();
    int left = 0;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t cp = NextCodePoint(utf8, i);
        const int cellWidth = CellsOf(cp) * FStyle.width;
        for (const TPoint& p :
             store.Glyph(FImpl->face, FImpl->emWidth, FStyle.height, cellWidth, cp))
            ink.push_back({left + p.x, p.y});
        left += cellWidth;
    }
}

std::string ResolveFontFile(const std::string& faceName) {
    FontStore& store = FontStore::Get();
    return store.Resolve(faceName).path;
}
