// A deliberately plain second search, written step by step over the public rule operations, and
// random positions from legal play: the yardstick for the engine's fast search.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/tables.h"
#include "engine/think_thread.h"

namespace reference {

// The averaging search without any shortcut: every node copies the board, puts the panel with
// PutPanel, asks CheckBoard and lists moves with ListMoves.
struct NaiveSearch {
    int32_t progress = 0;
    uint64_t nodes = 0;
    uint64_t passes = 0; // expanded nodes at which the same player had to move again

    int Evaluate(int cell, int side, const int32_t* board, int depth) {
        const int p = side < 0 ? -side : side;
        const int sign = side < 0 ? -1 : 1;
        int32_t copy[BoardSize];
        std::memcpy(copy, board, sizeof copy);
        TThinkThread::PutPanel(cell, p, copy);
        const int m = TThinkThread::CheckBoard(copy);
        int score;
        if (depth == 1 || m == 0) {
            const int w = sign > 0 ? p : 3 - p;
            int sum = 0;
            for (int i = 0; i <= 96; ++i)
                if (copy[i] == w) sum += CellWeight[i];
            score = 10000 * sum;
        } else {
            const int q = 3 - p;
            int n, childSide;
            bool own;
            if (m & q) {
                n = q;
                childSide = -sign * q;
                own = sign < 0;
            } else {
                n = p;
                childSide = sign * p;
                own = sign > 0;
                ++passes;
            }
            const int childDepth = own ? depth - 1 : depth;
            int32_t list[MoveListSize];
            const int cut = TThinkThread::ListMoves(n, copy, list);
            if (own && cut != 0) list[cut] = -1;
            int sum = 0, count = 0;
            for (int i = 0; list[i] != -1; ++i) {
                sum += Evaluate(list[i], childSide, copy, childDepth);
                ++count;
            }
            score = sum / count;
        }
        progress = (progress + 1) % 65536;
        ++nodes;
        return score;
    }

    struct Choice {
        std::vector<int32_t> candidates, scores; // scores stay empty when nothing is evaluated
        int32_t result = -1;
    };

    Choice Think(int side, int depth, int random, const int32_t* board) {
        Choice out;
        int32_t list[MoveListSize];
        const int cut = TThinkThread::ListMoves(side, board, list);
        if (depth >= 1 && cut != 0) list[cut] = -1;
        for (int i = 0; list[i] != -1; ++i) out.candidates.push_back(list[i]);
        std::vector<int32_t> pool = out.candidates;
        if (depth >= 1 && pool.size() >= 2) {
            int32_t best = -1;
            std::vector<int32_t> bestList;
            for (int32_t c : out.candidates) {
                const int32_t r = Evaluate(c, side, board, depth);
                out.scores.push_back(r);
                if (r > best) bestList.clear(), best = r;
                if (r == best) bestList.push_back(c);
            }
            pool = bestList;
        }
        if (!pool.empty()) out.result = pool[(random * static_cast<int>(pool.size())) >> 15];
        return out;
    }
};

// A small private generator so that positions do not depend on the game's generator state.
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t Next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};

struct Position {
    Board board;
    int side; // to move, with at least one legal move
};

// Plays random legal moves from the start with the game's turn order for `plies` moves (fewer
// if the game ends); returns the position and the player to move, or side 0 at a game end.
inline Position RandomPosition(Rng& rng, int plies) {
    Position pos{InitialBoard, 1};
    for (int k = 0; k < plies; ++k) {
        int32_t list[MoveListSize];
        TThinkThread::ListMoves(pos.side, pos.board.data(), list);
        int n = 0;
        while (list[n] != -1) ++n;
        TThinkThread::PutPanel(list[rng.Below(n)], pos.side, pos.board.data());
        const int m = TThinkThread::CheckBoard(pos.board.data());
        if (m == 0) {
            pos.side = 0;
            return pos;
        }
        if (m & (3 - pos.side)) pos.side = 3 - pos.side;
    }
    return pos;
}

// Plays `games` games of random legal moves from the start with the game's turn order, calling
// visit(before, side, cell, after) for every move, with FlipList still holding it. Returns the
// number of moves played.
template <class Visit> int RandomGames(uint64_t seed, int games, Visit visit) {
    Rng rng(seed);
    int moves = 0;
    for (int game = 0; game < games; ++game) {
        Board b = InitialBoard;
        int side = 1;
        for (int mask; (mask = TThinkThread::CheckBoard(b.data())) != 0; side = 3 - side) {
            if (!(mask & side)) side = 3 - side; // a pass
            std::vector<int> legal;
            for (int cell = FirstPlayable; cell <= LastPlayable; ++cell)
                if (b[cell] == CellEmpty && (TThinkThread::CheckPut(cell, b.data()) & side))
                    legal.push_back(cell);
            const int cell = legal[rng.Below(static_cast<int>(legal.size()))];
            const Board before = b;
            TThinkThread::PutPanel(cell, side, b.data());
            visit(before, side, cell, b);
            ++moves;
        }
    }
    return moves;
}

} // namespace reference
