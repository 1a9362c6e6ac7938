// The program icon at every size the desktop is given: the window's 32 x 32 picture unchanged,
// the larger ones its geometry scaled, the 16 x 16 one its average.
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "pixel_test_util.h"
#include "ui/icon.h"

using namespace pixel_test;

namespace {

uint64_t Fnv1a(const TImage& image) {
    uint64_t h = 14695981039346656037ull;
    for (TColor c : image.Pixels())
        for (int k = 0; k < 4; ++k) {
            h ^= (c >> (8 * k)) & 0xFF;
            h *= 1099511628211ull;
        }
    return h;
}

// All pixels within radius of (x, y) have the colour of (x, y).
bool DeepInside(const TImage& image, int x, int y, int radius) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const int px = x + dx, py = y + dy;
            if (px < 0 || py < 0 || px >= image.Width() || py >= image.Height()) return false;
            if (image.Pixel(px, py) != image.Pixel(x, y)) return false;
        }
    return true;
}

// The 32 x 32 picture as it was before the icon took a size; the window and the desktop's
// 32-pixel icon must not change.
TEST(Icon, ThirtyTwoPixelsUnchanged) {
    const TImage icon = MakeIcon(32);
    EXPECT_EQ(Fnv1a(icon), 0x8424755B9C6671DFull);
    const struct {
        int x, y;
        TColor colour;
    } cases[] = {
        {16, 0, ColBlack},    {31, 15, ColBlack},   {16, 30, ColBlack},     {1, 15, ColBlack},
        {0, 15, ColBack},     {16, 31, ColBack},    {16, 2, ColPanel},      {16, 3, ColBlack},
        {13, 10, ColPlayer2}, {18, 10, ColPlayer1}, {22, 13, ColCellEmpty},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(icon.Pixel(c.x, c.y)), Hex(c.colour)) << "at " << c.x << "," << c.y;
    SaveActualOnFailure(icon);
}

TEST(Icon, EverySizeIsSquare) {
    for (int size : {1, 16, 24, 32, 48, 64, 128, 256}) {
        const TImage icon = MakeIcon(size);
        EXPECT_EQ(icon.Width(), size);
        EXPECT_EQ(icon.Height(), size);
    }
    EXPECT_THROW(MakeIcon(0), std::invalid_argument);
}

// Every area of the 32-pixel picture, away from its edges, has the same colour at the same place
// of the larger pictures.
TEST(Icon, LargerSizesScaleTheGeometry) {
    const TImage small = MakeIcon(32);
    for (int k : {2, 4, 8}) {
        const TImage big = MakeIcon(32 * k);
        int compared = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                if (!DeepInside(small, x, y, 1)) continue;
                // The big diamond's centre is (16k, 16k - 1), the small one's (16, 15).
                const int bx = x * k + k / 2, by = (y - 15) * k + 16 * k - 1 + k / 2;
                ++compared;
                EXPECT_EQ(Hex(big.Pixel(bx, by)), Hex(small.Pixel(x, y)))
                    << "size " << 32 * k << " at " << bx << "," << by << " (32: " << x << "," << y
                    << ")";
            }
        EXPECT_GT(compared, 200);
        SaveActualOnFailure(big);
    }
}

// Lines are size / 32 pixels wide: at 256, the vertical cut through the centre is 8 wide.
TEST(Icon, LinesScaleWithTheSize) {
    const TImage icon = MakeIcon(256);
    for (int x = 124; x <= 131; ++x) EXPECT_EQ(Hex(icon.Pixel(x, 60)), Hex(ColBlack)) << x;
    EXPECT_EQ(Hex(icon.Pixel(123, 60)), Hex(ColPlayer2));
    EXPECT_EQ(Hex(icon.Pixel(132, 60)), Hex(ColPlayer1));
    // The rim's left and right corners stay inside the picture with their whole line.
    EXPECT_EQ(Hex(icon.Pixel(3, 127)), Hex(ColBack));
    EXPECT_EQ(Hex(icon.Pixel(4, 127)), Hex(ColBlack));
    EXPECT_EQ(Hex(icon.Pixel(251, 127)), Hex(ColBlack));
    EXPECT_EQ(Hex(icon.Pixel(252, 127)), Hex(ColBack));
    SaveActualOnFailure(icon);
}

TEST(Icon, SixteenIsTheAverageOfThirtyTwo) {
    const TImage small = MakeIcon(16), big = MakeIcon(32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            int sum[3] = {0, 0, 0};
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += (big.Pixel(2 * x + i, 2 * y + j) >> (8 * c)) & 0xFF;
            const TColor mean = RGBColor((sum[0] + 2) / 4, (sum[1] + 2) / 4, (sum[2] + 2) / 4);
            EXPECT_EQ(Hex(small.Pixel(x, y)), Hex(mean)) << x << "," << y;
        }
}

// The Windows icon file read back as Windows reads it: the directory names each size once, each
// entry's bytes lie inside the file, and every image is the painted icon, bottom row first,
// blue before red, opaque.
TEST(Icon, WindowsIconFileHoldsEachSizeAsPainted) {
    const std::vector<uint8_t> file = WindowsIconFile();
    auto u16 = [&](size_t at) { return file.at(at) | file.at(at + 1) << 8; };
    auto u32 = [&](size_t at) { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; };
    ASSERT_GE(file.size(), 6u);
    EXPECT_EQ(u16(0), 0);
    EXPECT_EQ(u16(2), 1);
    const size_t count = u16(4);
    ASSERT_EQ(count, std::size(WindowsIconSizes));
    size_t end = 6 + 16 * count;
    for (size_t i = 0; i < count; ++i) {
        const int size = WindowsIconSizes[i];
        const size_t entry = 6 + 16 * i;
        SCOPED_TRACE(size);
        EXPECT_EQ(file[entry], size % 256);
        EXPECT_EQ(file[entry + 1], size % 256);
        EXPECT_EQ(u16(entry + 6), 32);
        const uint32_t bytes = u32(entry + 8), at = u32(entry + 12);
        EXPECT_EQ(at, end) << "images follow one another";
        ASSERT_LE(size_t(at) + bytes, file.size());
        end = at + bytes;
        EXPECT_EQ(u32(at + 4), uint32_t(size));
        EXPECT_EQ(u32(at + 8), uint32_t(2 * size)) << "the height counts the mask too";
        const TImage icon = MakeIcon(size);
        int wrong = 0, translucent = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const size_t px = at + 40 + 4 * (size_t(size - 1 - y) * size + x);
                wrong += RGBColor(file[px + 2], file[px + 1], file[px]) != icon.Pixel(x, y);
                translucent += file[px + 3] != 0xFF;
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(translucent, 0);
    }
    EXPECT_EQ(end, file.size());
}

} // namespace

// A launcher may cut the maskable icon to any shape that keeps the circle of four fifths of its
// size: everything but the background lies inside that circle, and the picture is the plain
// icon's, unscaled.
TEST(Icon, MaskableIconStaysInsideTheSafeCircle) {
    for (int size : {192, 512}) {
        const TImage icon = MakeMaskableIcon(size);
        ASSERT_EQ(icon.Width(), size);
        ASSERT_EQ(icon.Height(), size);
        const double centre = size / 2.0, radius = 0.4 * size;
        int painted = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                if (icon.Pixel(x, y) == ColBack) continue;
                ++painted;
                const double dx = x + 0.5 - centre, dy = y + 0.5 - centre;
                ASSERT_LE(dx * dx + dy * dy, radius * radius)
                    << "size " << size << " at " << x << "," << y;
            }
        EXPECT_GT(painted, size * size / 5) << "size " << size;
        const TImage plain = MakeIcon(size * 3 / 4);
        const int at = (size - plain.Width()) / 2;
        int differ = 0;
        for (int y = 0; y < plain.Height(); ++y)
            for (int x = 0; x < plain.Width(); ++x)
                differ += icon.Pixel(at + x, at + y) != plain.Pixel(x, y);
        EXPECT_EQ(differ, 0) << "size " << size;
    }
}
