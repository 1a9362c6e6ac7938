// Title picture, player selector, level boxes and hover marks.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pixel_test_util.h"
#include "platform/text.h"
#include "ui/form.h"

using namespace pixel_test;

namespace {

using Title = FormPicture;

// Pixels at positions the title's design names, kept as numbers on purpose: they check the
// geometry's values themselves, which the other tests take from the geometry.
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

// The title letters stand around the board diamond, never on it: each of the three words
// along its own edge. The credits stay inside their box.
TEST_F(Title, LettersLieOutsideTheDiamondAndCreditsInTheirBox) {
    form.DrawTitle();
    int upperLeft = 0, upperRight = 0, lowerRight = 0;
    const TPoint m = BoardMiddle;
    for (const auto& [x, y] : PixelsOf(image(), ColText, 0, 0, BoardAreaWidth, CreditLineAt[0].y)) {
        ASSERT_GT(std::abs(x - m.x) + std::abs(y - m.y), TitleFrameRadius)
            << "on the diamond at " << x << "," << y;
        upperLeft += x < m.x && y < m.y;
        upperRight += x >= m.x && y < m.y;
        lowerRight += x >= m.x && y >= m.y;
    }
    EXPECT_GT(upperLeft, 0);
    EXPECT_GT(upperRight, 0);
    EXPECT_GT(lowerRight, 0);
    // Credits: both lines show, and no credit ink passes the box's right edge.
    for (const TPoint at : CreditLineAt) {
        const PixelSet line = PixelsOf(image(), ColText, 0, at.y, m.x, at.y + 17);
        EXPECT_FALSE(line.empty());
        for (const auto& [x, y] : line) ASSERT_LT(x, CreditBox.right) << x << "," << y;
    }
}

// What the player selection shows is what the pointer finds: box colours exactly on the level
// boxes' rectangles, the chosen type of each player lit.
TEST_F(Title, PlayerSelectPaintsTheLevelBoxesOnTheirItems) {
    const int types[2] = {0, 1};
    form.DrawPlayerSelect(types[0], types[1]);
    EXPECT_EQ(PixelsOf(image(), ColText, 540, 272, 732, 296),
              Ink(540, 272, 24, 12, "SELECT PLAYER !!"));
    for (int y = 296; y < 376; ++y)
        for (int x = 528; x < 744; ++x) {
            const TColor c = image().Pixel(x, y);
            const int item = PanelItemAt(x, y);
            if (item < piFirstLevelBox) {
                for (TColor box : {ColPlayer1, ColPlayer2, ColCyan, ColMagenta})
                    ASSERT_NE(c, box) << "box colour outside the boxes at " << x << "," << y;
                continue;
            }
            const int player = 1 + (item - piFirstLevelBox) / LevelBoxes;
            const bool lit = item == LevelBoxItem(player, types[player - 1]);
            const TColor fill =
                player == 1 ? (lit ? ColCyan : ColPlayer1) : (lit ? ColMagenta : ColPlayer2);
            ASSERT_TRUE(c == fill || c == ColWhite || c == ColShadow)
                << "item " << item << " at " << x << "," << y << " is " << Hex(c);
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

// Box 0 (MAN) is plain; the others carry their level's digit, whose colours swap when lit.
TEST_F(Title, LevelBoxDigits) {
    form.ClearMessages();
    form.DrawLevelBox(2, 0, 1);
    EXPECT_EQ(CountOf(image(), ColMagenta), 24u * 13u);

    form.DrawLevelBox(1, 6, 0);
    const PixelSet digit = Ink(717, 317, 12, 6, "5");
    EXPECT_EQ(PixelsOf(image(), ColWhite, 700, 310, 740, 340), digit);
    EXPECT_EQ(PixelsOf(image(), ColShadow, 700, 310, 740, 340).size() + digit.size() +
                  PixelsOf(image(), ColPlayer1).size(),
              24u * 13u);

    form.DrawLevelBox(1, 6, 1);
    EXPECT_EQ(PixelsOf(image(), ColShadow, 700, 310, 740, 340), digit);
    EXPECT_EQ(CountOf(image(), ColPlayer1), 0u);
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

// The mark of a level box: a black line one pixel below it and one right of it, drawn and
// taken away without touching anything else.
TEST_F(Title, LevelBoxHoverLineAndItsRemoval) {
    form.DrawPlayerSelect(0, 1);
    const TImage background = image();
    for (int item :
         {LevelBoxItem(2, 0), LevelBoxItem(1, 0), LevelBoxItem(1, 6), LevelBoxItem(2, 6)}) {
        const TPanelItem r = PanelItemRect(item);
        const int right = r.left + r.width, bottom = r.top + r.height;
        PixelSet want;
        for (int x = r.left + 1; x < right; ++x) want.insert({x, bottom});
        for (int y = r.top + 1; y <= bottom; ++y) want.insert({right, y});
        form.DrawHover(item - piFirstButton, 1);
        PixelSet changed;
        for (const auto& p : Differences(background, image())) changed.insert(p);
        EXPECT_EQ(changed, want) << item;
        EXPECT_EQ(PixelsOf(image(), ColBlack, 540, 300, 740, 370), want) << item;
        form.DrawHover(item - piFirstButton, 0);
        EXPECT_TRUE(Differences(background, image()).empty()) << item;
    }
    // Removing a mark that was never there leaves the picture as it is.
    form.DrawHover(LevelBoxItem(1, 0) - piFirstButton, 0);
    EXPECT_TRUE(Differences(background, image()).empty());
}

} // namespace
