// Side panel pixels: shadowed text, counters over the REST box, message swatches, labels, buttons.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pixel_test_util.h"
#include "platform/text.h"
#include "ui/form.h"

using namespace pixel_test;

namespace {

PixelSet Minus(const PixelSet& a, const PixelSet& b) {
    PixelSet out;
    for (const auto& p : a)
        if (!b.count(p)) out.insert(p);
    return out;
}

using Panel = FormPicture;

TEST_F(Panel, TextShadowOffsetsPerSize) {
    const struct {
        int height, width, right, down;
    } cases[] = {{24, 24, 2, 2}, {24, 12, 1, 2}, {48, 24, 2, 3}, {16, 8, 1, 1}, {12, 6, 1, 1}};
    for (const auto& c : cases) {
        image().FillRect(0, 0, ScreenWidth, ScreenHeight, ColBack);
        form.DrawText(100, 100, ColShadow, ColText, c.height, c.width, "AW5");
        const PixelSet text = Ink(100, 100, c.height, c.width, "AW5");
        const PixelSet shadow = Ink(100 + c.right, 100 + c.down, c.height, c.width, "AW5");
        EXPECT_EQ(PixelsOf(image(), ColText), text) << c.height << "x" << c.width;
        EXPECT_EQ(PixelsOf(image(), ColShadow), Minus(shadow, text)) << c.height << "x" << c.width;
    }
}

TEST_F(Panel, CounterShowsThreeRightAlignedCharactersWithShadow) {
    form.DrawCounter(1, 5);
    const PixelSet digit = Ink(680, 40, 48, 24, "5"); // two blanks, then the digit
    EXPECT_EQ(PixelsOf(image(), ColWhite), digit);
    EXPECT_EQ(PixelsOf(image(), ColShadow), Minus(Ink(682, 43, 48, 24, "5"), digit));
    // The rest of the box is player 1's colour, and nothing outside the box changed.
    for (int y = 40; y < 88; ++y)
        for (int x = 608; x < 712; ++x) {
            const TColor c = image().Pixel(x, y);
            ASSERT_TRUE(c == ColPlayer1 || c == ColWhite || c == ColShadow) << x << "," << y;
        }
    EXPECT_EQ(CountOf(image(), ColPlayer1) + CountOf(image(), ColWhite) +
                  CountOf(image(), ColShadow),
              104u * 48u);
}

TEST_F(Panel, EmptyCellCounterCoversOnlyItsPartOfTheRestBox) {
    form.DrawRestLabel();
    image().FillRect(592, 192, 608, 240, ColMagenta); // mark the part the counter must not touch
    const TImage before = image();
    form.DrawCounter(0, 68);
    EXPECT_TRUE(RectIs(image(), 592, 192, 608, 240, ColMagenta));
    for (const auto& [x, y] : Differences(before, image()))
        ASSERT_TRUE(x >= 608 && x < 712 && y >= 192 && y < 240) << x << "," << y;
    EXPECT_EQ(PixelsOf(image(), ColWhite), Ink(656, 192, 48, 24, "68"));
    // The caption above keeps its text.
    EXPECT_EQ(PixelsOf(image(), ColText, 560, 160, 720, 192), Ink(580, 168, 24, 24, "REST"));
}

TEST_F(Panel, RestLabelPaintsCaptionAndEmptyBox) {
    form.DrawRestLabel();
    EXPECT_TRUE(RectIs(image(), 592, 192, 712, 240, ColCellEmpty));
    EXPECT_EQ(PixelsOf(image(), ColText), Ink(580, 168, 24, 24, "REST"));
}

TEST_F(Panel, MessagesWithAndWithoutSwatch) {
    const struct {
        const char* text;
        int line, clear;
        int swatch; // cell value of the swatch, -1 for none
        int textX;
        const char* shown;
    } cases[] = {
        {"@2TURN !", 1, 0, 2, 572, "TURN !"},
        {"@1WIN !!", 1, 0, 1, 572, "WIN !!"},
        {"@0", 0, 1, 0, 572, ""},
        {"Don't put !", 2, 1, -1, 540, "Don't put !"},
        {"DRAWN GAME !!", 1, 0, -1, 540, "DRAWN GAME !!"},
        {"@7oops", 0, 1, -1, 540, "@7oops"}, // no colour 7: shown as it stands
        {"@", 2, 1, -1, 540, "@"},
        {"Ｅ Ｎ Ｄ？", 2, 0, -1, 540, "Ｅ Ｎ Ｄ？"},
    };
    for (const auto& c : cases) {
        form.ClearMessages();
        const int y = 272 + 32 * c.line;
        form.ShowMessage(c.text, c.line, c.clear);
        const PixelSet text = Ink(c.textX, y, 24, 12, c.shown);
        EXPECT_EQ(PixelsOf(image(), ColText), text) << c.text;
        EXPECT_EQ(PixelsOf(image(), ColBlack),
                  Minus(Ink(c.textX + 1, y + 2, 24, 12, c.shown), text))
            << c.text;
        if (c.swatch >= 0) {
            EXPECT_TRUE(RectIs(image(), 540, y, 564, y + 24, CellColour[c.swatch])) << c.text;
            EXPECT_TRUE(RectIs(image(), 564, y, 572, y + 24, ColPanel)) << c.text;
        } else {
            for (TColor colour : {ColCellEmpty, ColPlayer1, ColPlayer2})
                EXPECT_TRUE(PixelsOf(image(), colour).empty()) << c.text;
        }
    }
}

TEST_F(Panel, TurnMessageKeepsTheRestOfItsLine) {
    form.ClearMessages();
    image().FillRect(700, 310, 710, 320, ColWhite); // something already on line 1
    form.ShowTurnMessage(2, 1);
    EXPECT_TRUE(RectIs(image(), 540, 304, 564, 328, ColPlayer2));
    EXPECT_TRUE(RectIs(image(), 700, 310, 710, 320, ColWhite));
    EXPECT_EQ(PixelsOf(image(), ColText), Ink(572, 304, 24, 12, "TURN !"));
}

TEST_F(Panel, ClearFirstErasesExactlyTheLine) {
    image().FillRect(0, 0, ScreenWidth, ScreenHeight, ColWhite);
    form.ShowMessage("", 2, 1);
    EXPECT_TRUE(RectIs(image(), 540, 336, 732, 360, ColPanel));
    EXPECT_EQ(CountOf(image(), ColPanel), 192u * 24u);
}

TEST_F(Panel, ClearMessagesFillsTheWholeArea) {
    image().FillRect(0, 0, ScreenWidth, ScreenHeight, ColWhite);
    form.ClearMessages();
    EXPECT_TRUE(RectIs(image(), 528, 260, 744, 376, ColPanel));
    EXPECT_EQ(CountOf(image(), ColPanel), 216u * 116u);
}

TEST_F(Panel, PlayerLabelReplacesTheOldOne) {
    form.DrawPlayerLabel(2, 3);
    EXPECT_EQ(PixelsOf(image(), ColText, 540, 90, 600, 160), [] {
        PixelSet both = Ink(552, 102, 24, 12, "COM");
        for (const auto& p : Ink(552, 126, 24, 12, "LV2")) both.insert(p);
        return both;
    }());
    form.DrawPlayerLabel(2, 0);
    TfrmGalMain fresh;
    fresh.DrawPlayerLabel(2, 0);
    EXPECT_TRUE(Differences(fresh.imgScreen, image()).empty());
    EXPECT_EQ(PixelsOf(image(), ColText), Ink(552, 102, 24, 12, "MAN"));
}

TEST_F(Panel, TurnMarksLightOnlyTheMover) {
    const struct {
        int player;
        TColor bar1, bar2;
    } cases[] = {{1, ColCyan, ColPlayer2}, {2, ColPlayer1, ColYellow}};
    for (const auto& c : cases) {
        form.DrawTurnMarks(c.player);
        EXPECT_TRUE(RectIs(image(), 592, 40, 608, 88, c.bar1)) << c.player;
        EXPECT_TRUE(RectIs(image(), 592, 104, 608, 152, c.bar2)) << c.player;
        EXPECT_EQ(CountOf(image(), ColBack), 762u * 512u - 2u * 16u * 48u);
    }
}

// Every label takes eight half-width cells: 192 pixels. Measured on the painted glyphs: each
// character shows inside its own cell and no ink leaves the button area.
TEST_F(Panel, ButtonLabelsFillExactlyTheButtonWidth) {
    // Per label: the characters in cells of 24 pixels ('.' marks a blank cell, '#' the second
    // cell of a full-width letter).
    const char* const layout[5][2] = {
        {"NEW.GAME", "E#.N#.D#"}, {"Y#.E#.S#", ".N#..O#."}, {"Y#.E#.S#", ".N#..O#."},
        {"Y#.E#.S#", ".N#..O#."}, {"G#A#M#E#", "E#.N#.D#"},
    };
    for (int index = 0; index < 5; ++index) {
        form.imgScreen.FillRect(0, 0, ScreenWidth, ScreenHeight, ColBack);
        form.DrawButtons(index);
        for (int half = 0; half < 2; ++half) {
            const TColor colour = half == 0 ? ColCyan : ColYellow;
            const int top = half == 0 ? 400 : 440;
            const PixelSet ink = PixelsOf(image(), colour, 0, top, ScreenWidth, top + 24);
            for (const auto& [x, y] : ink) ASSERT_TRUE(x >= 544 && x < 736) << index << "," << half;
            const std::string cells = layout[index][half];
            for (int cell = 0; cell < 8; ++cell) {
                if (cells[cell] == '.' || cells[cell] == '#') continue;
                const int width = cell + 1 < 8 && cells[cell + 1] == '#' ? 48 : 24;
                const int left = 544 + 24 * cell;
                int count = 0;
                for (const auto& [x, y] : ink) count += x >= left && x < left + width;
                EXPECT_GT(count, 0) << ButtonLabels[index][half] << " cell " << cell;
            }
            // The last letter reaches into the last or last but one cell: the label is 192 wide.
            int rightmost = 0;
            for (const auto& [x, y] : ink) rightmost = std::max(rightmost, x);
            const int lastLetterCell = static_cast<int>(cells.find_last_not_of(".#"));
            EXPECT_GE(rightmost, 544 + 24 * lastLetterCell) << ButtonLabels[index][half];
            const TFont font(TFontStyle{GothicFace, 24, 24});
            EXPECT_EQ(font.TextWidth(ButtonLabels[index][half]), 192);
        }
    }
}

TEST_F(Panel, ButtonsLeaveTheHoverArrowsAlone) {
    image().FillRect(528, 400, 544, 464, ColMagenta);
    form.DrawButtons(0);
    EXPECT_TRUE(RectIs(image(), 528, 400, 544, 464, ColMagenta));
}

} // namespace
