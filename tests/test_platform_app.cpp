// The application layer shared by both backends: event routing, the client picture, ticks.
#include <gtest/gtest.h>

#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/app.h"
#include "platform/headless.h"

namespace {

constexpr TColor Pen = RGBColor(0x80, 0, 0), Brush = RGBColor(0xFF, 0, 0);

// A window shaped like the game's: 762-pixel image, 7-pixel strip at x 762 in a 768 client.
struct Fixture {
    TImage image{762, 512, RGBColor(0, 0x52, 0)};
    TShape shape;
    TTimer timer;
    TOverlay overlay;
    bool closed = false;
    std::vector<std::string> calls;

    Fixture() {
        shape.Left = 762;
        shape.Width = 7;
        shape.Height = 512;
        shape.PenColor = Pen;
        shape.BrushColor = Brush;
        shape.OnMouseDown = [this] { calls.push_back("strip"); };
        timer.OnTimer = [this] { calls.push_back("tick"); };
    }

    TFormHost Host() {
        TFormHost h;
        h.clientWidth = 768;
        h.clientHeight = 512;
        h.image = &image;
        h.shape = &shape;
        h.timer = &timer;
        h.overlay = &overlay;
        h.onKeyDown = [this](TKey key, bool shift) {
            calls.push_back("key " + std::to_string(static_cast<int>(key)) + (shift ? "+" : ""));
            return key != TKey::vkTab || !shift; // Shift+Tab is left to others
        };
        h.onMouseMove = [this](int x, int y) {
            calls.push_back("move " + std::to_string(x) + " " + std::to_string(y));
        };
        h.onMouseDown = [this](TMouseButton b, int x, int y) {
            const char* name = b == TMouseButton::mbLeft    ? "left"
                               : b == TMouseButton::mbRight ? "right"
                                                            : "middle";
            calls.push_back(std::string("down ") + name + " " + std::to_string(x) + " " +
                            std::to_string(y));
        };
        h.onClose = [this] { closed = true; };
        h.isClosed = [this] { return closed; };
        return h;
    }
};

TEST(RouteMouse, PressesGoToTheImageOrTheStripByPosition) {
    struct Case {
        TMouseButton button;
        int x, y;
        const char* expected; // "" when nothing receives it
    } cases[] = {
        {TMouseButton::mbLeft, 0, 0, "down left 0 0"},
        {TMouseButton::mbRight, 761, 511, "down right 761 511"},
        {TMouseButton::mbMiddle, 300, 200, "down middle 300 200"},
        {TMouseButton::mbLeft, 762, 0, "strip"},
        {TMouseButton::mbRight, 767, 511, "strip"}, // the strip takes any button
        {TMouseButton::mbLeft, 768, 10, ""},        // the strip's 7th column lies outside
        {TMouseButton::mbLeft, -1, 10, ""},
        {TMouseButton::mbLeft, 100, 512, ""},
        {TMouseButton::mbLeft, 765, -1, ""},
    };
    for (const Case& c : cases) {
        Fixture f;
        TFormHost host = f.Host();
        const bool handled = RouteMouseDown(host, c.button, c.x, c.y);
        const std::string expected = c.expected;
        EXPECT_EQ(handled, !expected.empty()) << c.x << "," << c.y;
        EXPECT_EQ(f.calls, expected.empty() ? std::vector<std::string>{}
                                            : std::vector<std::string>{expected})
            << c.x << "," << c.y;
    }
}

TEST(RouteMouse, MovementReachesOnlyTheImage) {
    Fixture f;
    TFormHost host = f.Host();
    EXPECT_TRUE(RouteMouseMove(host, 761, 0));
    EXPECT_FALSE(RouteMouseMove(host, 762, 0)); // over the strip: nobody listens
    EXPECT_FALSE(RouteMouseMove(host, 10, 512));
    EXPECT_FALSE(RouteMouseMove(host, -5, 3));
    EXPECT_EQ(f.calls, std::vector<std::string>{"move 761 0"});
}

TEST(RouteKey, KeysReachTheHandlerWhichMayLeaveThem) {
    Fixture f;
    TFormHost host = f.Host();
    EXPECT_TRUE(RouteKeyDown(host, TKey::vkR, false));
    EXPECT_FALSE(RouteKeyDown(host, TKey::vkTab, true));
    EXPECT_EQ(f.calls, (std::vector<std::string>{"key 9", "key 4+"}));
    f.closed = true;
    EXPECT_FALSE(RouteKeyDown(host, TKey::vkR, false));
    EXPECT_EQ(f.calls.size(), 2u);
}

TEST(RouteMouse, NothingReachesAClosedWindow) {
    Fixture f;
    TFormHost host = f.Host();
    f.timer.Enabled = true;
    f.closed = true;
    EXPECT_FALSE(RouteMouseDown(host, TMouseButton::mbLeft, 10, 10));
    EXPECT_FALSE(RouteMouseDown(host, TMouseButton::mbLeft, 763, 10));
    EXPECT_FALSE(RouteMouseMove(host, 10, 10));
    EXPECT_FALSE(DeliverTick(host));
    EXPECT_TRUE(f.calls.empty());
}

TEST(ComposeClient, ImageThenStripOutlineAndFill) {
    Fixture f;
    f.image.SetPixel(0, 0, RGBColor(1, 2, 3));
    f.image.SetPixel(761, 511, RGBColor(4, 5, 6));
    const std::vector<TColor> px = ComposeClient(f.Host());
    ASSERT_EQ(px.size(), 768u * 512u);
    auto at = [&](int x, int y) { return px[static_cast<size_t>(y) * 768 + x]; };
    EXPECT_EQ(at(0, 0), RGBColor(1, 2, 3));
    EXPECT_EQ(at(761, 511), RGBColor(4, 5, 6));
    EXPECT_EQ(at(761, 200), RGBColor(0, 0x52, 0));
    for (int y = 0; y < 512; ++y) EXPECT_EQ(at(762, y), Pen) << y; // left edge of the outline
    for (int x = 763; x < 768; ++x) {
        EXPECT_EQ(at(x, 0), Pen) << x;   // top edge
        EXPECT_EQ(at(x, 511), Pen) << x; // bottom edge
        EXPECT_EQ(at(x, 1), Brush) << x; // the right edge (x 768) is outside the client
        EXPECT_EQ(at(x, 510), Brush) << x;
    }
}

TEST(ComposeClient, OverlayShowsOverTheImageOnlyWhileShown) {
    Fixture f;
    const TColor under = f.image.Pixel(10, 10);
    f.overlay.Show({{10, 10}, {11, 10}, {765, 5}, {-1, 3}}, Pen);
    std::vector<TColor> px = ComposeClient(f.Host());
    EXPECT_EQ(px[10 * 768 + 10], Pen);
    EXPECT_EQ(px[10 * 768 + 11], Pen);
    EXPECT_EQ(px[5 * 768 + 765], Brush); // the strip is no part of the image
    EXPECT_EQ(f.image.Pixel(10, 10), under);
    f.overlay.Hide();
    px = ComposeClient(f.Host());
    EXPECT_EQ(px[10 * 768 + 10], under);
}

TEST(ComposeClient, StripColoursFollowTheShape) {
    Fixture f;
    f.shape.PenColor = f.shape.BrushColor = RGBColor(0, 0x52, 0);
    const std::vector<TColor> px = ComposeClient(f.Host());
    for (int x = 762; x < 768; ++x) EXPECT_EQ(px[256 * 768 + x], RGBColor(0, 0x52, 0));
}

// Each step changes the window or not; the picture then says where it changed and must equal a
// fresh composition everywhere.
TEST(ClientPicture, RecomposesOnlyWhatChangedAndStaysEqualToAFreshComposition) {
    Fixture f;
    TFormHost host = f.Host();
    TClientPicture picture;
    const TRect all{0, 0, 768, 512}, strip{762, 0, 768, 512};
    const struct {
        const char* name;
        std::function<void()> change;
        TRect want;
    } steps[] = {
        {"first showing", [] {}, all},
        {"nothing new", [] {}, TRect{}},
        {"a pixel", [&] { f.image.SetPixel(300, 200, Pen); }, TRect{300, 200, 301, 201}},
        {"a rectangle and a pixel",
         [&] {
             f.image.FillRect(10, 20, 30, 40, Brush);
             f.image.SetPixel(40, 50, Pen);
         },
         TRect{10, 20, 41, 51}},
        {"strip colours", [&] { f.shape.BrushColor = Pen; }, strip},
        {"the same colours again",
         [&] {
             f.shape.PenColor = Pen;
             f.shape.BrushColor = Pen;
         },
         TRect{}},
        {"strip moved over the image", [&] { f.shape.Left = 700; }, TRect{700, 0, 768, 512}},
        {"image under the strip", [&] { f.image.FillRect(690, 5, 710, 9, Brush); },
         TRect{690, 5, 710, 9}},
        {"strip back, the image shows again", [&] { f.shape.Left = 762; }, TRect{700, 0, 768, 512}},
        {"overlay shown",
         [&] {
             f.overlay.Show({{20, 30}, {40, 35}}, Pen);
         },
         TRect{20, 30, 41, 36}},
        {"overlay moved",
         [&] {
             f.overlay.Show({{50, 60}}, Pen);
         },
         TRect{20, 30, 51, 61}},
        {"overlay hidden", [&] { f.overlay.Hide(); }, TRect{50, 60, 51, 61}},
        {"overlay hidden again", [&] { f.overlay.Hide(); }, TRect{}},
        {"window system lost the pixels", [&] { picture.InvalidateAll(); }, all},
        {"no strip", [&] { host.shape = nullptr; }, strip},
    };
    for (const auto& s : steps) {
        s.change();
        const TRect got = picture.Update(host);
        EXPECT_EQ(got, s.want) << s.name << ": " << got.left << "," << got.top << "," << got.right
                               << "," << got.bottom;
        EXPECT_TRUE(picture.Pixels() == ComposeClient(host)) << s.name;
    }
}

TEST(HeadlessHost, TicksOnlyWhileTheTimerIsOn) {
    Fixture f;
    THeadlessHost host(f.Host());
    EXPECT_FALSE(host.Tick()); // starts off
    f.timer.Enabled = true;
    // A handler that switches the timer off stops the following ticks.
    int ran = 0;
    f.timer.OnTimer = [&] {
        if (++ran == 2) f.timer.Enabled = false;
    };
    EXPECT_TRUE(host.Tick());
    EXPECT_TRUE(host.Tick());
    EXPECT_FALSE(host.Tick());
    EXPECT_EQ(ran, 2);
    f.timer.Enabled = true;
    host.Close();
    EXPECT_TRUE(host.Closed());
    EXPECT_FALSE(host.Tick());
    EXPECT_FALSE(host.Strip());
    EXPECT_EQ(ran, 2);
}

TEST(HeadlessHost, ShotWritesTheComposedClientArea) {
    Fixture f;
    f.image.SetPixel(5, 7, RGBColor(0x12, 0x34, 0x56));
    THeadlessHost host(f.Host());
    const std::string path =
        testing::TempDir() + "headless_shot_" + std::to_string(getpid()) + ".png";
    std::string error;
    ASSERT_TRUE(host.Shot(path, error)) << error;

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&png, path.c_str())) << png.message;
    png.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(png));
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr)) << png.message;
    ASSERT_EQ(png.width, 768u);
    ASSERT_EQ(png.height, 512u);
    const std::vector<TColor> expected = host.Client();
    for (size_t i = 0; i < expected.size(); ++i) {
        const TColor got = RGBColor(rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]);
        ASSERT_EQ(got, expected[i]) << "pixel " << i % 768 << "," << i / 768;
    }
    std::remove(path.c_str());

    EXPECT_FALSE(host.Shot("/nonexistent-dir/x.png", error));
    EXPECT_FALSE(error.empty());
}

} // namespace
