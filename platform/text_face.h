// Where the face comes from: one small piece per system behind FindFaceFile and OpenFaceFile
// (fontconfig on Linux, the fonts folder on Windows); text.cpp rasterises whatever they find.
#pragma once

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

struct TFaceFile {
    std::string path; // UTF-8
    int index = 0;    // the face's number within a collection file
    bool operator<(const TFaceFile& o) const {
        return std::tie(path, index) < std::tie(o.path, o.index);
    }
};

// --- per system ---

// The file of the face named faceName or, without it, of a fixed-pitch Japanese Gothic; the
// face found is usable (UsableFace). Nothing when this system has neither.
std::optional<TFaceFile> FindFaceFile(FT_Library library, const std::string& faceName);
// FT_New_Face for a file of this system's paths.
FT_Error OpenFaceFile(FT_Library library, const TFaceFile& file, FT_Face* face);
// What to install when FindFaceFile finds nothing, as one line.
extern const char* const FaceMissingMessage;

// --- shared ---

// Whether the face can stand for the Gothic: every text then fits its cells.
bool UsableFace(FT_Face face);
// Whether one of the face's family names, in any language of its name table, is family
// (UTF-8, ASCII letters compared without case).
bool HasFamilyName(FT_Face face, const std::string& family);
// The first usable face in the named files whose family names include faceName (every face of
// a collection is tried), else the fallback file's first face when usable, whatever its name.
std::optional<TFaceFile> FindFaceInFiles(FT_Library library, const std::string& faceName,
                                         const std::vector<std::string>& named,
                                         const std::string& fallback);
