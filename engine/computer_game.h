// One whole game between two computer players, as the probe's selfplay and tournament play it.
#pragma once

#include <atomic>
#include <functional>

#include "engine/board.h"

namespace node_table {
class Table;
}

struct ComputerGame {
    bool finished = false; // false when stopped: board and moves are then the game so far
    Board board{};
    int count[3] = {0, 0, 0}; // of a finished game: empty cells, player 1's and player 2's panels
    int winner = 0;           // of a finished game: 1 or 2, 0 for a draw
    int moves = 0;
};

// Called after each search that chose a move, with the mover and the search's time.
using SearchTimer = std::function<void(int mover, double seconds)>;

// Plays from the start position, player 1 first, each move searched at depth[mover] (index 1 and
// 2) with a value drawn from game_random, so the caller's seed fixes the game. stop (may be
// null) ends the game at the running search's next node. The game's searches use table (null:
// the program's), emptied first so that its times are those of a game alone; games played at
// once each need one of their own.
ComputerGame PlayComputerGame(const int depth[3], const std::atomic<bool>* stop = nullptr,
                              const SearchTimer& timer = {}, node_table::Table* table = nullptr);
