// The rule operations: who may put where, and putting a panel with its turn-overs.
#include "engine/rules.h"

#include <cstddef>

#include "engine/tables.h"

int32_t FlipList[FlipListSize] = {0, 0, -1};

namespace rules {

// Cells outside the playing area have no lines; the operations treat them as dead cells rather
// than walk tables that have no entry for them.
int CheckLine(int cell, int direction, const int32_t* board) {
    if (!IsPlayableCell(cell) || direction < 0 || direction > 3) return 0;
    const int32_t* offset = LineOffsets[direction][CellClass[cell]];
    // The first panel met decides whose run it is; the first panel of the other colour closes it.
    int32_t first = board[cell + *offset];
    if (first <= 0) return 0;
    const int32_t closer = 3 - first;
    for (++offset; *offset != 0; ++offset) {
        const int32_t v = board[cell + *offset];
        if (v <= 0) return 0;
        if (v == closer) return closer;
    }
    return 0;
}

int CheckPut(int cell, const int32_t* board) {
    return CheckLine(cell, 0, board) | CheckLine(cell, 1, board) | CheckLine(cell, 2, board) |
           CheckLine(cell, 3, board);
}

int CheckBoard(const int32_t* board) {
    int mask = 0;
    for (int cell = 0; cell < BoardSize; ++cell) {
        if (board[cell] != CellEmpty) continue;
        mask |= CheckPut(cell, board);
        if (mask == 3) break;
    }
    return mask;
}

int32_t* PutPanel(int cell, int player, int32_t* board) {
    return PutPanel(cell, player, board, FlipList);
}

int32_t* PutPanel(int cell, int player, int32_t* board, int32_t* flips) {
    flips[0] = 0;
    flips[1] = cell;
    flips[2] = -1;
    if (!IsPlayableCell(cell) || (player != 1 && player != 2)) return flips;

    // Every bracket is decided on the board as it was: the partner cell can be the first cell of
    // two bracketing directions, and turning it in the first must not cancel the second.
    int bracket[4];
    for (int d = 0; d < 4; ++d) bracket[d] = CheckLine(cell, d, board) & player;

    board[cell] = player;
    const int32_t other = 3 - player;
    std::size_t next = 2;
    for (int d = 0; d < 4; ++d) {
        if (!bracket[d]) continue;
        const int32_t* offset = LineOffsets[d][CellClass[cell]];
        for (bool first = true; *offset != 0; ++offset, first = false) {
            const int c = cell + *offset;
            if (!first && board[c] == player) break;
            if (board[c] == other) {
                board[c] = player;
                // A legal move turns at most 19; the guard only matters for a broken border.
                if (next < FlipListSize - 1) flips[next++] = c;
                ++flips[0];
            }
        }
    }
    flips[next] = -1;
    return flips;
}

int NextMover(int mover, const int32_t* board) {
    const int mask = CheckBoard(board);
    if (mask & Opponent(mover)) return Opponent(mover);
    return mask != 0 ? mover : 0;
}

} // namespace rules
