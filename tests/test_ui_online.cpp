// A game with a friend on another device: the window sends its person's puts and shows only what
// the server's events make, move by move or all at once.
#include <string>
#include <vector>

#include "platform/headless.h"
#include "tests/form_driver.h"
#include "tools/picture_hash.h"

namespace {

using game_events::TEvent;
using game_events::TEventKind;
using game_record::PassCell;
using game_record::TMove;

std::string Picture(TfrmGalMain& f) {
    const std::vector<TColor> pixels = THeadlessHost(MakeFormHost(f)).Client();
    return PictureHash(pixels.data(), ClientWidth, ClientHeight);
}

// A whole game between two people, passes included: each put is one of the legal cells, picked
// by the move's number so that the game wanders over the board.
std::vector<TMove> WholeGame() {
    game_record::TGameRecord r(0, 0, false, 0);
    std::string error;
    while (!r.Position().Over()) {
        const game_record::TPosition& p = r.Position();
        std::vector<int> legal;
        for (int c = FirstPlayable; c <= LastPlayable; ++c)
            if (p.board[c] == CellEmpty && (TThinkThread::CheckPut(c, p.board.data()) & p.toMove))
                legal.push_back(c);
        EXPECT_TRUE(r.Put(legal[(r.Moves().size() * 7) % legal.size()], error)) << error;
    }
    return r.Moves();
}

// A window seated at seat of a new game with a friend, its puts and take-back asks noted, and the
// server's side of the game: each event handed to the window is numbered and taken there too.
struct OnlineWindow {
    explicit OnlineWindow(int seat) {
        d->FOnlinePut = [this](int cell) { sent.push_back(cell); };
        d->FOnlineTakeBack = [this] { ++asked; };
        d->OnlineStart(seat);
        EXPECT_TRUE(Send({.kind = TEventKind::Join, .player = 2}));
        d.Settle();
    }
    bool Send(TEvent e, bool show = true) {
        e.n = server.Last() + 1;
        if (!d->OnlineEvent(e, show)) return false;
        std::string error;
        EXPECT_TRUE(server.Take(e, error)) << error;
        return true;
    }
    bool Move(TMove m, bool show = true) {
        return Send({.kind = m.cell == PassCell ? TEventKind::Pass : TEventKind::Put,
                     .player = m.player,
                     .cell = m.cell},
                    show);
    }
    // player asks to take back its latest put, and the other accepts.
    void TakeBack(int player) {
        const int64_t keep = server.TakeBackPoint(player);
        ASSERT_TRUE(Send({.kind = TEventKind::TakeBackOffer, .player = player, .moves = keep}));
        ASSERT_TRUE(Send({.kind = TEventKind::TakeBack, .player = 3 - player, .moves = keep}));
    }
    // Each event shown to its end before the next comes.
    void OneByOne(const std::vector<TMove>& moves, size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            ASSERT_TRUE(Move(moves[i])) << "move " << i;
            d.Settle();
        }
    }
    FormDriver d{7};
    game_events::TEventGame server;
    std::vector<int> sent;
    int asked = 0;
};

TEST(Online, APutIsOnlySentAndShowsWhenItsEventComes) {
    OnlineWindow w(1);
    ASSERT_EQ(w.d->FState, gsWaitPut);
    const Board before = *w.d->FBoard;
    const int cell = FirstLegal(before, 1);
    w.d.ClickCell(cell);
    EXPECT_EQ(w.sent, std::vector<int>{cell});
    EXPECT_EQ(*w.d->FBoard, before);
    EXPECT_EQ(w.d->FState, gsOnlineWait);
    w.d.ClickCell(FirstLegal(before, 1)); // no second put while the first is on its way
    EXPECT_EQ(w.sent.size(), 1u);

    EXPECT_FALSE(w.Move({2, cell})); // not player 2's turn: nothing changes
    ASSERT_TRUE(w.Move({1, cell}));
    w.d.Settle();
    EXPECT_EQ(w.d.Cell(cell), 1);
    EXPECT_EQ(w.d->FTurn, 2);
    EXPECT_EQ(w.d->FState, gsOnlineWait);
    EXPECT_EQ(w.d->FRecord.Moves(), (std::vector<TMove>{{1, cell}}));
    ExpectInvariants(w.d.f(), "after the event");
}

TEST(Online, TheFriendsTurnTakesNoPutAndNoSearch) {
    OnlineWindow w(2);
    EXPECT_EQ(w.d->FState, gsOnlineWait);
    const Board before = *w.d->FBoard;
    w.d.ClickCell(FirstLegal(before, 1));
    for (int i = 0; i < 5; ++i) w.d.Tick();
    EXPECT_TRUE(w.sent.empty());
    EXPECT_EQ(*w.d->FBoard, before);
    EXPECT_EQ(w.d->FSearch, nullptr);
    EXPECT_FALSE(w.d.Key(TKey::vkU)); // nothing of this seat's to take back
    EXPECT_EQ(w.asked, 0);
    // The strip changes nothing of an online game.
    w.d.Strip();
    EXPECT_EQ(w.d->FLevelBonus, 0);
}

TEST(Online, TakeBackIsAskedAndItsEventReentersThePosition) {
    const std::vector<TMove> game = WholeGame();
    OnlineWindow w(1);
    w.OneByOne(game, 0, 6);
    const int64_t keep = w.server.TakeBackPoint(1);
    OnlineWindow shorter(1);
    shorter.OneByOne(game, 0, static_cast<size_t>(keep));
    EXPECT_FALSE(w.d.Key(TKey::vkU, true)); // nothing is put again in an online game
    ASSERT_TRUE(w.d.Key(TKey::vkU));
    EXPECT_EQ(w.asked, 1);
    EXPECT_EQ(w.d->FRecord.Moves().size(), 6u); // asked, not done

    // An ask that names other moves than the asker's latest put is not the server's.
    EXPECT_FALSE(w.Send({.kind = TEventKind::TakeBackOffer, .player = 1, .moves = keep + 1}));
    w.TakeBack(1);
    w.d.Settle();
    EXPECT_EQ(w.d->FRecord.Moves(), shorter.d->FRecord.Moves());
    EXPECT_EQ(Picture(w.d.f()), Picture(shorter.d.f()));
    EXPECT_EQ(w.d->FState, gsWaitPut);
    // The game goes on from there.
    w.OneByOne(game, static_cast<size_t>(keep), static_cast<size_t>(keep) + 1);
    EXPECT_EQ(w.d.Cell(game[static_cast<size_t>(keep)].cell), 1);
}

TEST(Online, EventsAtOnceShowTheSameGameAsMoveByMove) {
    const std::vector<TMove> game = WholeGame();
    size_t passes = 0;
    for (const TMove& m : game) passes += m.cell == PassCell;
    const size_t ends[] = {1, 2, game.size() / 2, game.size() - 1, game.size()};
    for (int seat = 1; seat <= 2; ++seat)
        for (size_t end : ends) {
            SCOPED_TRACE("seat " + std::to_string(seat) + ", moves " + std::to_string(end));
            OnlineWindow played(seat), atOnce(seat);
            played.OneByOne(game, 0, end);
            for (size_t i = 0; i < end; ++i) ASSERT_TRUE(atOnce.Move(game[i], false));
            atOnce.d.Settle();
            EXPECT_EQ(atOnce.d->FRecord.Moves().size(), 0u); // a catch-up shows nothing yet
            atOnce.d->OnlineShowAll();
            atOnce.d.Settle();
            EXPECT_EQ(atOnce.d->FState, played.d->FState);
            EXPECT_EQ(Picture(atOnce.d.f()), Picture(played.d.f()));
            ExpectInvariants(atOnce.d.f(), "at once");
        }
    RecordProperty("passes", static_cast<int>(passes));
}

TEST(Online, EventsDuringAQuestionWaitForItsAnswer) {
    const std::vector<TMove> game = WholeGame();
    for (bool takeBack : {false, true}) {
        SCOPED_TRACE(takeBack ? "a take-back" : "the friend's put");
        OnlineWindow w(1);
        w.OneByOne(game, 0, 3);
        ASSERT_EQ(w.d->FState, gsOnlineWait);
        w.d.ClickItem(piFirstButton); // NEW GAME ?
        ASSERT_EQ(w.d->FState, gsAskNewGame);
        if (takeBack)
            w.TakeBack(1);
        else
            ASSERT_TRUE(w.Move(game[3]));
        w.d.Settle();
        EXPECT_EQ(w.d->FState, gsAskNewGame); // still asked, nothing moved under the question
        ExpectInvariants(w.d.f(), "asked");
        w.d.ClickItem(piSecondButton); // NO
        w.d.Settle();
        OnlineWindow want(1);
        want.OneByOne(game, 0, w.server.Record().Moves().size());
        EXPECT_EQ(w.d->FRecord.Moves(), want.d->FRecord.Moves());
        EXPECT_EQ(w.d->FState, want.d->FState);
        want.d.Move(ItemPixel(piSecondButton).x, ItemPixel(piSecondButton).y); // its hover mark
        EXPECT_EQ(Picture(w.d.f()), Picture(want.d.f()));
    }
}

TEST(Online, AnEndChangesNothingOnTheScreenAndNothingFollowsIt) {
    const std::vector<TMove> game = WholeGame();
    for (bool abandoned : {false, true}) {
        SCOPED_TRACE(abandoned ? "abandoned" : "the board's end");
        OnlineWindow w(1);
        const size_t played = abandoned ? 5 : game.size();
        w.OneByOne(game, 0, played);
        const int state = w.d->FState;
        const std::string picture = Picture(w.d.f());
        ASSERT_TRUE(w.Send(abandoned ? w.server.AbandonedEnd() : w.server.BoardEnd()));
        w.d.Settle();
        EXPECT_EQ(w.d->FState, state);
        EXPECT_EQ(Picture(w.d.f()), picture);
        if (abandoned) {
            EXPECT_FALSE(w.Move(game[played]));
        }
    }
}

TEST(Online, NewGameLeavesTheOnlineGame) {
    OnlineWindow w(1);
    int left = 0;
    w.d->FOnlineLeft = [&] { ++left; };
    w.d.ClickItem(piFirstButton); // NEW GAME ?
    w.d.ClickItem(piFirstButton); // YES
    EXPECT_EQ(left, 1);
    EXPECT_EQ(w.d->OnlineSeat(), 0);
    EXPECT_EQ(w.d->FState, gsSelect);
    EXPECT_FALSE(w.Move({1, FirstLegal(*w.d->FBoard, 1)}));
}

TEST(Online, AGameTheServerLostGoesOnHereBetweenTwoPersons) {
    const std::vector<TMove> game = WholeGame();
    OnlineWindow w(1);
    w.OneByOne(game, 0, 3); // the friend to move
    ASSERT_EQ(w.d->FState, gsOnlineWait);
    int left = 0;
    w.d->FOnlineLeft = [&] { ++left; };
    w.d->LeaveOnline();
    w.d.Settle();
    EXPECT_EQ(left, 1);
    EXPECT_EQ(w.d->FState, gsWaitPut);
    EXPECT_EQ(w.d->FRecord.Moves().size(), 3u);
    const int cell = FirstLegal(*w.d->FBoard, w.d->FTurn);
    w.d.ClickCell(cell);
    w.d.Settle();
    EXPECT_TRUE(w.sent.empty());
    EXPECT_NE(w.d.Cell(cell), 0);
    ExpectInvariants(w.d.f(), "after leaving");
}

} // namespace
