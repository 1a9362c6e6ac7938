// The game's board: 112 cells in rows of 14, a -1 border ring around 6 x 12 playable cells.
#pragma once

#include <array>
#include <cstdint>

constexpr int BoardSize = 112;    // rows 0..7 x columns 0..13
constexpr int RowStride = 14;     // index = row * 14 + column
constexpr int FirstPlayable = 15; // row 1, column 1
constexpr int LastPlayable = 96;  // row 6, column 12
constexpr int PlayableCells = 72;
// The per-cell tables stop at the last playable cell: no cell beyond it is ever looked up.
constexpr int CellTableSize = LastPlayable + 1;

// Whether cell (any number) is one of the 72 playable cells, rows 1..6 and columns 1..12.
constexpr bool IsPlayableCell(int64_t cell) {
    if (cell < 0 || cell >= BoardSize) return false;
    const int64_t r = cell / RowStride, c = cell % RowStride;
    return r >= 1 && r <= 6 && c >= 1 && c <= 12;
}

constexpr int32_t CellBorder = -1;
constexpr int32_t CellEmpty = 0;

// A Board is handed around as a pointer to its first cell and changed in place.
using Board = std::array<int32_t, BoardSize>;

constexpr int Opponent(int player) {
    return 3 - player;
}

// FlipList: count, cell put on, turned-over cells in turn-over order, -1.
constexpr int FlipListSize = 22;
