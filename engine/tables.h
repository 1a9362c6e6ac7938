// The constant tables of the board's geometry, the start position and the search's cell values.
#pragma once

#include "engine/board.h"

// Which half of its square a playable cell is (0 up, 1 down, 2 left, 3 right); -1 on the border.
// Entries exist up to the last playable cell only.
inline constexpr int32_t CellClass[CellTableSize] = {
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, //
    -1, 0,  1,  2,  3,  0,  1,  2,  3,  0,  1,  2,  3,  -1, //
    -1, 2,  3,  0,  1,  2,  3,  0,  1,  2,  3,  0,  1,  -1, //
    -1, 0,  1,  2,  3,  0,  1,  2,  3,  0,  1,  2,  3,  -1, //
    -1, 2,  3,  0,  1,  2,  3,  0,  1,  2,  3,  0,  1,  -1, //
    -1, 0,  1,  2,  3,  0,  1,  2,  3,  0,  1,  2,  3,  -1, //
    -1, 2,  3,  0,  1,  2,  3,  0,  1,  2,  3,  0,  1,      //
};

// [direction][class]: eleven index offsets along the line, nearest first, then a closing 0.
// Direction 0 runs toward column 1, 1 toward row 1, 2 toward column 12, 3 toward row 6.
inline constexpr int32_t LineOffsets[4][4][12] = {
    {
        {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, 0},
        {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, 0},
        {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, 0},
        {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, 0},
    },
    {
        {-14, -13, -27, -28, -42, -41, -55, -56, -70, -69, -83, 0},
        {-1, -15, -14, -28, -29, -43, -42, -56, -57, -71, -70, 0},
        {1, -13, -14, -28, -27, -41, -42, -56, -55, -69, -70, 0},
        {-14, -15, -29, -28, -42, -43, -57, -56, -70, -71, -85, 0},
    },
    {
        {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0},
        {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0},
        {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0},
        {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0},
    },
    {
        {1, 15, 14, 28, 29, 43, 42, 56, 57, 71, 70, 0},
        {14, 13, 27, 28, 42, 41, 55, 56, 70, 69, 83, 0},
        {14, 15, 29, 28, 42, 43, 57, 56, 70, 71, 85, 0},
        {-1, 13, 14, 28, 27, 41, 42, 56, 55, 69, 70, 0},
    },
};

inline constexpr Board InitialBoard = {
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, //
    -1, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  -1, //
    -1, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  -1, //
    -1, 0,  0,  0,  0,  0,  1,  2,  0,  0,  0,  0,  0,  -1, //
    -1, 0,  0,  0,  0,  0,  2,  1,  0,  0,  0,  0,  0,  -1, //
    -1, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  -1, //
    -1, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  -1, //
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, //
};

// Cells the searching side keeps to whenever it has a move on one: one of every square's pair.
inline constexpr int32_t PriorityCell[CellTableSize] = {
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, //
    -1, 1,  0,  1,  0,  1,  0,  0,  1,  0,  1,  0,  1,  -1, //
    -1, 0,  1,  0,  1,  0,  1,  1,  0,  1,  0,  1,  0,  -1, //
    -1, 1,  0,  1,  0,  1,  0,  0,  1,  0,  1,  0,  1,  -1, //
    -1, 1,  0,  1,  0,  1,  0,  0,  1,  0,  1,  0,  1,  -1, //
    -1, 0,  1,  0,  1,  0,  1,  1,  0,  1,  0,  1,  0,  -1, //
    -1, 1,  0,  1,  0,  1,  0,  0,  1,  0,  1,  0,  1,      //
};

// A panel's worth at a leaf of the search.
inline constexpr int32_t CellWeight[CellTableSize] = {
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, //
    -1, 50, 0,  1,  10, 10, 1,  1,  10, 10, 1,  0,  50, -1, //
    -1, 1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  -1, //
    -1, 1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  -1, //
    -1, 1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  -1, //
    -1, 1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  -1, //
    -1, 50, 0,  1,  10, 10, 1,  1,  10, 10, 1,  0,  50,     //
};

// ---- The laws the tables must keep ----
namespace table_laws {
constexpr bool ClassMatchesFormula() {
    for (int i = 0; i < CellTableSize; ++i) {
        int r = i / RowStride, c = i % RowStride;
        int want = IsPlayableCell(i) ? (c - 1 + 2 * (r - 1)) % 4 : -1;
        if (CellClass[i] != want) return false;
    }
    return true;
}
constexpr bool OffsetListsWellFormed() {
    for (auto& dir : LineOffsets)
        for (auto& list : dir) {
            for (int i = 0; i < 11; ++i)
                if (list[i] == 0) return false;
            if (list[11] != 0) return false;
        }
    return true;
}
constexpr int WeightSum() {
    int sum = 0;
    for (int i = 0; i < CellTableSize; ++i)
        if (IsPlayableCell(i)) sum += CellWeight[i];
    return sum;
}
constexpr bool OnePriorityCellPerPair() {
    for (int i = 0; i < CellTableSize; ++i)
        if (IsPlayableCell(i) && i % 2 == 1 && PriorityCell[i] + PriorityCell[i + 1] != 1)
            return false;
    return true;
}
constexpr bool BorderRingIntact(const Board& b) {
    for (int i = 0; i < BoardSize; ++i)
        if ((b[i] == -1) == IsPlayableCell(i)) return false;
    return true;
}
} // namespace table_laws

static_assert(table_laws::ClassMatchesFormula(), "CellClass must equal (col-1 + 2*(row-1)) mod 4");
static_assert(table_laws::OffsetListsWellFormed(), "eleven non-zero offsets and a closing 0");
static_assert(table_laws::WeightSum() == 336, "the playable cells weigh 336 in all");
static_assert(table_laws::OnePriorityCellPerPair(), "exactly one priority cell in every pair");
static_assert(table_laws::BorderRingIntact(InitialBoard), "the start position keeps its border");

// A leaf is worth LeafScale per unit of the searching side's panel weight, so no valuation
// exceeds MaxValuation (every playable cell that side's).
constexpr int32_t LeafScale = 10000;
constexpr int32_t MaxValuation = LeafScale * table_laws::WeightSum();
