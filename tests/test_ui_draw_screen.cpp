// The whole first screen: only palette colours, and a picture for a person to look at.
#include <gtest/gtest.h>

#include "engine/tables.h"
#include "pixel_test_util.h"
#include "ui/form.h"

using namespace pixel_test;

namespace {

// What start-up and the first new game paint, in their order.
void PaintFirstScreen(TfrmGalMain& form) {
    form.DrawTitle();
    form.DrawRestLabel();
    for (int i = 0; i < 3; ++i) form.DrawCounter(i, 0);
    form.DrawTurnMarks(1);
    form.ClearMessages();
    form.DrawButtons(4);
    form.DrawPlayerLabel(1, 0);
    form.DrawPlayerLabel(2, 1);
    int count[3] = {0, 0, 0};
    for (int cell = 0; cell < BoardSize; ++cell)
        if (InitialBoard[cell] >= 0) {
            form.DrawCell(cell, InitialBoard[cell]);
            ++count[InitialBoard[cell]];
        }
    for (int i = 0; i < 3; ++i) form.DrawCounter(i, count[i]);
    form.DrawTurnMarks(1);
    form.DrawPlayerSelect(0, 1);
}

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

class Screen : public ::testing::Test {
  protected:
    void TearDown() override { SaveActualOnFailure(form.imgScreen); }
    TfrmGalMain form;
};

TEST_F(Screen, FirstScreenHoldsOnlyPaletteColours) {
    PaintFirstScreen(form);
    WriteShot(form.imgScreen, "first_screen");
    EXPECT_TRUE(OnlyPaletteColours(form.imgScreen));
    // A few landmarks of the finished screen.
    EXPECT_EQ(form.imgScreen.Pixel(256, 40), ColCellEmpty);
    EXPECT_EQ(form.imgScreen.Pixel(256, 17 + 240 - 1), ColBlack); // on a cut through the middle
    EXPECT_EQ(form.imgScreen.Pixel(600, 20), ColBack);
    EXPECT_EQ(form.imgScreen.Pixel(600, 50), ColCyan); // player 1's lit turn bar
}

TEST_F(Screen, PlayStepsKeepThePalette) {
    PaintFirstScreen(form);
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
    WriteShot(form.imgScreen, "play_steps");
    EXPECT_TRUE(OnlyPaletteColours(form.imgScreen));
}

} // namespace
