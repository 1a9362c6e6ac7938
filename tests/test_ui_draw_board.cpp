// Board pixels: cell triangles, the black grid, and the pixel-to-cell mapping agreeing with them.
#include <vector>

#include <gtest/gtest.h>

#include "engine/tables.h"
#include "pixel_test_util.h"
#include "ui/form.h"

using namespace pixel_test;

namespace {

using BoardDrawing = FormPicture;

std::vector<int> PlayableCells() {
    std::vector<int> cells;
    for (int cell = 0; cell < CellTableSize; ++cell)
        if (CellClass[cell] >= 0) cells.push_back(cell);
    return cells;
}

TEST(CellAt, ListedPixels) {
    const struct {
        int x, y, cell;
    } cases[] = {
        {256, 17, 15},
        {256, 16, -1}, // the top cell and the top corner itself
        {256, 56, 16},
        {250, 56, 16}, // a horizontal cut belongs to the lower cell
        {296, 90, -1},
        {300, 96, 18}, // a vertical cut belongs to no cell
        {256, 495, 96},
        {256, 496, -1},
        {495, 256, 26},
        {496, 256, -1},
        {17, 256, 85},
        {16, 256, -1},
        {0, 0, -1},
        {600, 300, -1},
        {256, 96, -1}, // the border between two
                       // pairs
        {761, 511, -1},
        {511, 0, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TfrmGalMain::CellAt(c.x, c.y), c.cell) << c.x << "," << c.y;
}

TEST_F(BoardDrawing, CellsHaveTheirCornersAndColours) {
    const struct {
        int cell, value;
        TPoint corners[3];
        TPoint inside;
    } cases[] = {
        {15, 0, {{256, 16}, {216, 56}, {296, 56}}, {256, 40}},
        {96, 2, {{256, 496}, {216, 456}, {296, 456}}, {256, 470}},
        {50, 1, {{336, 256}, {296, 216}, {296, 296}}, {310, 256}},
        {47, 2, {{256, 176}, {216, 216}, {296, 216}}, {256, 200}},
    };
    for (const auto& c : cases) {
        image().FillRect(0, 0, ScreenWidth, ScreenHeight, ColPanel);
        form.DrawCell(c.cell, c.value);
        for (const TPoint& p : c.corners)
            EXPECT_EQ(image().Pixel(p.x, p.y), ColBlack) << c.cell << " at " << p.x << "," << p.y;
        EXPECT_EQ(image().Pixel(c.inside.x, c.inside.y), CellColour[c.value]) << c.cell;
        // Just beyond the right-angled corner is outside the cell.
        const TPoint corner = c.corners[0], mid = {(c.corners[1].x + c.corners[2].x) / 2,
                                                   (c.corners[1].y + c.corners[2].y) / 2};
        const int ox = corner.x + (corner.x > mid.x) - (corner.x < mid.x);
        const int oy = corner.y + (corner.y > mid.y) - (corner.y < mid.y);
        EXPECT_EQ(image().Pixel(ox, oy), ColPanel) << c.cell;
    }
}

// Over every pixel: each pixel CellAt gives to a cell is one that DrawCell paints for that cell,
// every pixel DrawCell fills (the edge aside) maps back to it, and all 72 cells are hit.
TEST_F(BoardDrawing, HitTestingAgreesWithThePaintedTriangles) {
    std::vector<int> hit(ScreenWidth * ScreenHeight);
    std::vector<int> hits(97, 0);
    for (int y = 0; y < ScreenHeight; ++y)
        for (int x = 0; x < ScreenWidth; ++x) {
            const int cell = TfrmGalMain::CellAt(x, y);
            hit[y * ScreenWidth + x] = cell;
            if (cell >= 0) {
                ASSERT_LT(cell, CellTableSize);
                ASSERT_GE(CellClass[cell], 0) << x << "," << y;
                ++hits[cell];
            }
        }
    for (int cell : PlayableCells()) EXPECT_GT(hits[cell], 0) << cell;

    for (int cell : PlayableCells()) {
        image().FillRect(0, 0, ScreenWidth, ScreenHeight, ColBack);
        form.DrawCell(cell, 1);
        int wrong = 0;
        for (int i = 0; i < ScreenWidth * ScreenHeight && wrong < 3; ++i) {
            const TColor c = image().Pixels()[i];
            if (hit[i] == cell && c == ColBack)
                ++wrong, ADD_FAILURE() << "cell " << cell << " hit but not painted at "
                                       << i % ScreenWidth << "," << i / ScreenWidth;
            if (c == ColPlayer1 && hit[i] != cell)
                ++wrong, ADD_FAILURE() << "cell " << cell << " filled at " << i % ScreenWidth << ","
                                       << i / ScreenWidth << " which maps to " << hit[i];
        }
        if (wrong) return;
    }
}

// With all cells painted the lines between pairs and every cut are black, all the rest is the
// cells' colour, and nothing outside the board changed.
TEST_F(BoardDrawing, AllCellsMakeACompleteBlackGrid) {
    image().FillRect(0, 0, ScreenWidth, ScreenHeight, ColPanel);
    for (int cell : PlayableCells()) form.DrawCell(cell, 0);
    int wrong = 0;
    for (int y = 0; y < ScreenHeight && wrong < 5; ++y)
        for (int x = 0; x < ScreenWidth && wrong < 5; ++x) {
            const int c = x + y - 272, b = y - x + 240;
            TColor want = ColPanel;
            if (c >= 0 && c <= 480 && b >= 0 && b <= 480) {
                const int u = c % 80, v = b % 80;
                const int pair = 15 + 14 * std::min(b / 80, 5) + 2 * std::min(c / 80, 5);
                const bool horizontalCut = CellClass[pair] == 0;
                const bool onGrid = u == 0 || v == 0 || (horizontalCut ? u + v == 80 : u == v);
                want = onGrid ? ColBlack : ColCellEmpty;
            }
            if (image().Pixel(x, y) != want)
                ++wrong, ADD_FAILURE() << x << "," << y << " is " << Hex(image().Pixel(x, y))
                                       << ", want " << Hex(want);
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(BoardDrawing, RepaintingACellChangesOnlyItsInterior) {
    for (int cell : PlayableCells()) form.DrawCell(cell, 0);
    const TImage before = image();
    form.DrawCell(50, 2);
    for (const auto& [x, y] : Differences(before, image()))
        ASSERT_EQ(TfrmGalMain::CellAt(x, y), 50) << x << "," << y;
    EXPECT_EQ(image().Pixel(310, 256), ColPlayer2);
}

} // namespace
