// The window's game controller: state transitions, confirmations, move display, game end,
// searches on the worker and without one, start-up and close.
#include <atomic>
#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "engine/search_pool.h"
#include "tests/form_driver.h"

namespace {

// ---- Positions built with the rule operations ----

int Count(const Board& b, int v) {
    int n = 0;
    for (int x : b) n += x == v;
    return n;
}

struct FoundPosition {
    Board board;
    int move; // player 1's move that leads to the wanted situation
};

// Searches random positions for one where player 1 has a move after which `want` holds.
FoundPosition FindPosition(int panels, int empties,
                           const std::function<bool(const Board& after)>& want) {
    std::mt19937 rng(7);
    for (int attempt = 0; attempt < 2000000; ++attempt) {
        Board b = InitialBoard;
        std::vector<int> cells;
        for (int c = FirstPlayable; c <= LastPlayable; ++c)
            if (b[c] != CellBorder) cells.push_back(c);
        std::shuffle(cells.begin(), cells.end(), rng);
        if (empties >= 0) { // a nearly full board: `empties` empty cells, the rest random panels
            for (size_t i = 0; i < cells.size(); ++i)
                b[cells[i]] = static_cast<int>(i) < empties ? 0 : 1 + static_cast<int>(rng() % 2);
        } else { // a sparse board of `panels` random panels
            for (size_t i = 0; i < cells.size(); ++i)
                b[cells[i]] = static_cast<int>(i) < panels ? 1 + static_cast<int>(rng() % 2) : 0;
        }
        for (int m = FirstPlayable; m <= LastPlayable; ++m) {
            if (b[m] != CellEmpty || !(TThinkThread::CheckPut(m, b.data()) & 1)) continue;
            Board after = b;
            TThinkThread::PutPanel(m, 1, after.data());
            if (want(after)) return {b, m};
        }
    }
    ADD_FAILURE() << "no position found";
    return {InitialBoard, -1};
}

// ---- Reaching each state ----

using Reach = std::function<void(FormDriver&)>;

constexpr int kLV0 = 1, kLV1 = 2, kLV5 = 6;

void InSelect(FormDriver&) {}
void InAnnounceMan(FormDriver& d) {
    d.Start(0, 0);
}
void InAnnounceCom(FormDriver& d) {
    d.Start(kLV5, 0);
}
void InWaitPut(FormDriver& d) {
    d.Start(0, 0);
    d.Tick();
}
void InStartThink(FormDriver& d) {
    d.HoldSearches(); // a search that lasts until the test lets it go on
    d.Strip();
    d.Start(kLV5, 0);
    d.Tick();
}
void InThinking(FormDriver& d) {
    InStartThink(d);
    d.Tick();
}
void InTurnOver(FormDriver& d) {
    InWaitPut(d);
    d.ClickCell(FirstLegal(*d->FBoard, 1));
}
void InAfterMove(FormDriver& d) {
    InTurnOver(d);
    while (d->FState == gsTurnOver) d.Tick();
}
// Player 1 wins by taking player 2's last panels, with empty cells left.
void InGameOver(FormDriver& d) {
    static const FoundPosition p = FindPosition(4, -1, [](const Board& a) {
        return Count(a, 2) == 0 && TThinkThread::CheckBoard(a.data()) == 0;
    });
    InWaitPut(d);
    d.SetPosition(p.board);
    d.ClickCell(p.move);
    d.Settle();
}
Reach Then(Reach first, int item) {
    return [first, item](FormDriver& d) {
        first(d);
        d.ClickItem(item);
    };
}

enum class Ev { Btn10, Btn11, Right, Middle, BoardLeft, Tick, PutLegal, PutIllegal };

void Fire(FormDriver& d, Ev ev) {
    switch (ev) {
    case Ev::Btn10:
        d.ClickItem(piFirstButton);
        break;
    case Ev::Btn11:
        d.ClickItem(piSecondButton);
        break;
    case Ev::Right:
        d.Press(300, 300, TMouseButton::mbRight);
        break;
    case Ev::Middle:
        d.Click(ItemPixel(piFirstButton), TMouseButton::mbMiddle);
        break;
    case Ev::BoardLeft:
        d.ClickCell(FirstPlayable);
        break; // an empty corner cell
    case Ev::Tick:
        ASSERT_TRUE(d.Tick());
        break;
    case Ev::PutLegal:
        d.ClickCell(FirstLegal(*d->FBoard, d->FTurn));
        break;
    case Ev::PutIllegal:
        d.ClickCell(FirstPlayable);
        break;
    }
}

constexpr int kAny = -100;

struct TransitionRow {
    const char* name;
    Reach reach;
    int from;
    Ev event;
    int to;              // gsClose: the window has closed
    int returnTo = kAny; // FReturnState afterwards, when it matters
};

} // namespace

TEST(Controller, TransitionTable) {
    const int first = piFirstButton, second = piSecondButton;
    const Reach ask10From0 = Then(InWaitPut, first), ask11From0 = Then(InWaitPut, second);
    const Reach ask10From115 = Then(InThinking, first);
    const Reach askOver = Then(InGameOver, second), askSelect = Then(InSelect, second);
    const TransitionRow rows[] = {
        {"select start", InSelect, gsSelect, Ev::Btn10, gsAnnounce},
        {"select end?", InSelect, gsSelect, Ev::Btn11, gsAskEndSelect},
        {"select right", InSelect, gsSelect, Ev::Right, gsAskEndSelect},
        {"select board", InSelect, gsSelect, Ev::BoardLeft, gsAnnounce},
        {"select middle", InSelect, gsSelect, Ev::Middle, gsSelect},
        {"announce man", InAnnounceMan, gsAnnounce, Ev::Tick, gsWaitPut},
        {"announce com", InAnnounceCom, gsAnnounce, Ev::Tick, gsStartThink},
        {"announce com board", InAnnounceCom, gsAnnounce, Ev::BoardLeft, gsAnnounce},
        {"start think", InStartThink, gsStartThink, Ev::Tick, gsThinking},
        {"thinking", InThinking, gsThinking, Ev::Tick, gsThinking},
        {"thinking board", InThinking, gsThinking, Ev::BoardLeft, gsThinking},
        {"turn over", InTurnOver, gsTurnOver, Ev::Tick, gsTurnOver},
        {"after move", InAfterMove, gsAfterMove, Ev::Tick, gsWaitPut},
        {"put legal", InWaitPut, gsWaitPut, Ev::PutLegal, gsTurnOver},
        {"put illegal", InWaitPut, gsWaitPut, Ev::PutIllegal, gsWaitPut},
        {"put middle", InWaitPut, gsWaitPut, Ev::Middle, gsWaitPut},
        {"new? from 0", InWaitPut, gsWaitPut, Ev::Btn10, gsAskNewGame, gsAnnounce},
        {"new? from 110", InStartThink, gsStartThink, Ev::Btn10, gsAskNewGame, gsStartThink},
        {"new? from 115", InThinking, gsThinking, Ev::Btn10, gsAskNewGame, gsThinking},
        {"new? from 121", InTurnOver, gsTurnOver, Ev::Btn10, gsAskNewGame, gsTurnOver},
        {"new? from 128", InAfterMove, gsAfterMove, Ev::Btn10, gsAskNewGame, gsAfterMove},
        {"new? from 129", InAnnounceMan, gsAnnounce, Ev::Btn10, gsAskNewGame, gsAnnounce},
        {"end? from 0", InWaitPut, gsWaitPut, Ev::Btn11, gsAskEnd, gsAnnounce},
        {"end? from 110", InStartThink, gsStartThink, Ev::Right, gsAskEnd, gsStartThink},
        {"end? from 115", InThinking, gsThinking, Ev::Btn11, gsAskEnd, gsThinking},
        {"end? from 121", InTurnOver, gsTurnOver, Ev::Right, gsAskEnd, gsTurnOver},
        {"end? from 128", InAfterMove, gsAfterMove, Ev::Btn11, gsAskEnd, gsAfterMove},
        {"end? from 129", InAnnounceMan, gsAnnounce, Ev::Right, gsAskEnd, gsAnnounce},
        {"new? yes", ask10From0, gsAskNewGame, Ev::Btn10, gsSelect},
        {"new? no", ask10From0, gsAskNewGame, Ev::Btn11, gsAnnounce},
        {"new? right", ask10From0, gsAskNewGame, Ev::Right, gsAnnounce},
        {"new? board", ask10From0, gsAskNewGame, Ev::BoardLeft, gsAnnounce},
        {"new? no in search", ask10From115, gsAskNewGame, Ev::Btn11, gsThinking},
        {"new? no back to 110", Then(InStartThink, first), gsAskNewGame, Ev::Btn11, gsStartThink},
        {"new? no back to 121", Then(InTurnOver, first), gsAskNewGame, Ev::Btn11, gsTurnOver},
        {"new? yes in 121", Then(InTurnOver, first), gsAskNewGame, Ev::Btn10, gsSelect},
        {"end? no back to 115", Then(InThinking, second), gsAskEnd, Ev::Btn11, gsThinking},
        {"end? no back to 128", Then(InAfterMove, second), gsAskEnd, Ev::Right, gsAfterMove},
        {"end? yes in 128", Then(InAfterMove, second), gsAskEnd, Ev::Btn10, gsClose},
        {"end? yes in 115", Then(InThinking, second), gsAskEnd, Ev::Btn10, gsClose},
        {"end? yes", ask11From0, gsAskEnd, Ev::Btn10, gsClose},
        {"end? no", ask11From0, gsAskEnd, Ev::Btn11, gsAnnounce},
        {"end? board", ask11From0, gsAskEnd, Ev::BoardLeft, gsAnnounce},
        {"over new", InGameOver, gsGameOver, Ev::Btn10, gsSelect},
        {"over end?", InGameOver, gsGameOver, Ev::Btn11, gsAskEndOver},
        {"over board", InGameOver, gsGameOver, Ev::BoardLeft, gsGameOver},
        {"over end? yes", askOver, gsAskEndOver, Ev::Btn10, gsClose},
        {"over end? no", askOver, gsAskEndOver, Ev::Btn11, gsSelect},
        {"over end? board", askOver, gsAskEndOver, Ev::BoardLeft, gsAskEndOver},
        {"select end? yes", askSelect, gsAskEndSelect, Ev::Btn10, gsClose},
        {"select end? no", askSelect, gsAskEndSelect, Ev::Btn11, gsSelect},
        {"select end? board", askSelect, gsAskEndSelect, Ev::BoardLeft, gsAskEndSelect},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FormDriver d;
        row.reach(d);
        ASSERT_EQ(d->FState, row.from);
        ExpectInvariants(d.f(), "before");
        Fire(d, row.event);
        if (row.to == gsClose) {
            EXPECT_TRUE(d->Closed());
            EXPECT_EQ(d->FBoard, nullptr);
        } else {
            EXPECT_EQ(d->FState, row.to);
        }
        if (row.returnTo != kAny) {
            EXPECT_EQ(d->FReturnState, row.returnTo);
        }
        ExpectInvariants(d.f(), "after");
    }
}

// Start-up waits in the player selection with a person against LV0: GAME lets the person put,
// and the computer answers at once, without a search worth the name.
TEST(Controller, StartUpPlaysAPersonAgainstLv0) {
    FormDriver d;
    EXPECT_EQ(d->FState, gsSelect);
    EXPECT_FALSE(d->tmrTimer.Enabled);
    EXPECT_EQ(Screen.Cursor, crDefault);
    ExpectInvariants(d.f(), "start-up");
    d.ClickItem(piFirstButton);
    d.Settle();
    ASSERT_EQ(d->FState, gsWaitPut);
    EXPECT_EQ(d->FTurn, 1);
    d.ClickCell(FirstLegal(*d->FBoard, 1));
    for (int i = 0; i < 100 && d->FState != gsStartThink; ++i) d.Tick();
    ASSERT_EQ(d->FState, gsStartThink);
    EXPECT_EQ(d->FTurn, 2);
    {
        NoThreadsScope noThreads; // the search runs in the tick, on the rules object
        d.Tick();
    }
    EXPECT_EQ(d->FRules->FDepth, 0);
    d.Settle();
    EXPECT_EQ(d->FState, gsWaitPut);
    EXPECT_EQ(d->FTurn, 1);
    EXPECT_EQ(d->FCount[0], 66); // both have put
}

TEST(Controller, FailedStartClosesAndIgnoresEverything) {
    TfrmGalMain f;
    {
        NoThreadsScope noThreads;
        f.FormCreate();
    }
    EXPECT_TRUE(f.Closed());
    EXPECT_EQ(f.FRules, nullptr);
    EXPECT_EQ(f.FBoard, nullptr);
    // No handler may touch the freed game.
    f.tmrTimer.OnTimer();
    f.imgScreenMouseMove(300, 300);
    f.imgScreenMouseDown(TMouseButton::mbLeft, 632, 412);
    f.Shape1.OnMouseDown();
    EXPECT_FALSE(f.tmrTimer.Enabled);
}

TEST(Controller, NothingRunsAfterClose) {
    FormDriver d;
    InTurnOver(d); // timer on
    ASSERT_TRUE(d->tmrTimer.Enabled);
    d->Close();
    EXPECT_TRUE(d->Closed());
    EXPECT_FALSE(d->tmrTimer.Enabled);
    d->tmrTimer.OnTimer();
    d.Click({300, 300});
    d.Strip();
    d->Close(); // a second close is harmless
    EXPECT_FALSE(d->tmrTimer.Enabled);
    EXPECT_EQ(d->FBoard, nullptr);
}

// ---- Confirmations ----

TEST(Controller, NoToAQuestionInPersonsTurnAnnouncesAgain) {
    for (int item : {piFirstButton, piSecondButton}) {
        FormDriver d;
        InWaitPut(d);
        d.ClickItem(item);
        EXPECT_FALSE(d->tmrTimer.Enabled);
        EXPECT_EQ(d->FMsgLine, 0);
        d.Click(CellPixel(FirstPlayable)); // the board answers NO
        EXPECT_EQ(d->FState, gsAnnounce);
        EXPECT_EQ(d->FReturnState, gsAnnounce);
        EXPECT_TRUE(d->tmrTimer.Enabled);
        d.Tick();
        EXPECT_EQ(d->FState, gsWaitPut);
        EXPECT_EQ(d->FMsgLine, 1); // turn line on 0, "Put Panel !" on 1
        EXPECT_EQ(d->imgScreen.Pixel(540, 272), ColPlayer1);
    }
}

TEST(Controller, NoDuringSearchRewritesTurnLineAndKeepsTheWorker) {
    for (int item : {piFirstButton, piSecondButton}) {
        FormDriver d;
        InThinking(d);
        TSearchWorker* worker = d->FSearch.get();
        ASSERT_NE(worker, nullptr);
        EXPECT_EQ(Screen.Cursor, crHourGlass);
        d.ClickItem(item);
        EXPECT_EQ(Screen.Cursor, crDefault);
        EXPECT_EQ(d->FSearch.get(), worker); // goes on unpolled
        EXPECT_FALSE(d->tmrTimer.Enabled);
        d.ClickItem(piSecondButton); // NO
        EXPECT_EQ(d->FState, gsThinking);
        EXPECT_EQ(d->FSearch.get(), worker);
        EXPECT_EQ(d->FMsgLine, 2);
        EXPECT_EQ(d->imgScreen.Pixel(540, 272), ColPlayer1); // turn line swatch
        // As it was when asked: the pointer rested on the buttons since the start, so the
        // search began under the hourglass.
        EXPECT_EQ(Screen.Cursor, crHourGlass);
        EXPECT_TRUE(d->tmrTimer.Enabled);
        ExpectInvariants(d.f(), "after NO");
    }
}

TEST(Controller, YesToNewGameDuringSearchStopsTheWorkerFirst) {
    FormDriver d;
    InThinking(d);
    d.ClickItem(piFirstButton);
    d.ClickItem(piFirstButton); // YES
    EXPECT_EQ(d->FState, gsSelect);
    EXPECT_EQ(d->FSearch, nullptr);
    EXPECT_EQ(*d->FBoard, InitialBoard);
    EXPECT_EQ(d->FTurn, 1);
    EXPECT_FALSE(d->tmrTimer.Enabled);
    ExpectInvariants(d.f(), "new game");
}

// NEW GAME during an LV5+ search, then an LV5+ game at once: the stopped search still holds the
// node table and the helpers when the next one starts. The next one waits for them on its own
// thread and then searches with both, as fast as any first move.
TEST(Controller, SearchAfterAStoppedOneGetsTheTableAndTheHelpers) {
    search_pool::SetDefaultThreads(2);
    // Keeps the stopped search's own thread in its progress report until the next search is
    // under way, so that the stopped one lets go only then.
    struct Gate {
        std::atomic<bool> holding{false}, open{false};
        static void Hold(void* self, int32_t) {
            auto* g = static_cast<Gate*>(self);
            g->holding = true;
            while (!g->open.load()) std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    } gate;
    FormDriver d;
    struct Restore {
        Gate& gate;
        ~Restore() {
            gate.open = true; // before the window goes, which waits for the stopped search
            search_pool::SetDefaultThreads(0);
        }
    } restore{gate};
    int made = 0;
    d->FNewSearch = [&] {
        auto search = TThread::TryCreate<TThinkThread>(true);
        if (search && made++ == 0) search->SetProgressHook(&Gate::Hold, &gate);
        return std::unique_ptr<TSearchWorker>(std::move(search));
    };
    const auto startThinking = [&] {
        d.Start(kLV5, kLV5);
        d.Tick(); // 129 -> 110
        d.Tick(); // 110 -> 115
        EXPECT_EQ(d->FState, gsThinking);
        return d->FSearch.get();
    };
    d.Strip();
    TSearchWorker* stopped = startThinking();
    ASSERT_NE(stopped, nullptr);
    ASSERT_EQ(stopped->FDepth, 10);
    ASSERT_TRUE(Until([&] { return gate.holding.load(); }));
    d.ClickItem(piFirstButton);
    d.ClickItem(piFirstButton); // YES
    ASSERT_EQ(d->FState, gsSelect);

    TSearchWorker* next = startThinking();
    ASSERT_NE(next, nullptr);
    ASSERT_EQ(next->FDepth, 10);
    EXPECT_FALSE(stopped->Finished());
    ASSERT_TRUE(Until([&] { return next->Waiting() || next->FProgress.load() != 0; }));
    EXPECT_TRUE(next->Waiting()) << "the next search went without";
    gate.open = true;
    ASSERT_TRUE(Until([&] { return next->FProgress.load() != 0; }));
    d.ClickItem(piFirstButton);
    d.ClickItem(piFirstButton); // YES again, to read what the next search had
    ASSERT_TRUE(Until([&] { return next->Finished(); }));
    EXPECT_TRUE(next->TableUsed());
    EXPECT_EQ(next->ThreadsUsed(), 2);
    ExpectInvariants(d.f(), "after the second stop");
}

TEST(Controller, ClosingDuringSearchStopsTheWorker) {
    struct Case {
        const char* name;
        std::function<void(FormDriver&)> close;
    } cases[] = {
        {"yes to end",
         [](FormDriver& d) { d.ClickItem(piSecondButton), d.ClickItem(piFirstButton); }},
        {"close box", [](FormDriver& d) { d->Close(); }},
        {"close box during question",
         [](FormDriver& d) { d.ClickItem(piFirstButton), d->Close(); }},
        {"destroyed", [](FormDriver& d) { d.form.reset(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FormDriver d;
        InThinking(d);
        ASSERT_NE(d->FSearch, nullptr);
        c.close(d);
        if (d.form) {
            EXPECT_TRUE(d->Closed());
            EXPECT_EQ(d->FSearch, nullptr);
            EXPECT_EQ(d->FRules, nullptr);
            EXPECT_EQ(d->FBoard, nullptr);
            EXPECT_FALSE(d->tmrTimer.Enabled);
        }
    }
}

// A NO that lands back on the search start leaves no line for the progress: it goes to line 0,
// never above the message area.
TEST(Controller, ProgressAfterNoToTheSearchStartStaysInTheMessageArea) {
    FormDriver d;
    InStartThink(d);
    d.ClickItem(piFirstButton);
    d.ClickItem(piSecondButton);
    ASSERT_EQ(d->FState, gsStartThink);
    EXPECT_EQ(d->FMsgLine, 0);
    const TColor above = d->imgScreen.Pixel(600, 250);
    d.Tick();
    ASSERT_EQ(d->FState, gsThinking);
    // Held at its second report, the search shows progress the window has not seen.
    d.gate.Allow();
    ASSERT_TRUE(Until([&] { return d.gate.Reported() == 2; }));
    d.Tick();
    ASSERT_EQ(d->FThinkTicks, 1) << "the search's progress was not shown";
    EXPECT_EQ(d->imgScreen.Pixel(600, 250), above);
    int text = 0;
    for (int y = 272; y < 296; ++y)
        for (int x = 540; x < 732; ++x) text += d->imgScreen.Pixel(x, y) == ColText;
    EXPECT_GT(text, 0) << "no progress line on line 0";
}

TEST(Controller, ProgressLineCountsTicksFromZero) {
    FormDriver d;
    InThinking(d);
    EXPECT_EQ(d->FMsgLine, 2);
    EXPECT_EQ(d->FThinkTicks, 0);
    // Each tick that finds new progress counts one, from 0; one that finds none counts nothing.
    for (int report = 2; report <= 4; ++report) {
        d.gate.Allow();
        ASSERT_TRUE(Until([&] { return d.gate.Reported() == report; }));
        d.Tick();
        EXPECT_EQ(d->FThinkTicks, report - 1);
        d.Tick();
        EXPECT_EQ(d->FThinkTicks, report - 1);
    }
    EXPECT_EQ(d->FState, gsThinking);
    EXPECT_EQ(d->FMsgLine, 2); // the progress rewrites line 1 in place
}

// ---- Moves, passes and the end of a game ----

TEST(Controller, PersonsMoveShowsOnePanelPerTick) {
    FormDriver d;
    InWaitPut(d);
    const int move = FirstLegal(*d->FBoard, 1);
    d.ClickCell(move);
    ASSERT_EQ(d->FState, gsTurnOver);
    EXPECT_EQ(Screen.Cursor, crAppStart);
    EXPECT_EQ(d->FMsgLine, 0);
    EXPECT_EQ(d.Cell(move), 1);
    EXPECT_EQ(d->FCount[0], 67);
    EXPECT_EQ(d->FCount[1], 3); // the flip is not counted yet
    const int flips = FlipList[0];
    for (int i = 0; i < flips; ++i) {
        EXPECT_EQ(d->FState, gsTurnOver);
        d.Tick();
    }
    EXPECT_EQ(d->FCount[1], 3 + flips);
    EXPECT_EQ(d->FCount[2], 2 - flips);
    EXPECT_EQ(d->FState, gsTurnOver);
    d.Tick();
    EXPECT_EQ(d->FState, gsAfterMove);
    EXPECT_EQ(Screen.Cursor, crDefault);
    d.Tick();
    EXPECT_EQ(d->FState, gsWaitPut);
    EXPECT_EQ(d->FTurn, 2);
    EXPECT_EQ(d->imgScreen.Pixel(540, 272), ColPlayer2);
}

TEST(Controller, IllegalPutSaysSoAndChangesNothing) {
    FormDriver d;
    InWaitPut(d);
    d.ClickCell(FirstPlayable);
    EXPECT_EQ(d->FState, gsWaitPut);
    EXPECT_EQ(*d->FBoard, InitialBoard);
    EXPECT_EQ(d->FMsgLine, 1);
    EXPECT_FALSE(d->tmrTimer.Enabled);
}

TEST(Controller, OpponentWithoutAMovePasses) {
    const FoundPosition p = FindPosition(5, -1, [](const Board& a) {
        int mask = TThinkThread::CheckBoard(a.data());
        return mask == 1 && Count(a, 0) > 0;
    });
    FormDriver d;
    InWaitPut(d);
    d.SetPosition(p.board);
    d.ClickCell(p.move);
    d.Settle();
    EXPECT_EQ(d->FState, gsWaitPut);
    EXPECT_EQ(d->FTurn, 1); // the same player again
    EXPECT_EQ(d->FMsgLine, 2);
    EXPECT_EQ(d->imgScreen.Pixel(540, 272), ColPlayer2); // "@2Dont' put !"
    EXPECT_EQ(d->imgScreen.Pixel(540, 304), ColPlayer1); // "@1TURN !"
    ExpectInvariants(d.f(), "after pass");
}

// Counts the player-colour pixels of a message line's swatch square.
int SwatchPixels(TfrmGalMain& f, int line, TColor colour) {
    int n = 0;
    for (int y = 272 + 32 * line; y < 296 + 32 * line; ++y)
        for (int x = 540; x < 564; ++x) n += f.imgScreen.Pixel(x, y) == colour;
    return n;
}

TEST(Controller, GameEnds) {
    struct Case {
        const char* name;
        int panels, empties;
        std::function<bool(const Board&)> want;
        int winner; // 0 drawn
    } cases[] = {
        {"winner, moves left to nobody", 4, -1,
         [](const Board& a) { return Count(a, 2) == 0 && TThinkThread::CheckBoard(a.data()) == 0; },
         1},
        {"drawn", 5, -1,
         [](const Board& a) {
             return Count(a, 1) == Count(a, 2) && TThinkThread::CheckBoard(a.data()) == 0;
         },
         0},
        {"full board", 0, 1, [](const Board& a) { return Count(a, 1) > Count(a, 2); }, 1},
        {"full board, player 2 ahead", 0, 1,
         [](const Board& a) { return Count(a, 2) > Count(a, 1); }, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FoundPosition p = FindPosition(c.panels, c.empties, c.want);
        FormDriver d;
        InWaitPut(d);
        d.SetPosition(p.board);
        d.ClickCell(p.move);
        d.Settle();
        EXPECT_EQ(d->FState, gsGameOver);
        EXPECT_TRUE(d->tmrTimer.Enabled); // empty ticks until the next request
        const int area = 24 * 24;
        EXPECT_EQ(SwatchPixels(d.f(), 1, ColPlayer1), c.winner == 1 ? area : 0);
        EXPECT_EQ(SwatchPixels(d.f(), 1, ColPlayer2), c.winner == 2 ? area : 0);
        d.Tick();
        EXPECT_EQ(d->FState, gsGameOver);
        ExpectInvariants(d.f(), "game over");
        d.ClickItem(piFirstButton); // straight to a new game
        EXPECT_EQ(d->FState, gsSelect);
        EXPECT_EQ(*d->FBoard, InitialBoard);
    }
}

// ---- The computer's search ----

TEST(Controller, SearchDepthFollowsLevelAndBonus) {
    struct Case {
        int type;
        bool bonus;
        bool worker; // through a real worker, or through the fallback on the rules object
        int depth;
    } cases[] = {
        {kLV0, false, false, 0}, {kLV0, true, false, 0}, {kLV1, false, false, 1},
        {kLV5, true, true, 10},  {5, true, true, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " bonus " << c.bonus);
        FormDriver d;
        if (c.bonus) d.Strip();
        EXPECT_EQ(d->FLevelBonus, c.bonus ? 5 : 0);
        d.Start(c.type, 0);
        d.Tick(); // 129 -> 110
        if (c.worker) {
            d.Tick();
            ASSERT_NE(d->FSearch, nullptr);
            EXPECT_EQ(d->FSearch->FDepth, c.depth);
            EXPECT_EQ(d->FSearch->FSide, 1);
            // Its own copy: the window may reset its board while a stopped search winds down.
            EXPECT_NE(d->FSearch->FBoard, d->FBoard->data());
            EXPECT_TRUE(std::equal(d->FBoard->begin(), d->FBoard->end(), d->FSearch->FBoard));
        } else {
            NoThreadsScope noThreads;
            d.Tick();
            EXPECT_EQ(d->FRules->FDepth, c.depth);
            EXPECT_EQ(d->FState, gsTurnOver);
        }
    }
}

TEST(Controller, WithoutThreadsTheSearchRunsInTheTick) {
    FormDriver d;
    d.Start(kLV1, kLV0);
    NoThreadsScope noThreads;
    d.Tick(); // 129 -> 110
    for (int move = 0; move < 6; ++move) {
        ASSERT_EQ(d->FState, gsStartThink);
        const int turn = d->FTurn;
        d.Tick(); // the whole search, and the move applied
        EXPECT_EQ(d->FState, gsTurnOver);
        EXPECT_EQ(d->FSearch, nullptr);
        EXPECT_EQ(d.Cell(FlipList[1]), turn);
        while (d->FState == gsTurnOver) d.Tick();
        d.Tick(); // 128 -> 129 -> 110
        ExpectInvariants(d.f(), "fallback move");
        if (d->FState != gsStartThink) break;
    }
}

TEST(Controller, ComputerGamesPlayToTheEnd) {
    FormDriver d(99);
    d.Start(kLV0, kLV1);
    int ticks = 0;
    while (d->FState != gsGameOver && ticks++ < 100000) {
        d.Settle(1);
        ExpectInvariants(d.f(), "computer game");
        EXPECT_TRUE(d->FState > 100 || d->FState == gsGameOver) << d->FState;
    }
    EXPECT_EQ(d->FState, gsGameOver);
    EXPECT_EQ(d->FSearch, nullptr);
}

namespace {

// A worker that runs until the test says it has ended, as a page's worker or a slow thread may.
struct TFakeWorker : TSearchWorker {
    struct Log {
        int made = 0, resumed = 0, terminated = 0, destroyed = 0;
        bool destroyedRunning = false;
    };
    explicit TFakeWorker(Log& log) : log(log) { ++log.made; }
    ~TFakeWorker() override {
        ++log.destroyed;
        if (!ended) log.destroyedRunning = true;
    }
    void Resume() override { ++log.resumed; }
    void Terminate() override { ++log.terminated; }
    bool Finished() const override { return ended; }
    Log& log;
    bool ended = false;
};

// NEW GAME, END and a result never wait for a worker: the game goes on at once, and each worker
// is destroyed only once nothing runs for it.
TEST(Controller, StopsAndResultsNeverWaitForTheWorker) {
    struct Case {
        const char* name;
        std::function<void(FormDriver&)> act;
        int state; // after act
    } cases[] = {
        {"yes to new game",
         [](FormDriver& d) { d.ClickItem(piFirstButton), d.ClickItem(piFirstButton); }, gsSelect},
        {"yes to end",
         [](FormDriver& d) { d.ClickItem(piSecondButton), d.ClickItem(piFirstButton); }, gsClose},
        {"result while running",
         [](FormDriver& d) {
             d->FSearch->FResult = FirstLegal(*d->FBoard, 2);
             d.Tick();
         },
         gsTurnOver},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFakeWorker::Log log;
        TFakeWorker* worker = nullptr;
        {
            FormDriver d;
            d->FNewSearch = [&] {
                auto w = std::make_unique<TFakeWorker>(log);
                worker = w.get();
                return std::unique_ptr<TSearchWorker>(std::move(w));
            };
            d.Start(0, kLV1);
            d.Settle();
            d.ClickCell(FirstLegal(*d->FBoard, 1));
            while (d->FState != gsThinking) d.Tick();
            ASSERT_EQ(log.resumed, 1);
            c.act(d);
            EXPECT_EQ(d->Closed() ? gsClose : d->FState, c.state);
            EXPECT_EQ(d->FSearch, nullptr);
            EXPECT_EQ(log.destroyed, 0); // still running: kept, not waited for
            worker->ended = true;
            if (!d->Closed()) {
                d->tmrTimer.Enabled = true;
                d.Tick(); // the next tick lets it go
                EXPECT_EQ(log.destroyed, 1);
            }
        }
        EXPECT_EQ(log.destroyed, 1);
        EXPECT_FALSE(log.destroyedRunning);
        EXPECT_EQ(log.terminated, c.state == gsTurnOver ? 0 : 1);
    }
}

// A worker that cannot search asks "NEW GAME ?" and leaves the board as it was: YES starts a new
// game; NO announces the turn again and the next tick starts a fresh search for the same side.
TEST(Controller, FailedSearchAsksForANewGameOrAnotherTry) {
    for (bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "YES" : "NO");
        TFakeWorker::Log log;
        FormDriver d;
        struct TFailing : TFakeWorker {
            using TFakeWorker::TFakeWorker;
            void Resume() override {
                TFakeWorker::Resume();
                FResult = ResultFailed;
                ended = true;
            }
        };
        d->FNewSearch = [&] { return std::unique_ptr<TSearchWorker>(new TFailing(log)); };
        d.Start(kLV1, 0);
        d.Settle();
        const Board board = *d->FBoard;
        EXPECT_EQ(d->FState, gsAskNewGame);
        EXPECT_EQ(d->FReturnState, gsAnnounce);
        EXPECT_EQ(d->FSearch, nullptr);
        EXPECT_EQ(log.destroyed, 1);
        EXPECT_EQ(d->FMsgLine, 0);
        EXPECT_EQ(Screen.Cursor, crDefault);
        ExpectInvariants(d.f(), "failed search");
        EXPECT_FALSE(d.Tick()); // the question waits with the timer off
        EXPECT_EQ(*d->FBoard, board);

        d.ClickItem(yes ? piFirstButton : piSecondButton);
        if (yes) {
            EXPECT_EQ(d->FState, gsSelect);
            EXPECT_EQ(*d->FBoard, InitialBoard);
            continue;
        }
        EXPECT_EQ(d->FState, gsAnnounce);
        d.Tick(); // the turn and "THINKING..." again
        EXPECT_EQ(d->FState, gsStartThink);
        EXPECT_EQ(d->FMsgLine, 2);
        EXPECT_EQ(d->imgScreen.Pixel(540, 272), ColPlayer1); // the turn line's swatch
        d.Tick();
        EXPECT_EQ(log.made, 2);
        EXPECT_EQ(d->FState, gsAskNewGame);
        EXPECT_EQ(*d->FBoard, board);
    }
}

} // namespace
