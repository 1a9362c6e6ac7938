// Text: cell widths, glyphs held inside their cells, one-colour glyphs and the missing face.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <unistd.h>

#include "pixel_test_util.h"
#include "platform/image.h"
#include "platform/text.h"

using namespace pixel_test;

namespace {

const char* const Gothic = "ＭＳ ゴシック";

TFontStyle Style(int height, int width) {
    return TFontStyle{Gothic, height, width, 400, 128};
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

// Without any font the face cannot be made, and the message names the package to install.
TEST(TextFaceDeathTest, NoFontNamesThePackage) {
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
}

} // namespace
