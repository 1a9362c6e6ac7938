#include "engine/computer_game.h"

#include <chrono>

#include "engine/node_table.h"
#include "engine/random.h"
#include "engine/rules.h"
#include "engine/search.h"
#include "engine/tables.h"

ComputerGame PlayComputerGame(const int depth[3], const std::atomic<bool>* stop,
                              const SearchTimer& timer, node_table::Table* table) {
    ComputerGame game;
    game.board = InitialBoard;
    // Nothing remembered from earlier games, which may have reached the same positions: each
    // game's searches take the time they take in a game of their own.
    if (table)
        table->Clear();
    else
        node_table::Table::Forget();
    TSearch search(stop);
    search.UseOwnTable(table);
    int32_t flips[FlipListSize]; // the game's own: other games may be putting at the same time
    for (int mover = 1; mover != 0;) {
        // A depth-0 search never looks at the flag; this keeps random players stoppable too.
        if (stop && stop->load()) return game;
        search.Prepare(mover, depth[mover], game.board.data(), game_random::Draw());
        const auto start = std::chrono::steady_clock::now();
        const int cell = search.Think();
        if (cell < 0) return game; // stopped: the mover always has a move here
        if (timer)
            timer(mover,
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        rules::PutPanel(cell, mover, game.board.data(), flips);
        ++game.moves;
        mover = rules::NextMover(mover, game.board.data());
    }
    for (int i = FirstPlayable; i <= LastPlayable; ++i)
        if (game.board[i] >= 0 && game.board[i] <= 2) ++game.count[game.board[i]];
    game.winner = rules::Winner(game.count[1], game.count[2]);
    game.finished = true;
    return game;
}
