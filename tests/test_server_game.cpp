// The server's messages and its authority over one game: what a page may send, what each request
// makes of the game, and that the stored events replay to the same game.
#include <gtest/gtest.h>

#include <random>

#include "engine/rules.h"
#include "server/game.h"
#include "server/protocol.h"
#include "server/secret.h"

using protocol::TEvent;
using protocol::TEventKind;
using server::TOutcome;
using server::TServerGame;

namespace {

const std::string Secret1(32, '1'), Secret2(32, '2');
const std::string Id = secret::GameIdOf(Secret1), Invitation = secret::InvitationOf(Secret1);

TServerGame JoinedGame() {
    TServerGame game = TServerGame::New(Secret1);
    EXPECT_EQ(game.Join(Invitation, Secret2).kind, TOutcome::Applied);
    return game;
}

// A legal put of the player to move, picked by rng; -1 when the game is over.
int RandomPut(const TServerGame& game, std::mt19937& rng) {
    const auto& p = game.Record().Position();
    if (p.Over()) return -1;
    std::vector<int> cells;
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell)
        if (p.board[cell] == CellEmpty && (rules::CheckPut(cell, p.board.data()) & p.toMove))
            cells.push_back(cell);
    return cells[std::uniform_int_distribution<std::size_t>(0, cells.size() - 1)(rng)];
}

store::TStoredGame Stored(const TServerGame& game) {
    store::TStoredGame s;
    s.id = game.Id();
    s.secret1 = game.SecretHash(1);
    s.secret2 = game.SecretHash(2);
    s.invitation = game.InvitationHash();
    s.finished = game.Over();
    for (int64_t n = 1; n <= game.Last(); ++n) s.events.push_back(game.EventText(n));
    return s;
}

} // namespace

TEST(ServerProtocol, ReadsEachRequest) {
    protocol::TClientMessage m;
    std::string error;
    ASSERT_TRUE(protocol::ParseClientMessage(
        R"({"type":"hello","game":")" + Id + R"(","secret":")" + Secret1 +
            R"(","last":7,"digest":")" + std::string(64, 'd') + R"("})",
        m, error))
        << error;
    EXPECT_EQ(m.type, protocol::TRequest::Hello);
    EXPECT_EQ(m.game, Id);
    EXPECT_EQ(m.secret, Secret1);
    EXPECT_EQ(m.last, 7);
    EXPECT_EQ(m.digest, std::string(64, 'd'));
    ASSERT_TRUE(protocol::ParseClientMessage(R"({"type":"join","game":")" + Id +
                                                 R"(","invitation":")" + Invitation +
                                                 R"(","secret":")" + Secret2 + R"("})",
                                             m, error))
        << error;
    EXPECT_EQ(m.invitation, Invitation);
    EXPECT_EQ(m.secret, Secret2);
    ASSERT_TRUE(protocol::ParseClientMessage(
        R"({"after":3,"cell":50,"type":"move","secret":")" + Secret2 + R"("})", m, error));
    EXPECT_EQ(m.type, protocol::TRequest::Move);
    EXPECT_EQ(m.cell, 50);
    EXPECT_EQ(m.after, 3);
    EXPECT_EQ(m.secret, Secret2);
    ASSERT_TRUE(protocol::ParseClientMessage(
        R"({"type":"takeback_answer","accept":true,"after":9,"secret":")" + Secret1 + R"("})", m,
        error));
    EXPECT_TRUE(m.accept);
}

TEST(ServerProtocol, RefusesEveryBrokenShapeInOneLineWithoutTheSecret) {
    const std::string hello = R"({"type":"hello","game":")" + Id + R"(","secret":")";
    // A move with the right secret and the fields given: only they are at fault.
    auto move = [](const std::string& fields) {
        return R"({"type":"move","secret":")" + Secret1 + "\"," + fields + "}";
    };
    const std::vector<std::string> broken = {
        "",
        "not json",
        "[1,2]",
        move(R"("cell":50)"),                 // a field missing
        move(R"("cell":50,"after":0,"x":1)"), // a field unknown
        move(R"("cell":"50","after":0)"),     // a string for a number
        move(R"("cell":112,"after":0)"),      // off the array
        move(R"("cell":50.5,"after":0)"),     // not whole
        move(R"("cell":50,"after":-1)"),      // before the first event
        move(R"("cell":50,"after":18446744073709551615)"),
        R"({"type":"move","cell":50,"after":0})", // no secret
        R"({"type":"resign"})",                   // an unknown type
        R"({"type":7})",
        R"({"cell":50})",                              // no type
        R"({"type":"create","nested":{"a":{"b":1}}})", // too deep
        R"({"type":"takeback_answer","accept":1,"after":0,"secret":")" + Secret1 +
            R"("})",                                     // not a boolean
        hello + Secret1 + "0" + R"(","last":0})",        // a secret too long
        hello + std::string(32, 'G') + R"(","last":0})", // not hex
        R"({"type":"join","game":"0123","invitation":")" + Invitation + R"(","secret":")" +
            Secret2 + R"("})",
        R"({"type":"create"})",                           // a page's own secret missing
        hello + Secret1 + R"(","last":0,"digest":"00"})", // a digest too short
        R"({"type":"create","secret":")" + Secret1 + R"("})" +
            std::string(protocol::MaxMessageBytes, ' '),
        // A key twice, in any spelling JSON allows, the right value last.
        move(R"("secret":"x","cell":50,"after":0)"),
        R"({"type":"record","secret":"0","secret" : ")" + Secret1 + R"("})",
        R"({"type":"record","secret":"0","s\u0065cret":")" + Secret1 + R"("})",
        R"({"type":"create","type":"create","secret":")" + Secret1 + R"("})",
    };
    for (const std::string& text : broken) {
        protocol::TClientMessage m;
        std::string error;
        EXPECT_FALSE(protocol::ParseClientMessage(text, m, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(error.find(Secret1), std::string::npos) << error;
        EXPECT_EQ(error.find("GGGG"), std::string::npos) << error;
    }
}

TEST(ServerProtocol, EveryEventReadsBackAsWritten) {
    const std::vector<TEvent> events = {
        {.n = 1, .kind = TEventKind::Join, .player = 2},
        {.n = 2, .kind = TEventKind::Put, .player = 1, .cell = 50},
        {.n = 3, .kind = TEventKind::Pass, .player = 2},
        {.n = 4, .kind = TEventKind::TakeBackOffer, .player = 1, .moves = 12},
        {.n = 5, .kind = TEventKind::TakeBack, .player = 2, .moves = 12},
        {.n = 6, .kind = TEventKind::TakeBackDeclined, .player = 2},
        {.n = 7, .kind = TEventKind::End, .winner = 0, .count1 = 36, .count2 = 36},
        {.n = 8,
         .kind = TEventKind::End,
         .count1 = 5,
         .count2 = 9,
         .reason = protocol::TEndReason::Abandoned},
    };
    for (const TEvent& e : events) {
        TEvent back;
        std::string error;
        ASSERT_TRUE(protocol::ParseEvent(protocol::EventText(e), back, error)) << error;
        EXPECT_EQ(back, e) << protocol::EventText(e);
    }
}

// Random legal games to the end: the events are the record's moves with the end after them, and
// the stored texts replay to the same game.
TEST(ServerGame, RandomGamesEndAndReplayFromTheirEvents) {
    int passes = 0;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        TServerGame game = JoinedGame();
        for (int cell; (cell = RandomPut(game, rng)) >= 0;) {
            const int mover = game.Record().Position().toMove;
            const TOutcome out = game.Move(mover, cell, game.Last());
            ASSERT_EQ(out.kind, TOutcome::Applied) << out.reason;
        }
        ASSERT_TRUE(game.Over());
        const auto& p = game.Record().Position();
        const TEvent& end = game.Event(game.Last());
        EXPECT_EQ(end.kind, TEventKind::End);
        EXPECT_EQ(end.count1, p.count[1]);
        EXPECT_EQ(end.winner, rules::Winner(p.count[1], p.count[2]));
        EXPECT_EQ(game.Last(), static_cast<int64_t>(game.Record().Moves().size()) + 2);
        for (int64_t n = 1; n <= game.Last(); ++n) passes += game.Event(n).kind == TEventKind::Pass;

        std::string error;
        const auto again = TServerGame::Restore(Stored(game), error);
        ASSERT_TRUE(again) << error;
        EXPECT_EQ(again->Record().Moves(), game.Record().Moves());
        EXPECT_TRUE(again->Over());
        EXPECT_EQ(again->SeatOf(Secret2), 2);
    }
    EXPECT_GT(passes, 0) << "no game passed: the pass events went untried";
}

TEST(ServerGame, RestoreRefusesEventsTheRulesDoNot) {
    TServerGame game = JoinedGame();
    ASSERT_EQ(game.Move(1, 50, 1).kind, TOutcome::Applied);
    struct TCase {
        const char* what;
        std::function<void(store::TStoredGame&)> spoil;
    };
    const std::vector<TCase> cases = {
        {"an illegal put",
         [](auto& s) {
             s.events[1] = R"({"type":"event","n":2,"kind":"put","player":1,"cell":15})";
         }},
        {"a number out of order",
         [](auto& s) {
             s.events[1] = R"({"type":"event","n":5,"kind":"put","player":1,"cell":50})";
         }},
        {"a text that is no event", [](auto& s) { s.events[1] = "{}"; }},
        {"a join without a seat", [](auto& s) { s.secret2.clear(); }},
        {"an end that is not", [](auto& s) { s.finished = true; }},
    };
    for (const TCase& c : cases) {
        store::TStoredGame stored = Stored(game);
        c.spoil(stored);
        std::string error;
        EXPECT_FALSE(TServerGame::Restore(stored, error)) << c.what;
        EXPECT_NE(error.find("game " + Id), std::string::npos) << error;
    }
}

// Each refused request changes nothing: the same events, the same record.
TEST(ServerGame, RefusesWhatTheRulesOrTheTurnDoNotAllow) {
    TServerGame fresh = TServerGame::New(Secret1);
    EXPECT_EQ(fresh.Move(1, 50, 0).kind, TOutcome::Refused); // seat 2 still empty

    TServerGame game = JoinedGame();
    ASSERT_EQ(game.Move(1, 50, 1).kind, TOutcome::Applied); // events: join, put
    struct TCase {
        int seat, cell;
        int64_t after;
        const char* reason; // a part of the reason
    };
    const TCase cases[] = {
        {1, 61, 2, "player 2 is to move"}, // out of turn
        {2, 50, 2, "is not empty"},        // a taken cell
        {2, 15, 2, "may not put"},         // a cell that brackets nothing
        {2, 0, 2, "not on the board"},     // the border
        {2, 47, 1, "moved on to event 2"}, // answers an old event
        {2, 47, 5, "has not happened"},    // answers one to come
    };
    for (const TCase& c : cases) {
        const TOutcome out = game.Move(c.seat, c.cell, c.after);
        EXPECT_EQ(out.kind, TOutcome::Refused) << c.reason;
        EXPECT_NE(out.reason.find(c.reason), std::string::npos) << out.reason;
        EXPECT_EQ(game.Last(), 2);
        EXPECT_EQ(game.Record().Moves().size(), 1u);
    }
    // The same put sent again for the same event is recognised, not applied twice.
    EXPECT_EQ(game.Move(1, 50, 1).kind, TOutcome::Repeat);
    EXPECT_EQ(game.Last(), 2);

    std::mt19937 rng(7);
    for (int cell; (cell = RandomPut(game, rng)) >= 0;)
        game.Move(game.Record().Position().toMove, cell, game.Last());
    const TOutcome late = game.Move(1, 15, game.Last());
    EXPECT_EQ(late.kind, TOutcome::Refused);
    EXPECT_NE(late.reason.find("over"), std::string::npos) << late.reason;
    EXPECT_EQ(game.OfferTakeBack(1, game.Last()).kind, TOutcome::Refused);
}

TEST(ServerGame, AnInvitationSeatsOneDeviceOnly) {
    TServerGame game = TServerGame::New(Secret1);
    EXPECT_EQ(game.Id(), Id);
    EXPECT_EQ(game.SecretHash(1), secret::Hashed(Secret1));
    EXPECT_EQ(game.Join(std::string(32, 'b'), Secret2).kind, TOutcome::Refused);
    EXPECT_EQ(game.SeatOf(Secret1), 1);
    EXPECT_EQ(game.SeatOf(Secret2), 0);
    ASSERT_EQ(game.Join(Invitation, Secret2).kind, TOutcome::Applied);
    EXPECT_EQ(game.SeatOf(Secret2), 2);
    // The same join again is known; another device with the link is refused.
    EXPECT_EQ(game.Join(Invitation, Secret2).kind, TOutcome::Repeat);
    const TOutcome again = game.Join(Invitation, std::string(32, '3'));
    EXPECT_EQ(again.kind, TOutcome::Refused);
    EXPECT_EQ(again.code, protocol::TRefusal::Secret);
    EXPECT_NE(again.reason.find("taken"), std::string::npos) << again.reason;
    EXPECT_EQ(game.Join(std::string(32, 'b'), Secret2).kind, TOutcome::Refused);
    EXPECT_EQ(game.SeatOf(std::string(32, '3')), 0);
    EXPECT_EQ(game.Last(), 1);
}

TEST(ServerGame, TakeBackIsAskedAndAnswered) {
    TServerGame game = JoinedGame();
    EXPECT_EQ(game.OfferTakeBack(1, 1).kind, TOutcome::Refused); // nothing to take back
    ASSERT_EQ(game.Move(1, 50, 1).kind, TOutcome::Applied);
    ASSERT_EQ(game.Move(2, 47, 2).kind, TOutcome::Applied);
    ASSERT_EQ(game.OfferTakeBack(1, 3).kind, TOutcome::Applied); // back before 50: no moves
    EXPECT_EQ(game.Event(4).moves, 0);
    EXPECT_EQ(game.OfferTakeBack(1, 3).kind, TOutcome::Repeat);
    EXPECT_EQ(game.OfferTakeBack(2, 4).kind, TOutcome::Refused);        // one offer at a time
    EXPECT_EQ(game.AnswerTakeBack(1, true, 4).kind, TOutcome::Refused); // not one's own
    ASSERT_EQ(game.AnswerTakeBack(2, false, 4).kind, TOutcome::Applied);
    EXPECT_EQ(game.Record().Moves().size(), 2u);
    EXPECT_EQ(game.AnswerTakeBack(2, true, 5).kind, TOutcome::Refused); // no offer open

    ASSERT_EQ(game.OfferTakeBack(2, 5).kind, TOutcome::Applied); // back before 47
    ASSERT_EQ(game.AnswerTakeBack(1, true, 6).kind, TOutcome::Applied);
    EXPECT_EQ(game.Record().Moves().size(), 1u);
    EXPECT_EQ(game.Record().Position().toMove, 2);
    ASSERT_EQ(game.Move(2, 64, 7).kind, TOutcome::Applied);

    std::string error;
    const auto again = TServerGame::Restore(Stored(game), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->Record().Moves(), game.Record().Moves());
}

// A game's take-back asks are bounded: three declined in a row, then a put first; and however
// often asks are granted, one is refused while the game could no longer be finished within its
// events, so every game still ends within the limit.
TEST(ServerGame, TakeBackAsksStopWhereTheLimitsAre) {
    TServerGame game = JoinedGame();
    ASSERT_EQ(game.Move(1, 50, 1).kind, TOutcome::Applied);
    for (int i = 0; i < protocol::MaxDeclinedInARow; ++i) {
        ASSERT_EQ(game.OfferTakeBack(1, game.Last()).kind, TOutcome::Applied);
        ASSERT_EQ(game.AnswerTakeBack(2, false, game.Last()).kind, TOutcome::Applied);
    }
    TOutcome out = game.OfferTakeBack(1, game.Last());
    EXPECT_EQ(out.kind, TOutcome::Refused);
    EXPECT_EQ(out.code, protocol::TRefusal::Limit);
    EXPECT_STREQ(out.limit, "takeback_asks");
    // Player 2 has asked nothing; after its put and player 1's, player 1 may ask again.
    ASSERT_EQ(game.Move(2, 47, game.Last()).kind, TOutcome::Applied);
    std::mt19937 rng(3);
    ASSERT_EQ(game.Move(1, RandomPut(game, rng), game.Last()).kind, TOutcome::Applied);
    ASSERT_EQ(game.OfferTakeBack(1, game.Last()).kind, TOutcome::Applied);

    // Asks granted again and again, each after a put: the limit of events stops them.
    ASSERT_EQ(game.AnswerTakeBack(2, true, game.Last()).kind, TOutcome::Applied);
    for (;;) {
        const int mover = game.Record().Position().toMove;
        ASSERT_EQ(game.Move(mover, RandomPut(game, rng), game.Last()).kind, TOutcome::Applied);
        out = game.OfferTakeBack(mover, game.Last());
        if (out.kind == TOutcome::Refused) break;
        ASSERT_EQ(game.AnswerTakeBack(3 - mover, true, game.Last()).kind, TOutcome::Applied);
        ASSERT_LT(game.Last(), protocol::MaxEvents);
    }
    EXPECT_EQ(out.code, protocol::TRefusal::Limit);
    EXPECT_STREQ(out.limit, "events");
    while (!game.Over())
        ASSERT_EQ(
            game.Move(game.Record().Position().toMove, RandomPut(game, rng), game.Last()).kind,
            TOutcome::Applied);
    EXPECT_LE(game.Last(), protocol::MaxEvents);
}
