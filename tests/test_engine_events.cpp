// A game as its events: what each event may follow, what it refuses, and the record it leaves.
#include <gtest/gtest.h>

#include <vector>

#include "engine/game_events.h"
#include "engine/rules.h"

using game_events::TEndReason;
using game_events::TEvent;
using game_events::TEventGame;
using game_events::TEventKind;

namespace {

TEvent Join() {
    return {.kind = TEventKind::Join, .player = 2};
}
TEvent Put(int player, int cell) {
    return {.kind = TEventKind::Put, .player = player, .cell = cell};
}
TEvent Offer(int player, int64_t moves) {
    return {.kind = TEventKind::TakeBackOffer, .player = player, .moves = moves};
}
TEvent Answer(int player, bool accept, int64_t moves = 0) {
    return {.kind = accept ? TEventKind::TakeBack : TEventKind::TakeBackDeclined,
            .player = player,
            .moves = moves};
}

// A legal put of the player to move.
TEvent LegalPut(const TEventGame& game) {
    const auto& p = game.Record().Position();
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell)
        if (p.board[cell] == CellEmpty && (rules::CheckPut(cell, p.board.data()) & p.toMove))
            return Put(p.toMove, cell);
    return {};
}

// Takes events numbered in order; the number of the first refused, 0 when all were taken.
int64_t TakeAll(TEventGame& game, std::vector<TEvent> events, std::string& error) {
    for (TEvent& e : events) {
        e.n = game.Last() + 1;
        if (!game.Take(e, error)) return e.n;
    }
    return 0;
}

} // namespace

// Each sequence is taken up to its last event, which is refused with a reason naming why, and
// leaves the game as it was.
TEST(EngineEvents, RefusesWhatMayNotComeNow) {
    struct TCase {
        const char* why;
        std::vector<TEvent> events;
    };
    const std::vector<TCase> cases = {
        {"seat 2 is still empty", {Put(1, 50)}},
        {"only seat 2 joins", {Join(), Join()}},
        {"only seat 2 joins", {{.kind = TEventKind::Join, .player = 1}}},
        {"player 1 is to move", {Join(), Put(2, 47)}},
        {"not on the board", {Join(), Put(1, -1)}},
        {"may not put", {Join(), Put(1, 15)}},
        {"there is no player 3", {Join(), Put(3, 50)}},
        {"may put, so may not pass", {Join(), {.kind = TEventKind::Pass, .player = 1}}},
        {"has no put to take back", {Join(), Offer(1, 0)}},
        {"goes back to 0 moves", {Join(), Put(1, 50), Offer(1, 1)}},
        {"already asked", {Join(), Put(1, 50), Offer(1, 0), Offer(1, 0)}},
        {"answered by the other", {Join(), Put(1, 50), Offer(1, 0), Answer(1, false)}},
        {"keeps the moves its ask named", {Join(), Put(1, 50), Offer(1, 0), Answer(2, true, 1)}},
        {"no take-back ask", {Join(), Put(1, 50), Answer(2, false)}},
        {"no take-back ask", {Join(), Put(1, 50), Offer(1, 0), Put(2, 47), Answer(2, true)}},
        {"is not over", {Join(), {.kind = TEventKind::End, .count1 = 2, .count2 = 2}}},
        {"board's counts", {Join(), {.kind = TEventKind::End, .count1 = 9, .count2 = 2}}},
        {"no winner",
         {Join(),
          {.kind = TEventKind::End,
           .winner = 1,
           .count1 = 2,
           .count2 = 2,
           .reason = TEndReason::Abandoned}}},
    };
    for (const TCase& c : cases) {
        TEventGame game;
        std::string error;
        EXPECT_EQ(TakeAll(game, c.events, error), static_cast<int64_t>(c.events.size())) << c.why;
        EXPECT_NE(error.find(c.why), std::string::npos) << c.why << ": " << error;
        EXPECT_EQ(game.Last(), static_cast<int64_t>(c.events.size()) - 1) << c.why;
    }

    TEventGame game;
    std::string error;
    EXPECT_FALSE(game.Take({.n = 2, .kind = TEventKind::Join, .player = 2}, error));
    EXPECT_NE(error.find("not the next after 0"), std::string::npos) << error;
}

TEST(EngineEvents, TakeBackAsksAreCountedAndGrantedOnTheRecord) {
    TEventGame game;
    std::string error;
    ASSERT_EQ(TakeAll(game, {Join(), Put(1, 50), Put(2, 47)}, error), 0) << error;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(TakeAll(game, {Offer(2, 1), Answer(1, false)}, error), 0) << error;
    EXPECT_EQ(game.DeclinedInARow(2), 3);
    EXPECT_EQ(game.DeclinedInARow(1), 0);
    EXPECT_EQ(game.OpenOffer(), nullptr);

    ASSERT_EQ(TakeAll(game, {Offer(2, 1)}, error), 0) << error;
    ASSERT_NE(game.OpenOffer(), nullptr);
    EXPECT_EQ(game.ToMove(), 1);
    ASSERT_EQ(TakeAll(game, {Answer(1, true, 1)}, error), 0) << error;
    EXPECT_EQ(game.DeclinedInARow(2), 0);
    EXPECT_EQ(game.Record().Moves().size(), 1u);
    EXPECT_EQ(game.ToMove(), 2);

    // A put of one's own starts a new row of asks.
    ASSERT_EQ(TakeAll(game, {Offer(1, 0), Answer(2, false)}, error), 0) << error;
    EXPECT_EQ(game.DeclinedInARow(1), 1);
    ASSERT_EQ(TakeAll(game, {Put(2, 47)}, error), 0) << error;
    ASSERT_EQ(TakeAll(game, {LegalPut(game)}, error), 0) << error;
    EXPECT_EQ(game.DeclinedInARow(1), 0);
}

TEST(EngineEvents, AnAbandonedGameEndsAnywhereAndNothingFollows) {
    TEventGame game;
    std::string error;
    ASSERT_EQ(TakeAll(game, {Join(), Put(1, 50)}, error), 0) << error;
    const int64_t room = game_events::EventsToFinish(game.Record().Position());
    EXPECT_EQ(room, 2 * game.Record().Position().count[0] + 1);
    const TEvent end = game.AbandonedEnd();
    EXPECT_EQ(end.n, 3);
    EXPECT_EQ(end.winner, 0);
    EXPECT_EQ(end.reason, TEndReason::Abandoned);
    ASSERT_TRUE(game.Take(end, error)) << error;
    EXPECT_TRUE(game.Over());
    EXPECT_EQ(game.ToMove(), 0);
    EXPECT_FALSE(game.Take({.n = 4, .kind = TEventKind::Put, .player = 2, .cell = 47}, error));
    EXPECT_NE(error.find("over"), std::string::npos) << error;
}
