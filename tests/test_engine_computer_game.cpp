// Whole computer games as the probe plays them.
#include <gtest/gtest.h>

#include "engine/computer_game.h"
#include "engine/random.h"

namespace {

TEST(ComputerGame, TimesEachSearchAndEndsWithACountedBoard) {
    const int depth[3] = {0, 0, 2}; // a random player against a searching one
    for (uint32_t seed : {1u, 2u, 3u}) {
        game_random::Seed(seed);
        int searches[3] = {0, 0, 0};
        const ComputerGame g =
            PlayComputerGame(depth, nullptr, [&](int mover, double) { ++searches[mover]; });
        ASSERT_TRUE(g.finished);
        EXPECT_EQ(searches[0], 0);
        EXPECT_EQ(searches[1] + searches[2], g.moves);
        EXPECT_EQ(g.count[0] + g.count[1] + g.count[2], 72);
        EXPECT_EQ(g.moves, 68 - g.count[0]); // every move fills one cell
        EXPECT_EQ(g.winner, g.count[1] > g.count[2] ? 1 : g.count[2] > g.count[1] ? 2 : 0);
    }
}

TEST(ComputerGame, StopsEvenPlayersWhoDoNotSearch) {
    const std::atomic<bool> stop{true};
    for (int level : {0, 3}) {
        const int depth[3] = {0, level, level};
        const ComputerGame g = PlayComputerGame(depth, &stop);
        EXPECT_FALSE(g.finished) << level;
        EXPECT_EQ(g.moves, 0) << level;
    }
}

} // namespace
