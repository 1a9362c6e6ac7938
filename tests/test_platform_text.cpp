// Text: cell widths, glyphs held inside their cells, one-colour glyphs and the missing face.
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <unistd.h>

#include "pixel_test_util.h"
#include "platform/image.h"
#include "platform/text.h"
#include "platform/text_face.h"
#include "posix_only.h"

using namespace pixel_test;

namespace {

const char* const Gothic = "ＭＳ ゴシック";

TFontStyle Style(int height, int width) {
    return TFontStyle{Gothic, height, width};
}

TEST(TextCells, FollowTheShiftJisWidths) {
    const struct {
        char32_t cp;
        int cells;
    } cases[] = {
        {U'A', 1},      {U' ', 1}, {U'~', 1}, {U'@', 1}, {U'\uFF71', 1}, // half-width katakana a
        {U'\uFF9F', 1},                                                  // last half-width katakana
        {U'\uFF21', 2},                                                  // full-width A
        {U'\uFF1F', 2},                                                  // full-width question mark
        {U'\u3042', 2},                                                  // hiragana a
        {U'\u00E9', 2}, // no single byte in Shift-JIS
        {U'\uFF60', 2}, // just before the half-width range
    };
    for (const auto& c : cases)
        EXPECT_EQ(TFont::CellsOf(c.cp), c.cells) << std::hex << static_cast<unsigned>(c.cp);
}

TEST(TextCells, WidthOfTexts) {
    const struct {
        const char* text;
        int height, width, pixels;
    } cases[] = {
        {"REST", 24, 24, 96},
        {"NEW GAME", 24, 24, 192},
        {"Ｅ Ｎ Ｄ", 24, 24, 192},
        {"Ｙ Ｅ Ｓ", 24, 24, 192},
        {" Ｎ  Ｏ ", 24, 24, 192},
        {"ＧＡＭＥ", 24, 24, 192},
        {"SELECT PLAYER !!", 24, 12, 192},
        {"Ｅ Ｎ Ｄ？", 24, 12, 120},
        {"", 24, 12, 0},
        {"\xE3\x81", 24, 12, 24}, // a cut-off sequence reads as two one-cell '?'
    };
    for (const auto& c : cases) {
        TFont font(Style(c.height, c.width));
        EXPECT_EQ(font.TextWidth(c.text), c.pixels) << c.text;
    }
}

// The sizes the screen uses; every character must keep to its cells and show something.
TEST(TextGlyphs, StayInsideTheirCellsAndFillThem) {
    const struct { int height, width; } sizes[] = {{24, 24}, {24, 12}, {48, 24}, {16, 8}, {12, 6}};
    // Each entry: one character and the cells it takes.
    const struct {
        const char* ch;
        int cells;
    } chars[] = {{"M", 1},  {"g", 1},  {"y", 1},  {"@", 1}, {"|", 1}, {"5", 1},
                 {"Ｍ", 2}, {"？", 2}, {"Ｙ", 2}, {"ｱ", 1}, {"W", 1}};
    for (const auto& size : sizes) {
        TFont font(Style(size.height, size.width));
        std::string text;
        for (const auto& c : chars) text += c.ch;
        std::vector<TPoint> ink;
        font.Rasterize(text, ink);

        int left = 0, bottomOfM = -1, bottomOfG = -1;
        for (const auto& c : chars) {
            const int right = left + c.cells * size.width;
            int minX = 1 << 20, maxX = -1, minY = 1 << 20, maxY = -1;
            for (const TPoint& p : ink)
                if (p.x >= left && p.x < right) {
                    minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
                    minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
                }
            const std::string where = std::string(c.ch) + " at " + std::to_string(size.height) +
                                      "x" + std::to_string(size.width);
            ASSERT_GE(maxX, 0) << where << ": no ink";
            EXPECT_GE(minY, 0) << where;
            EXPECT_LT(maxY, size.height) << where;
            if (std::string(c.ch) == "M") bottomOfM = maxY;
            if (std::string(c.ch) == "g") bottomOfG = maxY;
            // Stretched to the cell: a capital spans most of its cell's width and height.
            if (std::string(c.ch) == "M" || std::string(c.ch) == "Ｍ") {
                EXPECT_GE(maxX - minX + 1, c.cells * size.width * 6 / 10) << where;
                EXPECT_GE(maxY - minY + 1, size.height / 2) << where;
            }
            left = right;
        }
        // The descender fits in the cell below the baseline instead of being cut off.
        EXPECT_GT(bottomOfG, bottomOfM) << size.height << "x" << size.width;
        for (const TPoint& p : ink) {
            EXPECT_GE(p.x, 0);
            EXPECT_LT(p.x, left);
        }
    }
}

TEST(TextOut, PaintsOnlyGlyphPixelsInOneColourAndClips) {
    constexpr TColor Ground = RGBColor(0x41, 0x5A, 0x41);
    constexpr TColor Ink = RGBColor(0x5A, 0xF6, 0x5A);
    TFont font(Style(24, 12));
    std::vector<TPoint> ink;
    font.Rasterize("Put Panel !", ink);

    for (const TPoint at : {TPoint{10, 5}, TPoint{-30, -8}, TPoint{70, 20}}) {
        TImage image(120, 36, Ground);
        image.TextOut(at.x, at.y, font, Ink, "Put Panel !");
        PixelSet want;
        for (const TPoint& p : ink) {
            const int x = at.x + p.x, y = at.y + p.y;
            if (x >= 0 && x < 120 && y >= 0 && y < 36) want.insert({x, y});
        }
        EXPECT_FALSE(want.empty());
        EXPECT_EQ(PixelsOf(image, Ink), want) << "at " << at.x << "," << at.y;
        EXPECT_EQ(PixelsOf(image, Ground).size() + want.size(), 120u * 36u)
            << "a third colour appeared";
        SaveActualOnFailure(image);
    }
}

TEST(TextFace, TheGothicNameFindsAFile) {
    const std::string file = ResolveFontFile(Gothic);
    ASSERT_FALSE(file.empty());
    EXPECT_TRUE(std::ifstream(file).good()) << file;
}

// The face lookup that works by file names (the Windows fonts folder) trusts a file only by the
// family names inside it. Tried here with the files this machine has.
class FaceFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(FT_Init_FreeType(&FLibrary), 0);
        FGothic = ResolveFontFile(Gothic);
        if (!std::ifstream(Sans).good()) GTEST_SKIP() << "no " << Sans;
    }
    void TearDown() override { FT_Done_FreeType(FLibrary); }
    FT_Library FLibrary = nullptr;
    std::string FGothic; // IPAGothic where MS Gothic is not installed
    // A proportional face: no full-width letters twice the half-width.
    static constexpr const char* Sans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
};

TEST_F(FaceFiles, FamilyNamesInAnyLanguageWithoutCase) {
    FT_Face face = nullptr;
    ASSERT_EQ(OpenFaceFile(FLibrary, {FGothic, 0}, &face), 0);
    FT_Face sans = nullptr;
    ASSERT_EQ(OpenFaceFile(FLibrary, {Sans, 0}, &sans), 0);
    const bool ms = HasFamilyName(face, "MS Gothic");
    // Whichever Gothic this machine has, its English and Japanese names are both in its file.
    const struct {
        FT_Face face;
        std::string family;
        bool has;
    } cases[] = {
        {face, ms ? "ms gothic" : "ipagothic", true},
        {face, ms ? "ＭＳ ゴシック" : "IPAゴシック", true},
        {face, ms ? "MS Gothi" : "IPAGothi", false},
        {face, ms ? "MS Gothic " : "IPAGothic ", false},
        {face, ms ? "ＭＳ ｺﾞｼｯｸ" : "IPAｺﾞｼｯｸ", false},
        {face, "", false},
        {sans, "DejaVu Sans", true},
        {sans, Gothic, false},
    };
    for (const auto& c : cases) EXPECT_EQ(HasFamilyName(c.face, c.family), c.has) << c.family;
    FT_Done_Face(sans);
    FT_Done_Face(face);
}

TEST_F(FaceFiles, NamedFileByItsFamilyElseTheFallback) {
    const std::string sans = Sans;
    const std::string none = ::testing::TempDir() + "melvaron-no-such-font.ttf";
    FT_Face face = nullptr;
    ASSERT_EQ(OpenFaceFile(FLibrary, {FGothic, 0}, &face), 0);
    const std::string family = face->family_name;
    FT_Done_Face(face);
    const struct {
        const char* what;
        std::string faceName;
        std::vector<std::string> named;
        std::string fallback;
        std::optional<std::string> found;
    } cases[] = {
        {"the named file", family, {none, FGothic}, sans, FGothic},
        {"a file of another family", Gothic, {FGothic}, "", std::nullopt},
        {"the fallback", Gothic, {FGothic, none}, FGothic, FGothic},
        {"a family that cannot fill full-width cells", "DejaVu Sans", {sans}, "", std::nullopt},
        {"a fallback that cannot either", Gothic, {}, sans, std::nullopt},
        {"no files at all", Gothic, {none}, none, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<TFaceFile> got =
            FindFaceInFiles(FLibrary, c.faceName, c.named, c.fallback);
        ASSERT_EQ(got.has_value(), c.found.has_value()) << c.what;
        if (got) {
            EXPECT_EQ(got->path, *c.found) << c.what;
            EXPECT_EQ(got->index, 0) << c.what;
        }
    }
}

// Without any font the face cannot be made, and the message names the package to install. An
// empty fontconfig stands for a machine without fonts; Windows finds its face without fontconfig
// (the file lookup above).
TEST(TextFaceDeathTest, NoFontNamesThePackage) {
    MELVARON_POSIX_ONLY("an empty fontconfig stands for a machine without fonts");
#ifndef _WIN32
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string conf =
        ::testing::TempDir() + "melvaron-empty-fonts-" + std::to_string(getpid()) + ".conf";
    std::ofstream(conf) << "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n";
    EXPECT_EXIT(
        {
            setenv("FONTCONFIG_FILE", conf.c_str(), 1);
            try {
                TFont font(Style(24, 12));
            } catch (const TFontMissing& e) {
                std::fprintf(stderr, "%s\n", e.what());
                std::exit(3);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(3), "apt-get install fonts-ipafont-gothic");
#endif
}

} // namespace
