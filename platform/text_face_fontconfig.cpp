// The face on Linux: fontconfig's match for the name, else its Japanese monospace face.
#include <fontconfig/fontconfig.h>

#include "platform/text_face.h"

const char* const FaceMissingMessage =
    "no Japanese fixed-pitch Gothic font found (fontconfig); install it with: "
    "apt-get install fonts-ipafont-gothic";

namespace {

constexpr const char* FallbackPattern = "monospace:lang=ja";

// Our own configuration, so that it can be released at exit.
class FontConfig {
  public:
    ~FontConfig() {
        if (FConfig) FcConfigDestroy(FConfig);
    }
    FcConfig* Get() {
        if (!FConfig) FConfig = FcInitLoadConfigAndFonts();
        return FConfig;
    }

  private:
    FcConfig* FConfig = nullptr;
};

FontConfig Config;

// fontconfig's best match for pattern (which it takes over), when that is a usable face.
// With a family, only a match of that very family counts: fontconfig's best match for an
// unknown name is some unrelated default face.
std::optional<TFaceFile> Match(FT_Library library, FcConfig* config, FcPattern* pattern,
                               const char* family) {
    if (!pattern) return std::nullopt;
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    std::optional<TFaceFile> found;
    if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
        bool wanted = !family;
        FcChar8* name = nullptr;
        for (int n = 0; !wanted && FcPatternGetString(match, FC_FAMILY, n, &name) == FcResultMatch;
             ++n)
            wanted = FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family)) == 0;
        FcChar8* path = nullptr;
        int index = 0;
        if (wanted && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
            if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
            const TFaceFile file{reinterpret_cast<const char*>(path), index};
            FT_Face face = nullptr;
            if (!OpenFaceFile(library, file, &face)) {
                if (UsableFace(face)) found = file;
                FT_Done_Face(face);
            }
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return found;
}

} // namespace

std::optional<TFaceFile> FindFaceFile(FT_Library library, const std::string& faceName) {
    FcConfig* config = Config.Get();
    if (!config) return std::nullopt;
    // The named face, then a fixed-pitch Japanese Gothic, whatever this machine calls it.
    FcPattern* named = FcPatternCreate();
    if (named)
        FcPatternAddString(named, FC_FAMILY, reinterpret_cast<const FcChar8*>(faceName.c_str()));
    if (auto found = Match(library, config, named, faceName.c_str())) return found;
    return Match(library, config, FcNameParse(reinterpret_cast<const FcChar8*>(FallbackPattern)),
                 nullptr);
}

FT_Error OpenFaceFile(FT_Library library, const TFaceFile& file, FT_Face* face) {
    return FT_New_Face(library, file.path.c_str(), file.index, face);
}
