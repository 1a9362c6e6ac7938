// Soak test of the window: long randomized sessions of pointer moves, presses, strip presses and
// ticks, with the controller's invariants checked after every event.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "tests/form_driver.h"

namespace {

constexpr int EventsPerRun = SanitizedBuild ? 20000 : 100000;

bool KnownState(int s) {
    switch (s) {
    case gsWaitPut:
    case gsAskNewGame:
    case gsAskEnd:
    case gsGameOver:
    case gsSelect:
    case gsAskEndOver:
    case gsAskEndSelect:
    case gsStartThink:
    case gsThinking:
    case gsTurnOver:
    case gsAfterMove:
    case gsAnnounce:
    case gsClose:
        return true;
    default:
        return false;
    }
}

class Soak {
  public:
    explicit Soak(uint32_t seed) : rng(seed), driver(std::make_unique<FormDriver>(seed)) {}

    void Run(int events) {
        for (int i = 0; i < events && !::testing::Test::HasFailure(); ++i) {
            Step();
            Check(i);
        }
        driver.reset(); // closes the window, stopping any search
    }

  private:
    enum class Last { Tick, Press, Move, None };

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    // A point anywhere on the image, or on something that reacts: a cell, a button, a level box.
    TPixel SomePoint() {
        switch (Pick(4)) {
        case 0: {
            TPixel p{Pick(ScreenWidth), Pick(ScreenHeight)};
            if (p.x >= 678 && p.x < 728 && p.y >= 317 && p.y < 358) p.x -= 125; // not LV4, LV5
            return p;
        }
        case 1:
            return CellPixel(RandomCell());
        case 2:
            return ItemPixel(10 + Pick(2));
        default: // level boxes MAN..LV3 of either player
            return ItemPixel(LevelBoxItem(1 + Pick(2), Pick(5)));
        }
    }
    int RandomCell() {
        for (;;) {
            int c = FirstPlayable + Pick(LastPlayable - FirstPlayable + 1);
            if (CellPixel(c).x >= 0) return c;
        }
    }

    void Step() {
        TfrmGalMain& f = driver->f();
        if (f.Closed()) { // the window closed: a new program run
            driver = std::make_unique<FormDriver>(static_cast<uint32_t>(rng()));
            last = Last::None;
            return;
        }
        const int roll = Pick(1000);
        if (roll < 420) {
            last = driver->Tick() ? Last::Tick : Last::None;
        } else if (roll < 640) {
            pointer = SomePoint();
            driver->Move(pointer.x, pointer.y);
            last = Last::Move;
        } else if (roll < 860) {
            // Mostly where the pointer rests; sometimes elsewhere, as if it moved unseen.
            TPixel at = Pick(10) == 0 ? SomePoint() : pointer;
            driver->Press(at.x, at.y, TMouseButton::mbLeft);
            last = Last::Press;
        } else if (roll < 900) {
            driver->Press(pointer.x, pointer.y, TMouseButton::mbRight);
            last = Last::Press;
        } else if (roll < 920) {
            driver->Press(pointer.x, pointer.y, TMouseButton::mbMiddle);
            last = Last::Press;
        } else if (roll < 950) {
            driver->Strip();
            last = Last::Press;
        } else if (roll < 999) {
            // Give a running search time to finish, as a person would by waiting.
            for (int i = 0; i < 20 && f.FSearch && f.FSearch->FResult.load() == ResultNotReady; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            last = Last::None;
        } else {
            f.Close(); // the close box
            last = Last::None;
        }
    }

    void Check(int event) {
        TfrmGalMain& f = driver->f();
        SCOPED_TRACE(::testing::Message() << "event " << event << ", state " << f.FState);
        ExpectInvariants(f, "soak");
        if (f.Closed()) return;
        ASSERT_TRUE(KnownState(f.FState)) << f.FState;
        EXPECT_NE(f.FState, gsClose); // the frame closes the window on -1
        for (int i = 0; i < BoardSize; ++i) {
            ASSERT_EQ((*f.FBoard)[i] == CellBorder, InitialBoard[i] == CellBorder) << "cell " << i;
        }
        for (int p = 1; p <= 2; ++p) {
            ASSERT_TRUE(f.FPlayerType[p] >= 0 && f.FPlayerType[p] <= 4) << f.FPlayerType[p];
        }
        // The tick turns the timer on again in every state; a press leaves it on only above 100.
        if (last == Last::Tick) {
            EXPECT_TRUE(f.tmrTimer.Enabled);
        }
        if (last == Last::Press) {
            EXPECT_EQ(f.tmrTimer.Enabled, f.FState > 100);
        }
    }

    std::mt19937 rng;
    std::unique_ptr<FormDriver> driver;
    TPixel pointer{0, 0};
    Last last = Last::None;
};

class WindowSoak : public ::testing::TestWithParam<uint32_t> {};

TEST_P(WindowSoak, InvariantsHoldAfterEveryEvent) {
    Soak(GetParam()).Run(EventsPerRun);
}

INSTANTIATE_TEST_SUITE_P(Seeds, WindowSoak, ::testing::Values(1u, 20261208u, 777u));

} // namespace
