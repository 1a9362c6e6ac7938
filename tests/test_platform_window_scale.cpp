// The window's scale: chosen from the desktop's DPI or forced, kept on the screen; window
// coordinates mapped back to client pixels; client pixels enlarged into squares.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/window_scale.h"

namespace {

TEST(WindowScale, FromTheDesktopOrForced) {
    const std::optional<double> none;
    const struct {
        const char* forced;
        std::optional<double> dpi;
        int usableWidth, usableHeight;
        int scale;
        bool warned;
    } cases[] = {
        {nullptr, none, 0, 0, 1, false},
        {nullptr, 96.0, 3840, 2160, 1, false},
        {nullptr, 120.0, 3840, 2160, 1, false}, // 125 %
        {nullptr, 144.0, 3840, 2160, 2, false}, // 150 % rounds up
        {nullptr, 143.9, 3840, 2160, 1, false},
        {nullptr, 192.0, 3840, 2160, 2, false},
        {nullptr, 288.0, 3840, 2160, 3, false},
        {nullptr, 288.0, 0, 0, 3, false},       // room unknown: the DPI alone
        {nullptr, 192.0, 1920, 1040, 2, false}, // 1536 x 1024 fits exactly
        {nullptr, 192.0, 1920, 1000, 1, false}, // but not below a panel
        {nullptr, 384.0, 2560, 1400, 2, false}, // 4 would not fit, 3 neither, 2 does
        {nullptr, 48.0, 3840, 2160, 1, false},  // never below 1
        {nullptr, -96.0, 3840, 2160, 1, false},
        {nullptr, 96.0 * 40, 99999, 99999, MaxWindowScale, false},
        {"", 192.0, 3840, 2160, 2, false}, // set but empty: as if unset
        {"3", none, 3840, 2160, 3, false},
        {"3", 192.0, 1024, 768, 3, false}, // forced wins over the room
        {"1", 288.0, 3840, 2160, 1, false},
        {"8", none, 0, 0, 8, false},
        {"9", 192.0, 3840, 2160, 2, true},
        {"0", 192.0, 3840, 2160, 2, true},
        {"-2", 192.0, 3840, 2160, 2, true},
        {"2x", none, 3840, 2160, 1, true},
        {" 2", none, 3840, 2160, 1, true},
        {"1.5", none, 3840, 2160, 1, true},
        {"99999999999999999999", none, 3840, 2160, 1, true},
    };
    for (const auto& c : cases) {
        TScaleInputs in;
        in.forced = c.forced;
        in.desktopDpi = c.dpi;
        in.usableWidth = c.usableWidth;
        in.usableHeight = c.usableHeight;
        in.clientWidth = 768;
        in.clientHeight = 512;
        const TScaleChoice got = ChooseWindowScale(in);
        const std::string what = std::string(c.forced ? c.forced : "(unset)") + " dpi " +
                                 (c.dpi ? std::to_string(*c.dpi) : "none") + " room " +
                                 std::to_string(c.usableWidth) + "x" +
                                 std::to_string(c.usableHeight);
        EXPECT_EQ(got.scale, c.scale) << what;
        EXPECT_EQ(!got.warning.empty(), c.warned) << what << ": " << got.warning;
        if (c.warned) {
            EXPECT_NE(got.warning.find(c.forced), std::string::npos) << got.warning;
        }
    }
}

// Whatever the environment holds, the warning is one short line of printable ASCII that quotes
// the value's beginning.
TEST(WindowScale, ForcedValueShownSafelyInTheWarning) {
    const std::string overlong(5000, '7'), hidden(4, '?');
    const struct {
        std::string forced;
        std::string shown;
    } cases[] = {
        {"big", "'big'"},
        {overlong, "'" + overlong.substr(0, 40) + "...'"},
        {"2\n\x1b[31mred", "'2" + hidden.substr(2) + "[31mred'"},
        {"\x7f\xff\xfe\x01", "'" + hidden + "'"},
        {"\xe5\x80\x8d", "'" + hidden.substr(1) + "'"},
    };
    for (const auto& c : cases) {
        TScaleInputs in;
        in.forced = c.forced.c_str();
        in.clientWidth = 768;
        in.clientHeight = 512;
        const std::string warning = ChooseWindowScale(in).warning;
        EXPECT_EQ(warning, "MELVARON_SCALE=" + c.shown +
                               " is not a whole number from 1 to 8; the desktop's scale is used");
        for (const unsigned char ch : warning) ASSERT_TRUE(ch >= 0x20 && ch < 0x7F) << warning;
    }
}

TEST(WindowScale, XftDpiFromTheResourceDatabase) {
    const struct {
        const char* resources;
        std::optional<double> dpi;
    } cases[] = {
        {"", std::nullopt},
        {"Xft.dpi:\t192\n", 192.0},
        {"Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n", 144.0},
        {"Xft.dpi: 120", 120.0}, // no final newline
        {"  Xft.dpi  :  96  \n", 96.0},
        {"Xft.dpi:\t96\nXft.dpi:\t192\n", 192.0}, // the last one wins
        {"Xft.dpix:\t192\n", std::nullopt},
        {"Xcursor.size:\t48\nXft.dpi:\n", std::nullopt},
        {"Xft.dpi:\tlarge\n", std::nullopt},
        {"Xft.dpi:\t0\n", std::nullopt},
        {"Xft.dpi:\t192 dots\n", std::nullopt},
        {"xft.dpi:\t192\n", std::nullopt}, // resource names are case-sensitive
        {"Xft.dpi:\t98.5\n", 98.5},
    };
    for (const auto& c : cases) EXPECT_EQ(XftDpi(c.resources), c.dpi) << c.resources;
}

TEST(WindowScale, WindowPointsMapToTheClientPixelTheyShow) {
    const struct {
        int window, scale, client;
    } cases[] = {
        {0, 1, 0},      {767, 1, 767}, {0, 2, 0},   {1, 2, 0},   {2, 2, 1},   {1535, 2, 767},
        {1536, 2, 768}, {5, 3, 1},     {-1, 2, -1}, {-2, 2, -1}, {-3, 2, -2}, {-1, 1, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToClient(c.window, c.scale), c.client) << c.window << " at " << c.scale;
}

TEST(WindowScale, EnlargedPixelsAreSquaresOfTheirSource) {
    // A 3 x 2 block of distinct pixels taken out of a wider source with a padded pitch.
    for (const int bytes : {1, 3, 4})
        for (const int scale : {1, 2, 3}) {
            const int width = 3, height = 2, fromPitch = 5 * bytes + 3;
            std::vector<uint8_t> from(static_cast<size_t>(fromPitch) * height);
            for (size_t i = 0; i < from.size(); ++i) from[i] = static_cast<uint8_t>(i * 7 + 1);
            const int toPitch = width * scale * bytes + 5;
            std::vector<uint8_t> to(static_cast<size_t>(toPitch) * height * scale + 1, 0xEE);
            EnlargePixels(from.data(), fromPitch, width, height, bytes, scale, to.data(), toPitch);
            for (int y = 0; y < height * scale; ++y)
                for (int x = 0; x < toPitch; ++x) {
                    const uint8_t got = to[static_cast<size_t>(y) * toPitch + x];
                    const int pixel = x / bytes;
                    const uint8_t want = pixel < width * scale
                                             ? from[static_cast<size_t>(y / scale) * fromPitch +
                                                    (pixel / scale) * bytes + x % bytes]
                                             : 0xEE; // the padding of a row is left alone
                    ASSERT_EQ(got, want)
                        << bytes << " bytes, scale " << scale << " at " << x << "," << y;
                }
            EXPECT_EQ(to.back(), 0xEE) << "wrote past the block";
        }
}

} // namespace
