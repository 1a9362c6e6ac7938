// Text: finding the fixed-pitch Gothic face with fontconfig and rasterising its glyphs with
// FreeType, without smoothing, into fixed character cells.
#include "platform/text.h"

#include <map>
#include <mutex>
#include <tuple>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace {

constexpr const char* MissingMessage =
    "no Japanese fixed-pitch Gothic font found (fontconfig); install it with: "
    "apt-get install fonts-ipafont-gothic";
constexpr const char* FallbackPattern = "monospace:lang=ja";

struct FaceFile {
    std::string path;
    int index = 0;
    bool operator<(const FaceFile& o) const {
        return std::tie(path, index) < std::tie(o.path, o.index);
    }
};

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
// rendered glyphs. Rendering is deterministic, so the cache never changes what is drawn. The
// lock only keeps the shared library safe should a second thread ever draw.
class FontStore {
  public:
    static FontStore& Get() {
        static FontStore store;
        return store;
    }

    std::mutex Lock;

    FaceFile Resolve(const std::string& faceName);
    FT_Face Open(const FaceFile& file);
    const GlyphInk& Glyph(FT_Face face, long emWidth, int height, int cellWidth, char32_t cp);

  private:
    FontStore() = default;
    ~FontStore() {
        for (auto& [file, face] : FFaces)
            if (face) FT_Done_Face(face);
        if (FLibrary) FT_Done_FreeType(FLibrary);
        if (FConfig) FcConfigDestroy(FConfig);
    }
    bool Usable(FT_Face face);
    // fontconfig's best match for pattern (which it takes over), when that is a usable face.
    // With a family, only a match of that very family counts: fontconfig's best match for an
    // unknown name is some unrelated default face.
    bool Match(FcPattern* pattern, const char* family, FaceFile& out);

    FT_Library FLibrary = nullptr;
    FcConfig* FConfig = nullptr; // our own, so that it can be released at exit
    std::map<std::string, FaceFile> FResolved;
    std::map<FaceFile, FT_Face> FFaces;
    std::map<GlyphKey, GlyphInk> FGlyphs;
};

// A face takes the place of the Gothic when it has both a half-width and a full-width Latin
// letter and the full-width one is exactly twice as wide: then every text fits its cells.
bool FontStore::Usable(FT_Face face) {
    if (!face || !FT_IS_SCALABLE(face)) return false;
    FT_UInt half = FT_Get_Char_Index(face, U'A');
    FT_UInt full = FT_Get_Char_Index(face, U'\uFF21');
    if (!half || !full) return false;
    if (FT_Load_Glyph(face, half, FT_LOAD_NO_SCALE)) return false;
    FT_Pos halfAdvance = face->glyph->advance.x;
    if (FT_Load_Glyph(face, full, FT_LOAD_NO_SCALE)) return false;
    return halfAdvance > 0 && face->glyph->advance.x == 2 * halfAdvance;
}

FT_Face FontStore::Open(const FaceFile& file) {
    auto it = FFaces.find(file);
    if (it != FFaces.end()) return it->second;
    if (!FLibrary && FT_Init_FreeType(&FLibrary)) {
        FLibrary = nullptr;
        throw TFontMissing("FreeType could not be initialised");
    }
    FT_Face face = nullptr;
    if (FT_New_Face(FLibrary, file.path.c_str(), file.index, &face)) face = nullptr;
    if (face && !Usable(face)) {
        FT_Done_Face(face);
        face = nullptr;
    }
    FFaces[file] = face;
    return face;
}

bool FontStore::Match(FcPattern* pattern, const char* family, FaceFile& out) {
    if (!pattern) return false;
    FcConfigSubstitute(FConfig, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    bool ok = false;
    if (FcPattern* match = FcFontMatch(FConfig, pattern, &result)) {
        bool wanted = !family;
        FcChar8* name = nullptr;
        for (int n = 0; !wanted && FcPatternGetString(match, FC_FAMILY, n, &name) == FcResultMatch;
             ++n)
            wanted = FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family)) == 0;
        FcChar8* path = nullptr;
        int index = 0;
        if (wanted && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
            if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
            const FaceFile file{reinterpret_cast<const char*>(path), index};
            ok = Open(file) != nullptr;
            if (ok) out = file;
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return ok;
}

FaceFile FontStore::Resolve(const std::string& faceName) {
    auto it = FResolved.find(faceName);
    if (it != FResolved.end()) return it->second;
    if (!FConfig) {
        FConfig = FcInitLoadConfigAndFonts();
        if (!FConfig) throw TFontMissing(MissingMessage);
    }
    // The named face, then a fixed-pitch Japanese Gothic, whatever this machine calls it.
    FcPattern* named = FcPatternCreate();
    if (named)
        FcPatternAddString(named, FC_FAMILY, reinterpret_cast<const FcChar8*>(faceName.c_str()));
    FaceFile found;
    if (!Match(named, faceName.c_str(), found) &&
        !Match(FcNameParse(reinterpret_cast<const FcChar8*>(FallbackPattern)), nullptr, found))
        throw TFontMissing(MissingMessage);
    FResolved[faceName] = found;
    return found;
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

struct TFont::Impl {
    FT_Face face = nullptr;
    long emWidth = 0; // the horizontal em in 26.6 pixels that makes a half-width glyph `width` wide
};

TFont::TFont(const TFontStyle& style) : FStyle(style), FImpl(std::make_unique<Impl>()) {
    FontStore& store = FontStore::Get();
    std::lock_guard<std::mutex> guard(store.Lock);
    FImpl->face = store.Open(store.Resolve(style.faceName));
    if (!FImpl->face) throw TFontMissing(MissingMessage);
    // Usable() checked that 'A' has the half-width advance.
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
    std::lock_guard<std::mutex> guard(store.Lock);
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
    std::lock_guard<std::mutex> guard(store.Lock);
    return store.Resolve(faceName).path;
}
