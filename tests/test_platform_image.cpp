// The pixel rules of the image primitives and PNG output.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <png.h>

#include "pixel_test_util.h"
#include "platform/image.h"
#include "platform/text.h"

using namespace pixel_test;

namespace {

constexpr TColor Ground = RGBColor(0, 0x52, 0);
constexpr TColor Fill = RGBColor(0x5A, 0x5A, 0xF6);
constexpr TColor Edge = RGBColor(0, 0, 0);

struct RectCase {
    int left, top, right, bottom;
};

TEST(FillRect, PaintsLeftTopButNotRightBottomAndClips) {
    const RectCase cases[] = {
        {3, 4, 10, 9},    // ordinary
        {5, 5, 6, 6},     // one pixel
        {5, 5, 5, 9},     // empty width
        {7, 6, 3, 2},     // reversed: nothing
        {-4, -3, 2, 2},   // clipped at the top left
        {30, 20, 99, 99}, // clipped at the bottom right
        {-9, -9, 99, 99}, // whole picture
    };
    for (const RectCase& c : cases) {
        TImage image(40, 30, Ground);
        image.FillRect(c.left, c.top, c.right, c.bottom, Fill);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const bool in = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
                ASSERT_EQ(image.Pixel(x, y), in ? Fill : Ground)
                    << "rect " << c.left << "," << c.top << "," << c.right << "," << c.bottom
                    << " at " << x << "," << y;
            }
        SaveActualOnFailure(image);
    }
}

// Reference classification of a lattice point against a closed polygon: on a side (end points
// included), strictly inside (crossing test), or outside.
enum class Where { Outside, Inside, OnEdge };
Where Classify(const std::vector<TPoint>& poly, int px, int py) {
    const size_t n = poly.size();
    for (size_t i = 0; i < n; ++i) {
        const TPoint a = poly[i], b = poly[(i + 1) % n];
        const long cross =
            static_cast<long>(b.x - a.x) * (py - a.y) - static_cast<long>(b.y - a.y) * (px - a.x);
        if (cross == 0 && px >= std::min(a.x, b.x) && px <= std::max(a.x, b.x) &&
            py >= std::min(a.y, b.y) && py <= std::max(a.y, b.y))
            return Where::OnEdge;
    }
    bool inside = false;
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const TPoint a = poly[i], b = poly[j];
        if ((a.y > py) != (b.y > py)) {
            // px < x of the side at py, without division.
            const long lhs = static_cast<long>(px - a.x) * (b.y - a.y);
            const long rhs = static_cast<long>(b.x - a.x) * (py - a.y);
            if ((b.y - a.y > 0) ? lhs < rhs : lhs > rhs) inside = !inside;
        }
    }
    return inside ? Where::Inside : Where::Outside;
}

TEST(Polygon, FillsStrictInteriorAndEdgesEveryBoundaryPixel) {
    const std::vector<std::vector<TPoint>> polygons = {
        {{20, 2}, {2, 20}, {38, 20}},           // cell cut horizontally, upper half
        {{2, 20}, {20, 2}, {20, 38}},           // cell cut vertically, left half
        {{20, 1}, {38, 19}, {20, 37}, {2, 19}}, // diamond
        {{5, 3}, {16, 14}, {16, 15}, {5, 26}},  // arrow head
        {{2, 2}, {30, 2}, {30, 25}, {20, 15}, {10, 25}, {2, 25}}, // concave, with a notch
        {{-10, 10}, {10, -10}, {30, 10}, {10, 30}},               // partly outside the picture
        {{4, 4}, {4, 20}, {20, 4}},                               // right angle at the first point
    };
    for (size_t k = 0; k < polygons.size(); ++k) {
        const auto& poly = polygons[k];
        TImage image(40, 40, Ground);
        image.Polygon(poly.data(), static_cast<int>(poly.size()), Fill, Edge);
        int wrong = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                const Where where = Classify(poly, x, y);
                const TColor want = where == Where::OnEdge   ? Edge
                                    : where == Where::Inside ? Fill
                                                             : Ground;
                if (image.Pixel(x, y) != want && wrong++ < 5)
                    ADD_FAILURE() << "polygon " << k << " at " << x << "," << y << " is "
                                  << Hex(image.Pixel(x, y)) << ", want " << Hex(want);
            }
        EXPECT_EQ(wrong, 0) << "polygon " << k;
        SaveActualOnFailure(image);
    }
}

// Other slopes (the game draws none): the fill still stays strictly inside, and every inside
// pixel is painted, by the fill or by an edge.
TEST(Polygon, AnySlopeFillStaysInside) {
    const std::vector<std::vector<TPoint>> polygons = {
        {{3, 2}, {37, 9}, {20, 35}},
        {{1, 30}, {12, 3}, {38, 14}, {25, 38}},
    };
    for (const auto& poly : polygons) {
        TImage image(40, 40, Ground);
        image.Polygon(poly.data(), static_cast<int>(poly.size()), Fill, Edge);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                const Where where = Classify(poly, x, y);
                const TColor c = image.Pixel(x, y);
                if (c == Fill) {
                    ASSERT_EQ(where, Where::Inside) << x << "," << y;
                }
                if (where == Where::Inside) {
                    ASSERT_NE(c, Ground) << x << "," << y;
                }
            }
        SaveActualOnFailure(image);
    }
}

struct LineCase {
    TPoint from, to;
    std::vector<TPoint> pixels;
};

TEST(LineTo, PaintsFromTheStartUpToButExcludingTheEnd) {
    const LineCase cases[] = {
        {{2, 5}, {6, 5}, {{2, 5}, {3, 5}, {4, 5}, {5, 5}}},
        {{6, 5}, {2, 5}, {{6, 5}, {5, 5}, {4, 5}, {3, 5}}},
        {{4, 1}, {4, 4}, {{4, 1}, {4, 2}, {4, 3}}},
        {{4, 4}, {4, 1}, {{4, 4}, {4, 3}, {4, 2}}},
        {{1, 1}, {4, 4}, {{1, 1}, {2, 2}, {3, 3}}},
        {{4, 1}, {1, 4}, {{4, 1}, {3, 2}, {2, 3}}},
        {{3, 3}, {3, 3}, {}},
        {{0, 0}, {6, 2}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}}},
    };
    for (const LineCase& c : cases) {
        TImage image(10, 10, Ground);
        image.MoveTo(c.from.x, c.from.y);
        image.LineTo(c.to.x, c.to.y, Edge);
        PixelSet want;
        for (const TPoint& p : c.pixels) want.insert({p.x, p.y});
        EXPECT_EQ(PixelsOf(image, Edge), want)
            << "line " << c.from.x << "," << c.from.y << " to " << c.to.x << "," << c.to.y;
    }
}

TEST(LineTo, EndPointBecomesTheNextStart) {
    // The corner of an L is painted by the second line, which starts there.
    TImage image(10, 10, Ground);
    image.MoveTo(1, 8);
    image.LineTo(6, 8, Edge);
    image.LineTo(6, 3, Edge);
    PixelSet want;
    for (int x = 1; x <= 6; ++x) want.insert({x, 8});
    for (int y = 4; y <= 7; ++y) want.insert({6, y});
    EXPECT_EQ(PixelsOf(image, Edge), want);
}

TEST(LineTo, IsClippedToThePicture) {
    TImage image(10, 10, Ground);
    image.MoveTo(-5, 3);
    image.LineTo(20, 3, Edge);
    EXPECT_EQ(PixelsOf(image, Edge).size(), 10u);
}

// The smallest rectangle holding every pixel that differs between two pictures.
TRect ChangedBetween(const TImage& before, const TImage& after) {
    TRect box;
    for (int y = 0; y < after.Height(); ++y)
        for (int x = 0; x < after.Width(); ++x)
            if (before.Pixel(x, y) != after.Pixel(x, y)) box = Union(box, {x, y, x + 1, y + 1});
    return box;
}

TEST(Dirty, HoldsWhatEachPrimitivePaintedAndNothingWhenNothingWas) {
    static const TFont font(TFontStyle{"ＭＳ ゴシック", 12, 6});
    const TPoint triangle[] = {{20, 2}, {2, 20}, {38, 20}};
    const TPoint offImage[] = {{50, 40}, {60, 40}, {55, 50}};
    const TPoint partly[] = {{-10, 10}, {10, -10}, {30, 10}, {10, 30}};
    const struct {
        const char* name;
        std::function<void(TImage&)> paint;
        std::optional<TRect> want; // nullopt: exactly the changed pixels' box
    } cases[] = {
        {"fill", [](TImage& i) { i.FillRect(3, 4, 10, 9, Fill); }, TRect{3, 4, 10, 9}},
        {"fill clipped", [](TImage& i) { i.FillRect(-4, -3, 2, 2, Fill); }, TRect{0, 0, 2, 2}},
        {"fill empty", [](TImage& i) { i.FillRect(5, 5, 5, 9, Fill); }, TRect{}},
        {"fill outside", [](TImage& i) { i.FillRect(40, 0, 60, 9, Fill); }, TRect{}},
        {"pixel", [](TImage& i) { i.SetPixel(7, 8, Fill); }, TRect{7, 8, 8, 9}},
        {"pixel outside", [](TImage& i) { i.SetPixel(-1, 3, Fill); }, TRect{}},
        {"polygon", [&](TImage& i) { i.Polygon(triangle, 3, Fill, Edge); }, TRect{2, 2, 39, 21}},
        {"polygon outside", [&](TImage& i) { i.Polygon(offImage, 3, Fill, Edge); }, TRect{}},
        {"polygon clipped", [&](TImage& i) { i.Polygon(partly, 4, Fill, Edge); },
         TRect{0, 0, 31, 30}},
        {"line",
         [](TImage& i) {
             i.MoveTo(5, 5);
             i.LineTo(9, 2, Edge);
         },
         TRect{5, 2, 10, 6}},
        {"line to itself",
         [](TImage& i) {
             i.MoveTo(5, 5);
             i.LineTo(5, 5, Edge);
         },
         TRect{}},
        {"move only", [](TImage& i) { i.MoveTo(5, 5); }, TRect{}},
        {"text", [](TImage& i) { i.TextOut(2, 3, font, Fill, "A8"); }, std::nullopt},
        {"spaces", [](TImage& i) { i.TextOut(2, 3, font, Fill, "   "); }, TRect{}},
        {"two primitives",
         [](TImage& i) {
             i.SetPixel(1, 25, Fill);
             i.FillRect(30, 2, 33, 4, Fill);
         },
         TRect{1, 2, 33, 26}},
    };
    for (const auto& c : cases) {
        TImage image(40, 30, Ground);
        const TImage before = image;
        c.paint(image);
        const TRect changed = ChangedBetween(before, image);
        const TRect dirty = image.TakeDirty();
        const TRect want = c.want.value_or(changed);
        EXPECT_EQ(dirty, want) << c.name << ": " << dirty.left << "," << dirty.top << ","
                               << dirty.right << "," << dirty.bottom;
        // Never smaller than what changed: a pixel outside would stay stale on the screen.
        EXPECT_EQ(Union(dirty, changed), dirty) << c.name;
        EXPECT_TRUE(image.TakeDirty().Empty()) << c.name << ": taken once";
    }
}

TEST(Png, RoundTripKeepsEveryColourAndItsChannelOrder) {
    TImage image(7, 3, Ground);
    image.SetPixel(0, 0, RGBColor(0xF6, 0x5A, 0x5A));
    image.SetPixel(6, 2, RGBColor(0x12, 0x34, 0x56));
    const std::string path = "png_round_trip.png";
    std::string error;
    ASSERT_TRUE(image.SavePng(path, error)) << error;

    png_image read{};
    read.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&read, path.c_str()));
    EXPECT_EQ(read.width, 7u);
    EXPECT_EQ(read.height, 3u);
    EXPECT_EQ(read.format & PNG_FORMAT_FLAG_ALPHA, 0u);
    read.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(read));
    ASSERT_TRUE(png_image_finish_read(&read, nullptr, rgb.data(), 0, nullptr));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) {
            const unsigned char* p = &rgb[(y * 7 + x) * 3];
            EXPECT_EQ(RGBColor(p[0], p[1], p[2]), image.Pixel(x, y)) << x << "," << y;
        }
    std::remove(path.c_str());
}

TEST(Png, UnwritablePathFailsWithAReason) {
    TImage image(4, 4, Ground);
    for (const std::string path : {"/nonexistent-dir/picture.png", "."}) {
        std::string error;
        EXPECT_FALSE(image.SavePng(path, error)) << path;
        EXPECT_NE(error.find(path), std::string::npos) << error;
    }
}

} // namespace
