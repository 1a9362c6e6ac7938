// Title picture, player selector, level boxes and hover marks.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pixel_test_util.h"
#include "platform/text.h"
#include "ui/form.h"

using namespace pixel_test;

namespace {

class Title : public ::testing::Test {
  protected:
    void TearDown() override { SaveActualOnFailure(form.imgScreen); }
    TImage& image() { return form.imgScreen; }
    TfrmGalMain form;
};

TEST_F(Title, SamplePixels) {
    form.DrawTitle();
    const struct {
        int x, y;
        TColor colour;
    } cases[] = {
        {100, 100, ColPlayer1}, // big piece only
        {70, 70, ColCyan},      // small piece over the big one
        {256, 256, ColPanel},   // the diamond, no cells yet
        {600, 20, ColBack},     // side panel background
        {256, 4, ColBlack},     {508, 256, ColBlack},   {4, 256, ColBlack},
        {256, 508, ColBlack},   {256, 3, ColBack},      {256, 5, ColPanel},
        {64, 194, ColPlayer1},  {194, 64, ColPlayer1},  {64, 195, ColBack},
        {65, 193, ColPlayer1},  {64, 111, ColCyan},     {111, 64, ColCyan},
        {64, 112, ColPlayer1},  {440, 70, ColYellow},   {420, 100, ColPlayer2},
        {448, 194, ColPlayer2}, {448, 448, ColMagenta}, {400, 420, ColPurple},
        {318, 448, ColPurple},  {100, 400, ColBack}, // the free corner
        {4, 440, ColPanel},                          // credit box
        {166, 438, ColPanel},   {0, 460, ColBack},      {0, 459, ColPanel},
        {168, 445, ColBack},
    };
    for (const auto& c : cases)
        EXPECT_EQ(image().Pixel(c.x, c.y), c.colour)
            << c.x << "," << c.y << " is " << Hex(image().Pixel(c.x, c.y));
}

TEST_F(Title, LettersAndCreditsLieWhereTheyBelong) {
    form.DrawTitle();
    // Each title letter shows inside its own 24 x 24 cell.
    const struct {
        const char* word;
        int x, y, dx, dy;
    } words[] = {{"Melvaron", 175, 32, -20, 20},
                 {"Oskalet", 316, 32, 20, 20},
                 {"Dunmiro", 440, 327, -20, 20}};
    for (const auto& w : words)
        for (int i = 0; w.word[i]; ++i) {
            const int x = w.x + w.dx * i, y = w.y + w.dy * i;
            for (const auto& p : Ink(x, y, 24, 24, std::string(1, w.word[i])))
                ASSERT_EQ(image().Pixel(p.first, p.second), ColText) << w.word << " " << i;
        }
    // Credits: both lines show, and no credit ink passes the box's right edge.
    const PixelSet line1 = PixelsOf(image(), ColText, 0, 430, 256, 446);
    const PixelSet line2 = PixelsOf(image(), ColText, 0, 450, 256, 467);
    EXPECT_FALSE(line1.empty());
    EXPECT_FALSE(line2.empty());
    for (const PixelSet* line : {&line1, &line2})
        for (const auto& [x, y] : *line) {
            EXPECT_LT(x, 168) << x << "," << y;
            if (x >= 168) return;
        }
}

TEST_F(Title, PlayerSelectShowsTheGivenTypes) {
    form.DrawPlayerSelect(0, 1);
    EXPECT_EQ(PixelsOf(image(), ColText, 540, 272, 732, 296),
              Ink(540, 272, 24, 12, "SELECT PLAYER !!"));
    for (int row = 0; row < 2; ++row)
        for (int box = 0; box < 7; ++box) {
            const bool selected = box == (row == 0 ? 0 : 1);
            const TColor want =
                selected ? (row == 0 ? ColCyan : ColMagenta) : (row == 0 ? ColPlayer1 : ColPlayer2);
            const int left = 553 + 25 * box, top = 317 + 28 * row;
            EXPECT_EQ(image().Pixel(left, top), want) << row << "," << box;
            EXPECT_EQ(image().Pixel(left + 23, top + 12), want) << row << "," << box;
            EXPECT_EQ(image().Pixel(left + 24, top + 6), ColPanel) << "gap " << row << "," << box;
        }
    // Caption bars with their texts.
    EXPECT_EQ(image().Pixel(553, 304), ColShadow);
    EXPECT_EQ(image().Pixel(577, 304), ColPanel);
    EXPECT_EQ(image().Pixel(727, 344), ColShadow);
    EXPECT_EQ(PixelsOf(image(), ColText, 553, 332, 728, 345), [] {
        PixelSet both = Ink(555, 332, 12, 6, "MAN");
        for (const auto& p : Ink(578, 332, 12, 6, "COMPUTER")) both.insert(p);
        return both;
    }());
}

TEST_F(Title, LevelBoxes) {
    form.ClearMessages();
    form.DrawLevelBox(2, 0, 1);
    EXPECT_TRUE(RectIs(image(), 553, 345, 577, 358, ColMagenta));
    EXPECT_EQ(CountOf(image(), ColMagenta), 24u * 13u); // no text in box 0

    form.DrawLevelBox(1, 6, 0);
    const PixelSet digit = Ink(717, 317, 12, 6, "5");
    EXPECT_EQ(PixelsOf(image(), ColWhite, 700, 310, 740, 340), digit);
    for (int y = 317; y < 330; ++y)
        for (int x = 703; x < 727; ++x) {
            const TColor c = image().Pixel(x, y);
            ASSERT_TRUE(c == ColPlayer1 || c == ColWhite || c == ColShadow) << x << "," << y;
        }
    EXPECT_EQ(image().Pixel(727, 320), ColPanel);

    // Selected: the colours of digit and shadow swap.
    form.DrawLevelBox(1, 6, 1);
    EXPECT_EQ(PixelsOf(image(), ColShadow, 700, 310, 740, 340), digit);
    EXPECT_EQ(image().Pixel(703, 317), ColCyan);
}

TEST_F(Title, ButtonArrowAndItsRemoval) {
    const TImage background = image();
    form.DrawHover(1, 1);
    form.DrawHover(0, 1);
    // The arrow: x - 528 from 0 to 11 and no further from the tip row than the left edge allows.
    for (int top : {400, 440})
        for (int y = top - 2; y < top + 26; ++y)
            for (int x = 526; x < 542; ++x) {
                const int dx = x - 528, dy = y - top;
                const bool in = dx >= 0 && dx <= 11 && dy >= dx && dy <= 23 - dx;
                ASSERT_EQ(image().Pixel(x, y), in ? ColMagenta : ColBack) << x << "," << y;
            }
    for (const TPoint p : {TPoint{528, 400}, TPoint{539, 411}, TPoint{539, 412}, TPoint{528, 423}})
        EXPECT_EQ(image().Pixel(p.x, p.y), ColMagenta) << p.x << "," << p.y;

    form.DrawHover(0, 0);
    EXPECT_TRUE(RectIs(image(), 528, 400, 540, 424, ColBack));
    EXPECT_EQ(image().Pixel(539, 451), ColMagenta); // the lower arrow stays
    form.DrawHover(1, 0);
    EXPECT_TRUE(Differences(background, image()).empty());
}

TEST_F(Title, LevelBoxHoverLineAndItsRemoval) {
    form.DrawPlayerSelect(0, 1);
    const TImage background = image();
    const struct {
        int position, lineY, lineX; // the line under the box and the column right of it
    } cases[] = {{9, 358, 577}, {2, 330, 577}, {8, 330, 727}, {15, 358, 727}};
    for (const auto& c : cases) {
        form.DrawHover(c.position, 1);
        PixelSet want;
        for (int x = c.lineX - 23; x < c.lineX; ++x) want.insert({x, c.lineY});
        for (int y = c.lineY - 12; y <= c.lineY; ++y) want.insert({c.lineX, y});
        PixelSet changed;
        for (const auto& p : Differences(background, image())) changed.insert(p);
        EXPECT_EQ(changed, want) << c.position;
        EXPECT_EQ(PixelsOf(image(), ColBlack, 540, 300, 740, 370), want) << c.position;
        form.DrawHover(c.position, 0);
        EXPECT_TRUE(Differences(background, image()).empty()) << c.position;
    }
    // Removing a mark that was never there leaves the picture as it is.
    form.DrawHover(2, 0);
    EXPECT_TRUE(Differences(background, image()).empty());
}

} // namespace
