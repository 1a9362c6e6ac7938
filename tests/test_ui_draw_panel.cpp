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
    const TPoint at = CounterTextAt(1);
    const TRect box = CounterBox(1);
    const PixelSet digit = Ink(at.x + 48, at.y, 48, 24, "5"); // two blanks, then the digit
    EXPECT_EQ(PixelsOf(image(), ColWhite), digit);
    EXPECT_EQ(PixelsOf(image(), ColShadow), Minus(Ink(at.x + 50, at.y + 3, 48, 24, "5"), digit));
    // The rest of the box is player 1's colour, and nothing outside the box changed.
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x) {
            const TColor c = image().Pixel(x, y);
            ASSERT_TRUE(c == ColPlayer1 || c == ColWhite || c == ColShadow) << x << "," << y;
        }
    EXPECT_EQ(CountOf(image(), ColPlayer1) + CountOf(image(), ColWhite) +
                  CountOf(image(), ColShadow),
              static_cast<std::size_t>((box.right - box.left) * (box.bottom - box.top)));
}

TEST_F(Panel, EmptyCellCounterCoversOnlyItsPartOfTheRestBox) {
    form.DrawRestLabel();
    const TRect box = CounterBox(0);
    // Mark the part of the REST box the counter must not touch.
    image().FillRect(RestBox.left, RestBox.top, box.left, RestBox.bottom, ColMagenta);
    const TImage before = image();
    form.DrawCounter(0, 68);
    EXPECT_TRUE(RectIs(image(), RestBox.left, RestBox.top, box.left, RestBox.bottom, ColMagenta));
    for (const auto& [x, y] : Differences(before, image()))
        ASSERT_TRUE(x >= box.left && x < box.right && y >= box.top && y < box.bottom)
            << x << "," << y;
    EXPECT_EQ(PixelsOf(image(), ColWhite), Ink(CounterTextAt(0).x + 24, box.top, 48, 24, "68"));
    // The caption above keeps its text.
    EXPECT_EQ(PixelsOf(image(), ColText, BoardAreaWidth, 0, ScreenWidth, RestBox.top),
              Ink(RestLabelAt.x, RestLabelAt.y, 24, 24, "REST"));
}

TEST_F(Panel, RestLabelPaintsCaptionAndEmptyBox) {
    form.DrawRestLabel();
    EXPECT_TRUE(
        RectIs(image(), RestBox.left, RestBox.top, RestBox.right, RestBox.bottom, ColCellEmpty));
    EXPECT_EQ(PixelsOf(image(), ColText), Ink(RestLabelAt.x, RestLabelAt.y, 24, 24, "REST"));
}

TEST_F(Panel, MessagesWithAndWithoutSwatch) {
    const struct {
        const char* text;
        int line, clear;
        int swatch; // cell value of the swatch, -1 for none
        const char* shown;
    } cases[] = {
        {"@2TURN !", 1, 0, 2, "TURN !"},
        {"@1WIN !!", 1, 0, 1, "WIN !!"},
        {"@0", 0, 1, 0, ""},
        {"Don't put !", 2, 1, -1, "Don't put !"},
        {"DRAWN GAME !!", 1, 0, -1, "DRAWN GAME !!"},
        {"@7oops", 0, 1, -1, "@7oops"}, // no colour 7: shown as it stands
        {"@", 2, 1, -1, "@"},
        {"Ｅ Ｎ Ｄ？", 2, 0, -1, "Ｅ Ｎ Ｄ？"},
    };
    for (const auto& c : cases) {
        form.ClearMessages();
        const TRect line = MessageLine(c.line);
        const int y = line.top, textX = line.left + (c.swatch >= 0 ? SwatchStep : 0);
        form.ShowMessage(c.text, c.line, c.clear);
        const PixelSet text = Ink(textX, y, 24, 12, c.shown);
        EXPECT_EQ(PixelsOf(image(), ColText), text) << c.text;
        EXPECT_EQ(PixelsOf(image(), ColBlack), Minus(Ink(textX + 1, y + 2, 24, 12, c.shown), text))
            << c.text;
        if (c.swatch >= 0) {
            const int swatchRight = line.left + SwatchSize;
            EXPECT_TRUE(
                RectIs(image(), line.left, y, swatchRight, y + SwatchSize, CellColour[c.swatch]))
                << c.text;
            EXPECT_TRUE(RectIs(image(), swatchRight, y, textX, line.bottom, ColPanel)) << c.text;
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
    const TRect line = MessageLine(1);
    EXPECT_TRUE(
        RectIs(image(), line.left, line.top, line.left + SwatchSize, line.bottom, ColPlayer2));
    EXPECT_TRUE(RectIs(image(), 700, 310, 710, 320, ColWhite));
    EXPECT_EQ(PixelsOf(image(), ColText), Ink(line.left + SwatchStep, line.top, 24, 12, "TURN !"));
}

TEST_F(Panel, ClearFirstErasesExactlyTheLine) {
    image().FillRect(0, 0, ScreenWidth, ScreenHeight, ColWhite);
    form.ShowMessage("", 2, 1);
    const TRect line = MessageLine(2);
    EXPECT_TRUE(RectIs(image(), line.left, line.top, line.right, line.bottom, ColPanel));
    EXPECT_EQ(CountOf(image(), ColPanel),
              static_cast<std::size_t>((line.right - line.left) * (line.bottom - line.top)));
}

TEST_F(Panel, ClearMessagesFillsTheWholeArea) {
    image().FillRect(0, 0, ScreenWidth, ScreenHeight, ColWhite);
    form.ClearMessages();
    const TRect& a = MessageArea;
    EXPECT_TRUE(RectIs(image(), a.left, a.top, a.right, a.bottom, ColPanel));
    EXPECT_EQ(CountOf(image(), ColPanel),
              static_cast<std::size_t>((a.right - a.left) * (a.bottom - a.top)));
}

TEST_F(Panel, PlayerLabelReplacesTheOldOne) {
    form.DrawPlayerLabel(2, 3);
    const TPoint first = PlayerLabelLineAt(2, 0), second = PlayerLabelLineAt(2, 1);
    EXPECT_EQ(PixelsOf(image(), ColText), [&] {
        PixelSet both = Ink(first.x, first.y, 24, 12, "COM");
        for (const auto& p : Ink(second.x, second.y, 24, 12, "LV2")) both.insert(p);
        return both;
    }());
    form.DrawPlayerLabel(2, 0);
    TfrmGalMain fresh;
    fresh.DrawPlayerLabel(2, 0);
    EXPECT_TRUE(Differences(fresh.imgScreen, image()).empty());
    EXPECT_EQ(PixelsOf(image(), ColText), Ink(first.x, first.y, 24, 12, "MAN"));
}

TEST_F(Panel, TurnMarksLightOnlyTheMover) {
    const struct {
        int player;
        TColor bar1, bar2;
    } cases[] = {{1, ColCyan, ColPlayer2}, {2, ColPlayer1, ColYellow}};
    for (const auto& c : cases) {
        form.DrawTurnMarks(c.player);
        const TRect bar1 = TurnBar(1), bar2 = TurnBar(2);
        EXPECT_TRUE(RectIs(image(), bar1.left, bar1.top, bar1.right, bar1.bottom, c.bar1));
        EXPECT_TRUE(RectIs(image(), bar2.left, bar2.top, bar2.right, bar2.bottom, c.bar2));
        const auto area = [](const TRect& r) { return (r.right - r.left) * (r.bottom - r.top); };
        EXPECT_EQ(CountOf(image(), ColBack),
                  static_cast<std::size_t>(ScreenWidth * ScreenHeight - area(bar1) - area(bar2)));
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
            const int top = ButtonLabelAt(half).y, left0 = ButtonLabelAt(half).x;
            const PixelSet ink = PixelsOf(image(), colour, 0, top, ScreenWidth, top + 24);
            for (const auto& [x, y] : ink)
                ASSERT_TRUE(x >= ButtonArea.left && x < ButtonArea.right) << index << "," << half;
            const std::string cells = layout[index][half];
            for (int cell = 0; cell < 8; ++cell) {
                if (cells[cell] == '.' || cells[cell] == '#') continue;
                const int width = cell + 1 < 8 && cells[cell + 1] == '#' ? 48 : 24;
                const int left = left0 + 24 * cell;
                int count = 0;
                for (const auto& [x, y] : ink) count += x >= left && x < left + width;
                EXPECT_GT(count, 0) << ButtonLabels[index][half] << " cell " << cell;
            }
            // The last letter reaches into the last or last but one cell: the label is 192 wide.
            int rightmost = 0;
            for (const auto& [x, y] : ink) rightmost = std::max(rightmost, x);
            const int lastLetterCell = static_cast<int>(cells.find_last_not_of(".#"));
            EXPECT_GE(rightmost, left0 + 24 * lastLetterCell) << ButtonLabels[index][half];
            const TFont font(TFontStyle{GothicFace, 24, 24});
            EXPECT_EQ(font.TextWidth(ButtonLabels[index][half]), 192);
        }
    }
}

TEST_F(Panel, ButtonsLeaveTheHoverArrowsAlone) {
    // Everything left of the labels, where the arrows are drawn.
    const TRect left = {ButtonArrow(0).left, ButtonArea.top, ButtonArea.left, ButtonArea.bottom};
    image().FillRect(left, ColMagenta);
    form.DrawButtons(0);
    EXPECT_TRUE(RectIs(image(), left.left, left.top, left.right, left.bottom, ColMagenta));
}

} // namespace
