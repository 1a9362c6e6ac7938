// The game's board: 112 cells in rows of 14, a -1 border ring around 6 x 12 playable cells.
#pragma once

#include <array>
#include <cstdint>

constexpr int BoardSize = 112;    // rows 0..7 x columns 0..13
constexpr int RowStride = 14;     // index = row * 14 + column
constexpr int FirstPlayable = 15; // row 1, column 1
constexpr int LastPlayable = 96;  // row 6, column 12
constexpr int PlayableCells = 72;

constexpr int32_t CellBorder = -1;
constexpr int32_t CellEmpty = 0;

// A Board is handed around as a pointer to its first cell and changed in place.
using Board = std::array<int32_t, BoardSize>;

constexpr int Opponent(int player) {
    return 3 - player;
}

// FlipList: count, cell put on, turned-over cells in turn-over order, -1.
constexpr int FlipListSize = 22;
