// Helpers for pixel tests: region checks with readable failures, the picture of a failed test
// (or of any test when MELVARON_SHOT_DIR is set) written as a PNG, and the fixture of the
// window's drawing tests.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/image.h"
#include "platform/text.h"
#include "ui/form.h"
#include "ui/screen_layout.h"

namespace pixel_test {

inline std::string Hex(TColor c) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return text;
}

inline std::string CurrentTestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "image";
    for (char& ch : name)
        if (ch == '/') ch = '_';
    return name;
}

// Written into the test's working directory (the build's tests folder under CTest).
inline void SaveActualOnFailure(const TImage& image) {
    if (!::testing::Test::HasFailure()) return;
    const std::string path = CurrentTestName() + ".actual.png";
    std::string error;
    if (image.SavePng(path, error))
        std::fprintf(stderr, "actual picture written to %s\n", path.c_str());
    else
        std::fprintf(stderr, "%s\n", error.c_str());
}

// With MELVARON_SHOT_DIR set, writes the picture there for a person to look at.
inline void WriteShot(const TImage& image, const std::string& name) {
    const char* dir = std::getenv("MELVARON_SHOT_DIR");
    if (!dir || !*dir) return;
    std::string error;
    const std::string path = std::string(dir) + "/" + name + ".png";
    if (!image.SavePng(path, error)) ADD_FAILURE() << error;
}

// Every pixel of left <= x < right, top <= y < bottom has the colour.
inline ::testing::AssertionResult RectIs(const TImage& image, int left, int top, int right,
                                         int bottom, TColor colour) {
    int wrong = 0;
    std::string first;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (image.Pixel(x, y) != colour && wrong++ == 0)
                first = "(" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                        Hex(image.Pixel(x, y));
    if (wrong == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << wrong << " pixels of " << left << "," << top << "," << right << "," << bottom
           << " are not " << Hex(colour) << ", first " << first;
}

using PixelSet = std::set<std::pair<int, int>>;

// The pixels of a colour inside a rectangle.
inline PixelSet PixelsOf(const TImage& image, TColor colour, int left = 0, int top = 0,
                         int right = -1, int bottom = -1) {
    if (right < 0) right = image.Width();
    if (bottom < 0) bottom = image.Height();
    PixelSet set;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (image.Pixel(x, y) == colour) set.insert({x, y});
    return set;
}

// How many pixels of the whole picture have the colour.
inline size_t CountOf(const TImage& image, TColor colour) {
    size_t n = 0;
    for (TColor c : image.Pixels()) n += c == colour;
    return n;
}

// Positions where two pictures of the same size differ.
inline std::vector<std::pair<int, int>> Differences(const TImage& a, const TImage& b) {
    std::vector<std::pair<int, int>> diff;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y)) diff.push_back({x, y});
    return diff;
}

// The glyph pixels of a text drawn in the game's face with its top-left cell corner at (x, y).
inline PixelSet Ink(int x, int y, int height, int width, const std::string& text) {
    const TFont font(TFontStyle{GothicFace, height, width});
    std::vector<TPoint> points;
    font.Rasterize(text, points);
    PixelSet set;
    for (const TPoint& p : points) set.insert({x + p.x, y + p.y});
    return set;
}

// A window that is never created: its drawing operations paint onto a fresh image, which is
// written out when the test fails.
class FormPicture : public ::testing::Test {
  protected:
    void TearDown() override { SaveActualOnFailure(form.imgScreen); }
    TImage& image() { return form.imgScreen; }
    TfrmGalMain form;
};

} // namespace pixel_test
