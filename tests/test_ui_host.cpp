// The window as the backends see it: one step of a settle, which the page's test takes in turn
// where the replay and the tests settle in one call.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "form_driver.h"
#include "ui/host.h"

namespace {

// A settle taken step by step, waiting for the search between steps as a page's test does.
int64_t SettleByStep(FormDriver& d, int64_t& startsSeenDone) {
    int64_t ticks = 0;
    for (;;) {
        const int before = d->FState;
        const TSettleStep step = SettleStep(d.f(), [&] { d.Tick(); });
        if (step == TSettleStep::Awaited) return ticks;
        if (step == TSettleStep::Searching) {
            EXPECT_EQ(d->FState, gsThinking);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        ++ticks;
        if (before == gsStartThink && d->FState != gsThinking) ++startsSeenDone;
    }
}

TEST(Host, SettleStepsPlayAGameAsSettleDoes) {
    // LV1 against LV2, and LV0 against LV1 with the bonus: short searches, which a thread may
    // finish before the tick that started it is over.
    const struct {
        int type1, type2;
        bool bonus;
    } games[] = {{2, 3, false}, {1, 2, true}};
    for (const auto& g : games) {
        SCOPED_TRACE(testing::Message() << "players " << g.type1 << " and " << g.type2);
        // One game after the other: the random generator is the program's one.
        const auto start = [&](FormDriver& d) {
            if (g.bonus) d.Strip();
            d.Start(g.type1, g.type2);
        };
        FormDriver whole(31);
        start(whole);
        const int64_t wholeTicks = whole.Settle();
        FormDriver stepped(31);
        start(stepped);
        int64_t startsSeenDone = 0;
        EXPECT_EQ(SettleByStep(stepped, startsSeenDone), wholeTicks);
        EXPECT_EQ(startsSeenDone, 0) << "a search's starting tick found it done";
        EXPECT_EQ(*stepped->FBoard, *whole->FBoard);
        EXPECT_EQ(stepped->FState, whole->FState);
        EXPECT_LE(stepped->FState, gsAwaitedMax);
    }
}

TEST(Host, NoSettleStepTicksAWindowThatAwaitsAPerson) {
    FormDriver d;
    int ticks = 0;
    const auto count = [&] { ++ticks; };
    EXPECT_EQ(SettleStep(d.f(), count), TSettleStep::Awaited); // the selection
    d.Start(0, 0);                                             // two people: the first to put
    d.Settle();
    EXPECT_EQ(SettleStep(d.f(), count), TSettleStep::Awaited);
    d->Close();
    EXPECT_EQ(SettleStep(d.f(), count), TSettleStep::Awaited);
    EXPECT_EQ(ticks, 0);
}

} // namespace
