// The board's constant tables against the geometry they encode.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "engine/tables.h"

namespace {

// The cells met from cell in direction d until the first border cell or the end of the list.
std::vector<int> Walk(int cell, int d) {
    std::vector<int> out;
    for (const int32_t* off = LineOffsets[d][CellClass[cell]]; *off != 0; ++off) {
        const int c = cell + *off;
        EXPECT_GE(c, 1) << cell << "/" << d;
        EXPECT_LE(c, 110) << cell << "/" << d;
        if (!IsPlayableCell(c)) {
            out.push_back(-c); // the border cell that stopped the walk, negated
            break;
        }
        out.push_back(c);
    }
    return out;
}

std::vector<int> CellsOnly(std::vector<int> walk) {
    if (!walk.empty() && walk.back() <= 0) walk.pop_back();
    return walk;
}

// A column line built from its definition: rows 1 to 6, each pair contributing its class-0 cell
// before its class-1 cell, or its class-3 cell before its class-2 cell.
std::vector<int> ColumnLine(int cell) {
    const int firstColumn = ((cell % RowStride) - 1) / 2 * 2 + 1;
    std::vector<int> line;
    for (int r = 1; r <= 6; ++r) {
        const int a = r * RowStride + firstColumn, b = a + 1;
        const bool aFirst = CellClass[a] == 0 || CellClass[a] == 3;
        line.push_back(aFirst ? a : b);
        line.push_back(aFirst ? b : a);
    }
    return line;
}

TEST(Tables, EveryCellLiesOnItsRowAndColumnLine) {
    for (int cell = 0; cell < CellTableSize; ++cell) {
        if (!IsPlayableCell(cell)) continue;
        // Directions 0 and 2 run along the row, 1 and 3 along the column line, nearest first.
        const int row = cell / RowStride;
        std::vector<int> rowLine;
        for (int c = 1; c <= 12; ++c) rowLine.push_back(row * RowStride + c);
        const std::vector<int> colLine = ColumnLine(cell);
        for (const auto& [line, back, forward] :
             {std::tuple{rowLine, 0, 2}, std::tuple{colLine, 1, 3}}) {
            const auto at = std::find(line.begin(), line.end(), cell);
            ASSERT_NE(at, line.end()) << cell;
            std::vector<int> before(line.begin(), at), after(at + 1, line.end());
            std::reverse(before.begin(), before.end());
            EXPECT_EQ(CellsOnly(Walk(cell, back)), before) << "cell " << cell << " dir " << back;
            EXPECT_EQ(CellsOnly(Walk(cell, forward)), after)
                << "cell " << cell << " dir " << forward;
        }
    }
}

TEST(Tables, CornerAndCentreWalks) {
    struct Case {
        int cell, direction;
        std::vector<int> walk; // cells met; a negative last entry is the border cell that stops it
    };
    const Case cases[] = {
        {15, 0, {-14}},
        {15, 1, {-1}},
        {15, 2, {16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26}},
        {15, 3, {16, 30, 29, 43, 44, 58, 57, 71, 72, 86, 85}},
        {96, 0, {95, 94, 93, 92, 91, 90, 89, 88, 87, 86, 85}},
        {96, 1, {95, 81, 82, 68, 67, 53, 54, 40, 39, 25, 26}},
        {96, 2, {-97}},
        {96, 3, {-110}},
        {48, 0, {47, 46, 45, 44, 43, -42}},
        {48, 1, {47, 33, 34, 20, 19, -5}},
        {48, 2, {49, 50, 51, 52, 53, 54, -55}},
        {48, 3, {62, 61, 75, 76, 90, 89, -103}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Walk(c.cell, c.direction), c.walk) << c.cell << "/" << c.direction;
}

// The cell values follow the board's symmetry: a cell and its mirror images (left-right, and
// top-bottom) weigh the same and are priority cells alike; a mistyped entry breaks that.
TEST(Tables, PriorityAndWeightAreSymmetric) {
    for (int i = 0; i < CellTableSize; ++i) {
        if (!IsPlayableCell(i)) {
            EXPECT_EQ(PriorityCell[i], -1) << i;
            EXPECT_EQ(CellWeight[i], -1) << i;
            continue;
        }
        const int r = i / RowStride, c = i % RowStride;
        for (const int m : {r * RowStride + 13 - c, (7 - r) * RowStride + c}) {
            EXPECT_EQ(CellWeight[m], CellWeight[i]) << i << " and " << m;
            EXPECT_EQ(PriorityCell[m], PriorityCell[i]) << i << " and " << m;
        }
    }
    // The corners are worth most, the cells beside them least.
    EXPECT_EQ(CellWeight[FirstPlayable],
              *std::max_element(std::begin(CellWeight), std::end(CellWeight)));
    EXPECT_EQ(CellWeight[FirstPlayable + 1], 0);
}

} // namespace
