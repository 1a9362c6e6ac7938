// The move search: exact scores, progress counts and picks, checked against a plain reference.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/bench_positions.h"
#include "engine/node_table.h"
#include "engine/tables.h"
#include "engine/think_thread.h"
#include "test_engine_reference.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MELVARON_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define MELVARON_SANITIZED 1
#endif
#endif
#if !defined(MELVARON_SANITIZED) && defined(__OPTIMIZE__)
constexpr bool DeepChecks = true; // worth the time only in an optimised, unsanitised build
#else
constexpr bool DeepChecks = false;
#endif

namespace {

using reference::NaiveSearch;

std::vector<int32_t> Moves(int side, const int32_t* board, bool priorityCut) {
    int32_t list[MoveListSize];
    const int cut = TSearch::ListMoves(side, board, list);
    if (priorityCut && cut != 0) list[cut] = -1;
    std::vector<int32_t> out;
    for (int i = 0; list[i] != -1; ++i) out.push_back(list[i]);
    return out;
}

// Scores every listed move of side with the engine and with the reference, on fresh counters,
// and expects the same scores, the same final progress and the same number of calls.
void ExpectSameAsReference(const int32_t* board, int side, int depth, const char* what) {
    TSearch fast;
    NaiveSearch naive;
    for (int32_t cell : Moves(side, board, false)) {
        const int want = naive.Evaluate(cell, side, board, depth);
        EXPECT_EQ(fast.Evaluate(cell, side, board, depth), want)
            << what << " cell " << cell << " side " << side << " depth " << depth;
    }
    EXPECT_EQ(fast.FProgress.load(), naive.progress) << what << " depth " << depth;
    EXPECT_EQ(fast.EvaluateCalls(), naive.nodes) << what << " depth " << depth;
}

TEST(Search, StartPositionScoresAndProgress) {
    struct Case {
        int depth;
        int32_t score; // of both cell 50 and cell 61
        int32_t progress;
    };
    for (const Case& c : {Case{1, 40000, 2}, Case{2, 50000, 10}, Case{3, 60000, 34}}) {
        TSearch t;
        EXPECT_EQ(t.Evaluate(50, 1, InitialBoard.data(), c.depth), c.score) << c.depth;
        EXPECT_EQ(t.Evaluate(61, 1, InitialBoard.data(), c.depth), c.score) << c.depth;
        EXPECT_EQ(t.FProgress.load(), c.progress) << c.depth;
    }
}

TEST(Search, ThinkPicksAmongEqualBestByRandom) {
    struct Case {
        int depth, random, result, progress;
    };
    const Case cases[] = {
        {3, 0, 50, 34},    {3, 16383, 50, 34}, {3, 16384, 61, 34}, {3, 32767, 61, 34},
        {1, 16384, 61, 2}, {0, 0, 50, 0},      {0, 32767, 61, 0},
    };
    for (const Case& c : cases) {
        TSearch t;
        t.Prepare(1, c.depth, InitialBoard.data(), c.random);
        EXPECT_EQ(t.Think(), c.result) << c.depth << "/" << c.random;
        EXPECT_EQ(t.FResult.load(), c.result);
        EXPECT_EQ(t.FProgress.load(), c.progress);
    }
}

// Positions from random play where the root has a given shape, found deterministically.
template <class Pred> reference::Position FindPosition(uint64_t seed, Pred pred) {
    reference::Rng rng(seed);
    for (int tries = 0; tries < 5000; ++tries) {
        auto pos = reference::RandomPosition(rng, 4 + rng.Below(50));
        if (pos.side != 0 && pred(pos)) return pos;
    }
    ADD_FAILURE() << "no position of the wanted shape";
    return {InitialBoard, 1};
}

TEST(Search, DepthZeroPicksFromTheFullListWithoutEvaluating) {
    // Priority moves and others together, so the full list is not just the priority part.
    auto pos = FindPosition(11, [](const reference::Position& p) {
        int32_t list[MoveListSize];
        const int cut = TSearch::ListMoves(p.side, p.board.data(), list);
        int n = 0;
        while (list[n] != -1) ++n;
        return cut >= 1 && n >= cut + 2;
    });
    const auto all = Moves(pos.side, pos.board.data(), false);
    for (int random : {0, 32767, 12345}) {
        TSearch t;
        t.Prepare(pos.side, 0, pos.board.data(), random);
        const size_t index = (static_cast<size_t>(random) * all.size()) >> 15;
        EXPECT_EQ(t.Think(), all[index]) << random;
        EXPECT_EQ(t.FProgress.load(), 0);
        EXPECT_EQ(t.EvaluateCalls(), 0u);
    }
}

TEST(Search, PriorityMovesAloneAreCandidates) {
    // A non-priority move that would score higher at depth 1 than every priority move.
    auto better = [](const reference::Position& p) {
        const auto pri = Moves(p.side, p.board.data(), true);
        const auto all = Moves(p.side, p.board.data(), false);
        if (pri.size() < 2 || all.size() == pri.size()) return false;
        NaiveSearch n;
        int32_t bestPri = -1, bestOther = -1;
        for (size_t i = 0; i < all.size(); ++i) {
            const int32_t s = n.Evaluate(all[i], p.side, p.board.data(), 1);
            (i < pri.size() ? bestPri : bestOther) =
                std::max(i < pri.size() ? bestPri : bestOther, s);
        }
        return bestOther > bestPri;
    };
    auto pos = FindPosition(12, better);
    const auto pri = Moves(pos.side, pos.board.data(), true);
    for (int random : {0, 32767}) {
        TSearch t;
        t.Prepare(pos.side, 1, pos.board.data(), random);
        const int result = t.Think();
        EXPECT_NE(std::find(pri.begin(), pri.end(), result), pri.end()) << result;
        EXPECT_EQ(t.FProgress.load(), static_cast<int>(pri.size()));
    }
}

TEST(Search, SinglePriorityCandidateIsReturnedUnevaluated) {
    auto pos = FindPosition(13, [](const reference::Position& p) {
        return Moves(p.side, p.board.data(), true).size() == 1 &&
               Moves(p.side, p.board.data(), false).size() >= 2;
    });
    TSearch t;
    t.Prepare(pos.side, 3, pos.board.data(), 32767);
    EXPECT_EQ(t.Think(), Moves(pos.side, pos.board.data(), true)[0]);
    EXPECT_EQ(t.FProgress.load(), 0);
}

TEST(Search, ParentScoreIsTheTruncatedAverageOfItsReplies) {
    // Depth 2: an own move is averaged over all of the opponent's replies (never cut), each of
    // which is itself a node of the same search with the opponent as mover.
    reference::Rng rng(14);
    int truncated = 0;
    for (int k = 0; k < 200 && truncated < 5; ++k) {
        auto pos = reference::RandomPosition(rng, 6 + rng.Below(40));
        if (pos.side == 0) continue;
        const int own = pos.side, opp = 3 - own;
        for (int32_t cell : Moves(own, pos.board.data(), true)) {
            Board after = pos.board;
            rules::PutPanel(cell, own, after.data());
            const int m = rules::CheckBoard(after.data());
            if (!(m & opp)) continue; // a pass or a game end: not this case
            TSearch t;
            int64_t sum = 0;
            const auto replies = Moves(opp, after.data(), false);
            for (int32_t r : replies) sum += t.Evaluate(r, -opp, after.data(), 2);
            const int parent = t.Evaluate(cell, own, pos.board.data(), 2);
            EXPECT_EQ(parent, sum / static_cast<int64_t>(replies.size()));
            if (sum % static_cast<int64_t>(replies.size()) != 0) ++truncated;
        }
    }
    EXPECT_GE(truncated, 5) << "too few averages with a remainder were seen";
}

TEST(Search, TerminatedSearchReturnsMinusOneAndCountsNothing) {
    std::atomic<bool> stop{true};
    TSearch t(&stop);
    EXPECT_EQ(t.Evaluate(50, 1, InitialBoard.data(), 3), -1);
    EXPECT_EQ(t.FProgress.load(), 0);

    t.Prepare(1, 3, InitialBoard.data(), 0);
    EXPECT_EQ(t.Think(), -1);
    EXPECT_EQ(t.FResult.load(), ResultNotReady); // Think stores nothing when stopped

    t.FDepth = 0; // nothing to evaluate, so the flag has no effect
    EXPECT_EQ(t.Think(), 50);
    EXPECT_EQ(t.FResult.load(), 50);
}

TEST(Search, SideWithoutMovesGetsNoCell) {
    Board b = InitialBoard;
    for (int i = FirstPlayable; i <= LastPlayable; ++i)
        if (b[i] == CellEmpty) b[i] = 1;
    b[15] = CellEmpty; // one hole that nobody can fill
    TSearch t;
    t.Prepare(2, 2, b.data(), 0);
    EXPECT_EQ(t.Think(), -1);
    EXPECT_EQ(t.FResult.load(), -1);
}

TEST(Search, MatchesReferenceOnBenchPositions) {
    const int maxDepth = DeepChecks ? 4 : 3;
    for (int i = 0; i < BenchPositionCount; ++i) {
        const Board b = BenchBoard(i);
        for (int depth = 1; depth <= maxDepth; ++depth)
            ExpectSameAsReference(b.data(), BenchPositions[i].side, depth,
                                  ("bench " + std::to_string(i)).c_str());
    }
}

TEST(Search, MatchesReferenceOnRandomPositions) {
    // Positions from the opening to the last moves, both signs of the mover, so that passes and
    // game ends inside the search are met as well.
    reference::Rng rng(2024);
    NaiveSearch census; // counts the passes and game ends that the comparison went through
    const int positions = DeepChecks ? 120 : 60;
    for (int k = 0; k < positions; ++k) {
        auto pos = reference::RandomPosition(rng, 2 + rng.Below(66));
        if (pos.side == 0) continue;
        const std::string what = "random " + std::to_string(k);
        for (int depth = 1; depth <= (DeepChecks && k % 4 == 0 ? 4 : 3); ++depth) {
            ExpectSameAsReference(pos.board.data(), pos.side, depth, what.c_str());
            ExpectSameAsReference(pos.board.data(), -pos.side, depth, what.c_str());
        }
        for (int32_t cell : Moves(pos.side, pos.board.data(), false))
            census.Evaluate(cell, pos.side, pos.board.data(), 3);
    }
    EXPECT_GT(census.passes, 0u);
}

TEST(Search, ThinkMatchesReferenceIncludingThePick) {
    reference::Rng rng(77);
    for (int k = 0; k < 40; ++k) {
        auto pos = reference::RandomPosition(rng, 2 + rng.Below(60));
        if (pos.side == 0) continue;
        const int depth = k % 4;
        const int random = rng.Below(32768);
        NaiveSearch naive;
        const auto want = naive.Think(pos.side, depth, random, pos.board.data());
        TSearch t;
        t.Prepare(pos.side, depth, pos.board.data(), random);
        EXPECT_EQ(t.Think(), want.result) << k;
        EXPECT_EQ(t.FProgress.load(), naive.progress) << k;
    }
}

// The table of finished nodes changes no score, count or pick: a search without it, one that
// fills it and one that answers from it agree on everything.
TEST(Search, NodeTableChangesNoResult) {
    reference::Rng rng(99);
    const int depth = DeepChecks ? 6 : 4;
    for (int k = 0; k < 16; ++k) {
        const auto pos = k < BenchPositionCount
                             ? reference::Position{BenchBoard(k), BenchPositions[k].side}
                             : reference::RandomPosition(rng, 10 + rng.Below(40));
        if (pos.side == 0) continue;
        int32_t result[3], progress[3];
        uint64_t nodes[3];
        for (int run = 0; run < 3; ++run) {
            if (run == 1) {
                // A shallower search of the same position first: its nodes must not pass for
                // the deeper ones.
                node_table::Table::Forget();
                TSearch shallow;
                shallow.Prepare(pos.side, depth - 1, pos.board.data(), 0);
                shallow.Think();
            }
            TSearch s;
            s.UseNodeTable(run != 0);
            s.Prepare(pos.side, depth, pos.board.data(), 777 * k);
            result[run] = s.Think();
            progress[run] = s.FProgress.load();
            nodes[run] = s.EvaluateCalls();
        }
        for (int run = 1; run < 3; ++run) {
            EXPECT_EQ(result[run], result[0]) << k << " run " << run;
            EXPECT_EQ(progress[run], progress[0]) << k << " run " << run;
            EXPECT_EQ(nodes[run], nodes[0]) << k << " run " << run;
        }
    }
}

// A table of any size gives the same results: a tiny one, which replaces entries all the time,
// agrees with the full one.
TEST(Search, NodeTableSizeChangesNoResult) {
    const int depth = DeepChecks ? 7 : 4;
    for (int k = 0; k < BenchPositionCount; k += 3) {
        const Board b = BenchBoard(k);
        int32_t result[2], progress[2];
        uint64_t nodes[2];
        for (int run = 0; run < 2; ++run) {
            node_table::Table::Limit(run == 0 ? node_table::FarBytes : node_table::MinWindowBytes);
            node_table::Table::Forget();
            TSearch s;
            s.Prepare(BenchPositions[k].side, depth, b.data(), 4321);
            result[run] = s.Think();
            progress[run] = s.FProgress.load();
            nodes[run] = s.EvaluateCalls();
        }
        node_table::Table::Limit(node_table::FarBytes);
        EXPECT_EQ(result[1], result[0]) << k;
        EXPECT_EQ(progress[1], progress[0]) << k;
        EXPECT_EQ(nodes[1], nodes[0]) << k;
    }
}

// A search stopped half-way leaves only finished nodes behind: the next search over the same
// tree gives what it gives from an empty table.
TEST(Search, StoppedSearchLeavesOnlyFinishedNodes) {
    const int depth = DeepChecks ? 8 : 5;
    const Board b = BenchBoard(5);
    const int side = BenchPositions[5].side;
    node_table::Table::Forget();
    {
        auto worker = TThread::TryCreate<TThinkThread>(true);
        ASSERT_TRUE(worker);
        worker->Prepare(side, depth, b.data(), 0);
        worker->Resume();
        while (worker->FProgress.load() == 0 && worker->FResult.load() == ResultNotReady)
            std::this_thread::yield();
        worker->Terminate();
        worker->WaitFor();
    }
    TSearch after;
    after.Prepare(side, depth, b.data(), 0);
    const int32_t result = after.Think();

    node_table::Table::Forget();
    TSearch fresh;
    fresh.Prepare(side, depth, b.data(), 0);
    EXPECT_EQ(fresh.Think(), result);
    EXPECT_EQ(fresh.FProgress.load(), after.FProgress.load());
    EXPECT_EQ(fresh.EvaluateCalls(), after.EvaluateCalls());
}

// Frozen figures of the current search; the reference comparison above explains them, these
// catch a change of both at once.
TEST(Search, SignatureOverBenchPositions) {
    struct Frozen {
        int depth;
        uint64_t nodes;      // Evaluate calls over all bench positions
        int64_t scoreSum;    // sum of every root move's score
        int32_t results[12]; // Think's pick with FRandom 12345
    };
    static const Frozen frozen[] = {
        {1, 52u, 14210000, {39, 19, 22, 22, 74, 43, 72, 54, 81, 34, 89, 89}},
        {2, 926u, 15476115, {76, 22, 22, 22, 57, 30, 72, 54, 81, 24, 19, 89}},
        {3, 11389u, 16727047, {76, 22, 22, 22, 57, 43, 72, 54, 81, 24, 19, 89}},
        {4, 138927u, 18090658, {76, 22, 22, 22, 57, 43, 72, 54, 81, 24, 19, 89}},
        {5, 1710734u, 19530658, {76, 19, 22, 22, 57, 43, 57, 54, 81, 24, 19, 43}},
        {6, 20283369u, 20870244, {76, 19, 22, 22, 57, 43, 57, 54, 81, 34, 19, 89}},
        {7, 244807305u, 22129031, {76, 19, 22, 22, 57, 43, 57, 45, 81, 34, 19, 89}},
        {8, 2921196014u, 23511411, {76, 19, 22, 22, 57, 43, 57, 45, 81, 34, 19, 89}},
    };
    // The plain walk needs minutes for the deepest rows; they wait for a faster search. One
    // thread and several give the same figures. Helpers join a search from depth 5 on (the
    // search's ParallelDepth), so the sanitized builds go that deep with helpers: there
    // ThreadSanitizer watches them share the node table, more threads than the machine has cores.
    constexpr int DeepestRow = 8, HelpersJoin = 5;
    const struct {
        int threads, deepest;
    } runs[] = {
        {1, DeepChecks ? DeepestRow : 3},
        {3, DeepChecks ? DeepestRow : HelpersJoin},
        {4, HelpersJoin},
    };
    for (const auto& [threads, deepest] : runs) {
        for (const Frozen& f : frozen) {
            if (f.depth > deepest) continue;
            uint64_t nodes = 0;
            int64_t scoreSum = 0;
            for (int i = 0; i < BenchPositionCount; ++i) {
                const Board b = BenchBoard(i);
                const int side = BenchPositions[i].side;
                TSearch t;
                t.SetThreads(threads);
                for (int32_t cell : Moves(side, b.data(), false))
                    scoreSum += t.Evaluate(cell, side, b.data(), f.depth);
                nodes += t.EvaluateCalls();
                EXPECT_EQ(t.FProgress.load(), static_cast<int32_t>(t.EvaluateCalls() % 65536));
                TSearch think;
                think.SetThreads(threads);
                think.Prepare(side, f.depth, b.data(), 12345);
                EXPECT_EQ(think.Think(), f.results[i])
                    << "bench " << i << " depth " << f.depth << " threads " << threads;
            }
            EXPECT_EQ(nodes, f.nodes) << "depth " << f.depth << " threads " << threads;
            EXPECT_EQ(scoreSum, f.scoreSum) << "depth " << f.depth << " threads " << threads;
        }
    }
}

} // namespace
