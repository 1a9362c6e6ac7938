// The search's bit form against the rule operations, and the node table's exact-key contract.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "engine/bench_positions.h"
#include "engine/bitboard.h"
#include "engine/node_table.h"
#include "engine/rules.h"
#include "engine/search.h"
#include "engine/tables.h"
#include "test_engine_reference.h"

namespace {

using bitboard::Bits;
using bitboard::Position;

Position FromBoard(const Board& b) {
    Position pos = {};
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell)
        if (b[cell] == 1 || b[cell] == 2)
            pos.p[b[cell] - 1] = pos.p[b[cell] - 1] | bitboard::Cells.mask[cell];
    return pos;
}

std::set<int> CellsOf(const Bits& set) {
    std::set<int> cells;
    bitboard::ForEachCell(set, [&](int cell) { EXPECT_TRUE(cells.insert(cell).second) << cell; });
    return cells;
}

int32_t Weight(const Board& b, int player) {
    int32_t w = 0;
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell)
        if (b[cell] == player) w += CellWeight[cell];
    return w;
}

// Every move of random games, both players' moves listed in every position: the bit form must
// find the same moves, turn the same panels and weigh them as the rule operations do.
TEST(Bitboard, AgreesWithTheRulesOverRandomPlay) {
    const int moves = reference::RandomGames(
        31, 40, [](const Board& before, int side, int cell, const Board& after) {
            const Position pos = FromBoard(before);
            for (int p : {1, 2}) {
                std::set<int> legal;
                for (int c = FirstPlayable; c <= LastPlayable; ++c)
                    if (before[c] == CellEmpty && (rules::CheckPut(c, before.data()) & p))
                        legal.insert(c);
                ASSERT_EQ(CellsOf(bitboard::Moves(pos.p[p - 1], pos.p[2 - p])), legal);
            }
            Position played = pos;
            bitboard::Play(played, cell, side);
            const Position want = FromBoard(after);
            for (int p = 0; p < 2; ++p)
                for (int w = 0; w < 3; ++w) ASSERT_EQ(played.p[p].w[w], want.p[p].w[w]);
            EXPECT_EQ(bitboard::Gain(pos.p[side - 1], pos.p[2 - side], cell),
                      Weight(after, side) - Weight(before, side))
                << "move " << cell;
            EXPECT_EQ(bitboard::WeightOf(played.p[side - 1]), Weight(after, side));
        });
    EXPECT_GT(moves, 1500);
}

// A key is found only when all of it agrees; the score and the call count come back whole.
TEST(NodeTable, FindsOnlyTheWholeKey) {
    node_table::Table* table = node_table::Table::Lease(10);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(node_table::Table::Lease(10), nullptr) << "a second search must not get it";

    const Position pos = FromBoard(BenchBoard(4));
    const node_table::Key key = node_table::KeyOf(pos, 2, 1, 7);
    const uint64_t hash = node_table::HashOf(key);
    const uint64_t calls = node_table::MaxCalls; // the largest count an entry holds
    table->Store(key, hash, 3360000, calls);

    int32_t score = 0;
    uint64_t found = 0;
    ASSERT_TRUE(table->Probe(key, hash, score, found));
    EXPECT_EQ(score, 3360000);
    EXPECT_EQ(found, calls);

    Position moved = pos;
    moved.p[0] = moved.p[0] | bitboard::Cells.mask[96]; // one more panel
    const node_table::Key others[] = {
        node_table::KeyOf(pos, 1, 1, 7), // another mover
        node_table::KeyOf(pos, 2, 2, 7), // another searching side
        node_table::KeyOf(pos, 2, 1, 6), // another depth
        node_table::KeyOf(moved, 2, 1, 7),
    };
    for (const node_table::Key& other : others)
        EXPECT_FALSE(table->Probe(other, hash, score, found)) << "a key that only shares a hash";

    table->Release();
    EXPECT_TRUE(node_table::Table::Forget());
    table = node_table::Table::Lease(10);
    ASSERT_NE(table, nullptr);
    EXPECT_FALSE(table->Probe(key, hash, score, found));
    table->Release();
}

// A table of a search's own is leased and emptied apart from the program's, and a search on it
// gives what a search on the program's gives.
TEST(NodeTable, OwnTableIsApartFromTheProgramsAndGivesTheSameSearch) {
    node_table::Table own;
    node_table::Table* program = node_table::Table::Lease(10);
    node_table::Table* mine = own.TryLease(10);
    ASSERT_NE(program, nullptr);
    ASSERT_EQ(mine, &own);
    EXPECT_EQ(own.TryLease(10), nullptr) << "a second search must not get it";
    EXPECT_FALSE(own.Clear()) << "not while a search holds it";

    const node_table::Key key = node_table::KeyOf(FromBoard(BenchBoard(2)), 1, 2, 8);
    const uint64_t hash = node_table::HashOf(key);
    mine->Store(key, hash, 1234, 56);
    int32_t score = 0;
    uint64_t calls = 0;
    EXPECT_TRUE(mine->Probe(key, hash, score, calls));
    EXPECT_FALSE(program->Probe(key, hash, score, calls));
    program->Release();
    mine->Release();
    ASSERT_TRUE(own.Clear());
    ASSERT_EQ(own.TryLease(10), &own);
    EXPECT_FALSE(own.Probe(key, hash, score, calls));
    own.Release();

    const Board b = BenchBoard(5);
    TSearch plain, alone;
    alone.UseOwnTable(&own);
    for (TSearch* s : {&plain, &alone}) s->Prepare(BenchPositions[5].side, 6, b.data(), 777);
    EXPECT_EQ(alone.Think(), plain.Think());
    EXPECT_EQ(alone.EvaluateCalls(), plain.EvaluateCalls());
    EXPECT_EQ(alone.FProgress.load(), plain.FProgress.load());
}

// Two entries share a bucket: a third replaces the older one first, then the cheaper subtree.
TEST(NodeTable, KeepsTheYoungAndTheCostly) {
    ASSERT_TRUE(node_table::Table::Forget());
    node_table::Table* table = node_table::Table::Lease(10);
    ASSERT_NE(table, nullptr);
    const uint64_t hash = 12345; // one bucket for all: only the keys differ
    auto key = [](int depth) { return node_table::KeyOf(FromBoard(BenchBoard(0)), 1, 1, depth); };
    int32_t score;
    uint64_t calls;

    table->Store(key(2), hash, 1, 1000);
    table->NewAge();
    table->Store(key(3), hash, 2, 10);
    table->Store(key(4), hash, 3, 20); // the old entry goes, although its subtree was costlier
    EXPECT_FALSE(table->Probe(key(2), hash, score, calls));
    EXPECT_TRUE(table->Probe(key(3), hash, score, calls));
    EXPECT_TRUE(table->Probe(key(4), hash, score, calls));

    table->Store(key(5), hash, 4, 15); // both young now: the cheaper one goes
    EXPECT_FALSE(table->Probe(key(3), hash, score, calls));
    EXPECT_TRUE(table->Probe(key(4), hash, score, calls));
    EXPECT_TRUE(table->Probe(key(5), hash, score, calls));
    table->Release();
}

// Threads writing one bucket while another reads it: a read never mixes two writes' words. Each
// key's score and call count are made from the key, so a mixed entry would show at once.
TEST(NodeTable, NoHalfWrittenEntryIsBelieved) {
    ASSERT_TRUE(node_table::Table::Forget());
    node_table::Table* table = node_table::Table::Lease(10);
    ASSERT_NE(table, nullptr);
    const uint64_t hash = 777; // one bucket for all
    node_table::Key keys[6];
    for (int i = 0; i < 6; ++i) keys[i] = node_table::KeyOf(FromBoard(BenchBoard(i)), 1, 2, 9);
    auto scoreOf = [](const node_table::Key& k) {
        return static_cast<int32_t>((k.k0 ^ k.k1 ^ k.k2) % node_table::ScoreMask);
    };
    auto callsOf = [](const node_table::Key& k) { return (k.k0 + k.k1 + k.k2) & 0xFFFFFFFF; };

    std::atomic<bool> done{false};
    auto writer = [&](int first) {
        for (int n = 0; !done.load(std::memory_order_relaxed); ++n) {
            const node_table::Key& k = keys[(first + n) % 6];
            table->Store(k, hash, scoreOf(k), callsOf(k));
        }
    };
    std::thread w1(writer, 0), w2(writer, 3);
    int found = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
    for (int n = 0; n < 1000 || std::chrono::steady_clock::now() < end; ++n) {
        const node_table::Key& k = keys[n % 6];
        int32_t score;
        uint64_t calls;
        if (!table->Probe(k, hash, score, calls)) continue;
        ++found;
        ASSERT_EQ(score, scoreOf(k)) << n;
        ASSERT_EQ(calls, callsOf(k)) << n;
    }
    done = true;
    w1.join();
    w2.join();
    EXPECT_GT(found, 0);
    table->Release();
}

// Several threads storing and probing an overlapping set of keys that crowd a few buckets of
// the smallest table: entries are replaced all the time, and every one believed is its key's.
TEST(NodeTable, CrowdedBucketsBelieveOnlyWholeEntries) {
    ASSERT_TRUE(node_table::Table::Forget());
    node_table::Table* table = node_table::Table::Lease(1); // the smallest window
    ASSERT_NE(table, nullptr);
    constexpr int Threads = 4, Buckets = 3, Rounds = 50000;
    std::vector<node_table::Key> keys;
    for (int i = 0; i < BenchPositionCount; ++i)
        for (int mover = 1; mover <= 2; ++mover)
            for (int depth = 3; depth <= 5; ++depth)
                keys.push_back(node_table::KeyOf(FromBoard(BenchBoard(i)), mover, 1, depth));
    const int count = static_cast<int>(keys.size());
    auto hashOf = [](int k) { return static_cast<uint64_t>(k % Buckets) << 62; };
    auto scoreOf = [&](int k) { return static_cast<int32_t>(keys[k].k0 % node_table::ScoreMask); };
    auto callsOf = [&](int k) { return 1 + (keys[k].k2 ^ keys[k].k1) % 1000000; };

    std::atomic<int> hits{0}, wrong{0}, ready{0};
    auto work = [&](int thread) {
        ready.fetch_add(1);
        while (ready.load() < Threads) std::this_thread::yield(); // all at once
        for (int n = 0; n < Rounds; ++n) {
            // Thread t probes the key that thread t + 1 is storing about now.
            const int stored = (n * 5 + thread) % count, probed = (n * 5 + thread + 1) % count;
            table->Store(keys[stored], hashOf(stored), scoreOf(stored), callsOf(stored));
            int32_t score;
            uint64_t calls;
            if (!table->Probe(keys[probed], hashOf(probed), score, calls)) continue;
            hits.fetch_add(1, std::memory_order_relaxed);
            if (score != scoreOf(probed) || calls != callsOf(probed))
                wrong.fetch_add(1, std::memory_order_relaxed);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) threads.emplace_back(work, t);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0) << "of " << hits.load() << " believed entries";
    EXPECT_GT(hits.load(), 0);
    table->Release();
}

} // namespace
