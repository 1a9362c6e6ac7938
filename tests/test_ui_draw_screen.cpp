// The whole screen: only palette colours on the first screen and after every kind of later
// painting, and pictures for a person to look at.
#include <algorithm>
#include <iterator>

#include <gtest/gtest.h>

#include "pixel_test_util.h"
#include "ui/form.h"

using namespace pixel_test;

namespace {

::testing::AssertionResult OnlyPaletteColours(const TImage& image) {
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const TColor c = image.Pixel(x, y);
            if (std::find(std::begin(Palette), std::end(Palette), c) == std::end(Palette))
                return ::testing::AssertionFailure()
                       << "(" << x << ", " << y << ") is " << Hex(c) << ", not in the palette";
        }
    return ::testing::AssertionSuccess();
}

// The screen as start-up leaves it.
class FirstScreen : public FormPicture {
  protected:
    void SetUp() override {
        form.FormCreate();
        ASSERT_FALSE(form.Closed());
    }
};

TEST_F(FirstScreen, HoldsOnlyPaletteColours) {
    WriteShot(image(), "first_screen");
    EXPECT_TRUE(OnlyPaletteColours(image()));
    // A few landmarks of the finished screen.
    EXPECT_EQ(image().Pixel(256, 40), ColCellEmpty);
    EXPECT_EQ(image().Pixel(256, 17 + 240 - 1), ColBlack); // on a cut through the middle
    EXPECT_EQ(image().Pixel(600, 20), ColBack);
    EXPECT_EQ(image().Pixel(600, 50), ColCyan); // player 1's lit turn bar
}

TEST_F(FirstScreen, PlayStepsKeepThePalette) {
    // Everything a game paints later, with its widest numbers and every message kind.
    form.DrawButtons(0);
    form.ClearMessages();
    form.ShowMessage("@2Dont' put !", 0, 0);
    form.ShowTurnMessage(1, 1);
    form.ShowMessage("THINKING... 998", 2, 1);
    form.ShowMessage("Ｅ Ｎ Ｄ？", 2, 1);
    form.DrawCounter(0, 100);
    form.DrawCounter(1, -12);
    for (int cell = 15; cell <= 96; ++cell) form.DrawCell(cell, cell % 3);
    for (int position = 0; position < 16; ++position) form.DrawHover(position, 1);
    form.DrawPlayerLabel(1, 6);
    WriteShot(image(), "play_steps");
    EXPECT_TRUE(OnlyPaletteColours(image()));
}

} // namespace
