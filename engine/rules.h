// The rule operations as plain functions: who may put where, putting a panel with its
// turn-overs, and what follows a move.
#pragma once

#include <cstdint>

#include "engine/board.h"

// The one program-wide result of the latest PutPanel call: count, cell put on, the turned-over
// cells in turn-over order, -1.
extern int32_t FlipList[FlipListSize];

namespace rules {

// The player (1 or 2) whose panel closes a run of the other's from cell in direction, or 0.
int CheckLine(int cell, int direction, const int32_t* board);
// Legality mask of an empty cell: bit 1 for player 1, bit 2 for player 2.
int CheckPut(int cell, const int32_t* board);
// OR of CheckPut over all empty cells; 0 when nobody can put.
int CheckBoard(const int32_t* board);
// Puts player's panel on cell, turns over what it brackets, and fills FlipList.
int32_t* PutPanel(int cell, int player, int32_t* board);
// The same with a flip list of the caller's (FlipListSize entries), for games played at once.
int32_t* PutPanel(int cell, int player, int32_t* board, int32_t* flips);

// Who moves after mover has put on board: the opponent when they can put, mover again when
// only mover can (the opponent passes), 0 when nobody can and the game is over.
int NextMover(int mover, const int32_t* board);
// The winner of a finished game from the two players' panel counts; 0 for a drawn game.
constexpr int Winner(int count1, int count2) {
    return count1 > count2 ? 1 : count2 > count1 ? 2 : 0;
}

} // namespace rules
