// Long randomized sessions of the window: pointer moves, presses, strip presses, ticks, waits,
// take-backs and the close box. Phases of play, in which questions are declined and games get
// finished, alternate with phases of anything at all. The controller's invariants are checked after
// every event, and every state must have been seen.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "tests/form_driver.h"

namespace {

constexpr int EventsPerRun = SanitizedBuild ? 1500 : 4000;

bool KnownState(int s) {
    for (int known :
         {gsWaitPut, gsAskNewGame, gsAskEnd, gsGameOver, gsSelect, gsAskEndOver, gsAskEndSelect,
          gsStartThink, gsThinking, gsTurnOver, gsAfterMove, gsAnnounce})
        if (s == known) return true;
    return false;
}

bool Asking(int s) {
    return s == gsAskNewGame || s == gsAskEnd || s == gsAskEndOver || s == gsAskEndSelect;
}

class Session {
  public:
    explicit Session(uint32_t seed) : rng(seed), driver(std::make_unique<FormDriver>(seed)) {}

    void Run(int events) {
        for (int step = 0; step < events && !::testing::Test::HasFailure(); ++step) {
            TfrmGalMain& f = driver->f();
            if (f.Closed()) { // the window closed: a new program run
                ++closes;
                driver = std::make_unique<FormDriver>(static_cast<uint32_t>(rng()));
                continue;
            }
            const int before = f.FState;
            const bool timerBefore = f.tmrTimer.Enabled;
            const Event event = Step(step % 800 < 600);
            if (f.Closed()) continue;
            SCOPED_TRACE(::testing::Message()
                         << "step " << step << ", state " << before << " -> " << f.FState);
            visited.insert(f.FState);
            if (f.FState == gsGameOver && before != gsGameOver) ++games;
            Check(f, event, timerBefore);
        }
        driver.reset(); // closes the window, stopping any search
    }

    std::set<int> visited;
    int games = 0, closes = 0;

  private:
    enum class Event { Tick, Press, Move, Other };

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    std::vector<int> LegalCells(const TfrmGalMain& f) {
        std::vector<int> legal;
        for (int c = FirstPlayable; c <= LastPlayable; ++c)
            if ((*f.FBoard)[c] == CellEmpty &&
                (TThinkThread::CheckPut(c, f.FBoard->data()) & f.FTurn))
                legal.push_back(c);
        return legal;
    }

    // A level box of MAN or a low level: searches stay short. With the bonus on, only MAN and
    // LV0, which it does not deepen.
    TPixel ShallowLevelBox(const TfrmGalMain& f) {
        return ItemPixel(LevelBoxItem(1 + Pick(2), Pick(f.FLevelBonus ? 2 : 4)));
    }

    // p, unless it is the level box of a deep search (above LV2, or above LV0 with the bonus).
    TPixel Shallow(const TfrmGalMain& f, TPixel p) {
        const int item = PanelItemAt(p.x, p.y);
        if (item < piFirstLevelBox) return p;
        const int box = (item - piFirstLevelBox) % LevelBoxes;
        return box <= (f.FLevelBonus ? 1 : 3) ? p : TPixel{600, 30};
    }

    // Where a player would press: NO to a question, a new game or the end question after a
    // game, a start or a level in the selection, a legal cell in a game.
    TPixel PlayPoint(const TfrmGalMain& f) {
        if (Asking(f.FState)) return ItemPixel(piSecondButton);
        if (f.FState == gsGameOver) return ItemPixel(piFirstButton + Pick(2));
        if (f.FState == gsSelect) {
            const int choice = Pick(6);
            return choice < 2 ? ItemPixel(piFirstButton + choice) : ShallowLevelBox(f);
        }
        const std::vector<int> legal = LegalCells(f);
        if (!legal.empty()) return CellPixel(legal[Pick(static_cast<int>(legal.size()))]);
        return {Pick(512), Pick(512)};
    }

    // Anywhere, or on something that reacts: a legal cell, any cell, a button (NO more often
    // than YES), a level box.
    TPixel AnyPoint(const TfrmGalMain& f) {
        const int where = Pick(20);
        const std::vector<int> legal = LegalCells(f);
        if (where < 8 && !legal.empty())
            return CellPixel(legal[Pick(static_cast<int>(legal.size()))]);
        if (where < 12) {
            const TPixel p = CellPixel(FirstPlayable + Pick(LastPlayable - FirstPlayable + 1));
            return p.x >= 0 ? p : TPixel{600, 30};
        }
        if (where < 15) return ItemPixel(Pick(3) == 0 ? piFirstButton : piSecondButton);
        if (where < 17) return ShallowLevelBox(f);
        return {Pick(ScreenWidth), Pick(ScreenHeight)};
    }

    Event Step(bool play) {
        TfrmGalMain& f = driver->f();
        const int roll = Pick(1000);
        if (roll < 300) {
            if (play) {
                // The states a settle passes through count as seen: whether a step ends in
                // one of them depends on how fast the search is.
                driver->Settle(200, [this](int state) { visited.insert(state); });
                return Event::Other;
            }
            return driver->Tick() ? Event::Tick : Event::Other;
        }
        if (roll < 480) {
            pointer = Shallow(f, play ? PlayPoint(f) : AnyPoint(f));
            driver->Move(pointer.x, pointer.y);
            return Event::Move;
        }
        if (roll < 870) {
            // Mostly a move and a press; sometimes a press where the pointer rests, or one
            // elsewhere, as if the pointer moved unseen.
            TPixel at = Shallow(f, play ? PlayPoint(f) : AnyPoint(f));
            const int how = Pick(8);
            if (how == 0) at = Shallow(f, pointer); // the bonus may have gone on since
            if (how > 1) {
                driver->Move(at.x, at.y);
                pointer = at;
            }
            driver->Press(at.x, at.y);
            return Event::Press;
        }
        if (roll < 910) {
            driver->Press(pointer.x, pointer.y, TMouseButton::mbRight);
            return Event::Press;
        }
        if (roll < 925) {
            driver->Press(pointer.x, pointer.y, TMouseButton::mbMiddle);
            return Event::Press;
        }
        if (roll < 960) {
            // The bonus goes on only over MAN and LV0 players, which it does not deepen.
            const bool deep = f.FPlayerType[1] > 1 || f.FPlayerType[2] > 1;
            if (f.FState == gsSelect && f.FLevelBonus == 0 && deep) return Event::Other;
            driver->Strip();
            return Event::Press;
        }
        if (roll < 985) {
            // Give a running search time to finish, as a person would by waiting.
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
            while (std::chrono::steady_clock::now() < until && f.FSearch &&
                   f.FSearch->FResult.load() == ResultNotReady)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return Event::Other;
        }
        if (roll < 998) // take back, or put again: a press when it acts
            return driver->Key(TKey::vkU, Pick(3) == 0) ? Event::Press : Event::Other;
        f.Close(); // the close box
        return Event::Other;
    }

    void Check(TfrmGalMain& f, Event event, bool timerBefore) {
        ExpectInvariants(f, "session");
        ASSERT_TRUE(KnownState(f.FState)) << f.FState; // the frame closes the window on gsClose
        for (int i = 0; i < BoardSize; ++i)
            ASSERT_EQ((*f.FBoard)[i] == CellBorder, InitialBoard[i] == CellBorder) << "cell " << i;
        for (int p = 1; p <= 2; ++p)
            ASSERT_TRUE(f.FPlayerType[p] >= 0 && f.FPlayerType[p] <= 6) << f.FPlayerType[p];
        // The record is the game on the board, through take-backs and all.
        if (f.FRecord.Started()) {
            ASSERT_EQ(f.FRecord.Position().board, *f.FBoard);
        }
        // The tick turns the timer on again in every state; a press leaves it on only above
        // 100; a movement leaves it alone.
        if (event == Event::Tick) {
            EXPECT_TRUE(f.tmrTimer.Enabled);
        }
        if (event == Event::Press) {
            EXPECT_EQ(f.tmrTimer.Enabled, f.FState > 100);
        }
        if (event == Event::Move) {
            EXPECT_EQ(f.tmrTimer.Enabled, timerBefore);
        }
        // Nobody waits behind a busy cursor, and a move on display shows the busy arrow.
        if (f.FState <= gsAskEndSelect) {
            EXPECT_EQ(Screen.Cursor, crDefault);
        }
        if (f.FState == gsTurnOver) {
            EXPECT_EQ(Screen.Cursor, crAppStart);
        }
    }

    std::mt19937 rng;
    std::unique_ptr<FormDriver> driver;
    TPixel pointer{0, 0};
};

class WindowSession : public ::testing::TestWithParam<uint32_t> {};

TEST_P(WindowSession, InvariantsHoldAndEveryStateIsReached) {
    Session session(GetParam());
    session.Run(EventsPerRun);
    EXPECT_GT(session.games, 0);
    for (int s : {gsWaitPut, gsAskNewGame, gsAskEnd, gsGameOver, gsSelect, gsAskEndOver,
                  gsAskEndSelect, gsStartThink, gsThinking, gsTurnOver, gsAfterMove, gsAnnounce})
        EXPECT_TRUE(session.visited.count(s)) << "state " << s << " never seen";
    RecordProperty("games", session.games);
    RecordProperty("closes", session.closes);
}

INSTANTIATE_TEST_SUITE_P(Seeds, WindowSession, ::testing::Values(1u, 2u, 3u));

} // namespace
