// The think thread as the window uses it: start, poll, stop early, and the fallback without one.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <thread>

#include "engine/bench_positions.h"
#include "engine/node_table.h"
#include "engine/search_pool.h"
#include "engine/tables.h"
#include "engine/think_thread.h"

namespace {

using namespace std::chrono_literals;

int32_t PollUntilResult(TSearch& t, std::set<int32_t>* seen = nullptr) {
    int32_t r;
    while ((r = t.FResult.load()) == ResultNotReady) {
        if (seen) seen->insert(r);
        std::this_thread::sleep_for(1ms);
    }
    if (seen) seen->insert(r);
    return r;
}

TEST(ThinkThread, WorkerDeliversTheSynchronousResult) {
    const Board b = BenchBoard(5);
    const int side = BenchPositions[5].side;
    TSearch sync;
    sync.Prepare(side, 3, b.data(), 20000);
    const int32_t want = sync.Think();

    auto worker = TThread::TryCreate<TThinkThread>(true);
    ASSERT_TRUE(worker);
    worker->Prepare(side, 3, b.data(), 20000);
    worker->Resume();
    std::set<int32_t> seen;
    EXPECT_EQ(PollUntilResult(*worker, &seen), want);
    worker->WaitFor();
    EXPECT_TRUE(worker->Finished());
    EXPECT_EQ(worker->FResult.load(), want);
    EXPECT_EQ(worker->FProgress.load(), sync.FProgress.load());
    EXPECT_EQ(worker->EvaluateCalls(), sync.EvaluateCalls());
    seen.erase(ResultNotReady);
    EXPECT_EQ(seen, std::set<int32_t>{want}); // the poll sees nothing but -999 and the move
}

TEST(ThinkThread, NoEvaluationLeavesProgressAtZero) {
    auto worker = TThread::TryCreate<TThinkThread>(true);
    ASSERT_TRUE(worker);
    worker->Prepare(1, 0, InitialBoard.data(), 32767);
    worker->Resume();
    EXPECT_EQ(PollUntilResult(*worker), 61);
    worker->WaitFor();
    EXPECT_EQ(worker->FProgress.load(), 0);
}

// A worker searching depth 10 on a 44-empty position, which would run for a very long time,
// once it has visibly started.
namespace {
std::unique_ptr<TThinkThread> DeepSearchUnderWay() {
    static const Board b = BenchBoard(0);
    auto worker = TThread::TryCreate<TThinkThread>(true);
    if (!worker) return worker;
    worker->Prepare(BenchPositions[0].side, 10, b.data(), 0);
    worker->Resume();
    while (worker->FProgress.load() == 0) std::this_thread::sleep_for(1ms);
    return worker;
}
} // namespace

TEST(ThinkThread, StopEarlyWithTheTerminateFlag) {
    auto worker = DeepSearchUnderWay();
    ASSERT_TRUE(worker);
    EXPECT_EQ(worker->FResult.load(), ResultNotReady);
    worker->Terminate();
    worker->WaitFor();
    // Think stored nothing; the thread body stored its -1.
    EXPECT_EQ(worker->FResult.load(), -1);
    const int32_t progress = worker->FProgress.load();
    EXPECT_EQ(static_cast<uint64_t>(progress), worker->EvaluateCalls() % 65536);
}

TEST(ThinkThread, TerminateBeforeStartStopsAtTheFirstEvaluation) {
    auto worker = TThread::TryCreate<TThinkThread>(true);
    ASSERT_TRUE(worker);
    worker->Prepare(1, 3, InitialBoard.data(), 0);
    worker->Terminate();
    worker->Resume();
    worker->WaitFor();
    EXPECT_EQ(worker->FResult.load(), -1);
    EXPECT_EQ(worker->FProgress.load(), 0);
}

TEST(ThinkThread, NeverStartedObjectIsDestroyedWithoutRunning) {
    auto rules = TThread::TryCreate<TThinkThread>(true);
    ASSERT_TRUE(rules);
    EXPECT_EQ(rules->FResult.load(), 0); // fields start at 0; the body never set -999
    rules.reset();
}

TEST(ThinkThread, DestroyingARunningWorkerStopsItFirst) {
    auto worker = DeepSearchUnderWay();
    ASSERT_TRUE(worker);
    worker.reset(); // must neither hang nor let the body outlive the object
}

TEST(ThinkThread, FallbackSearchWhenNoWorkerCanBeMade) {
    auto rules = TThread::TryCreate<TThinkThread>(true); // made at start-up, before the failure
    ASSERT_TRUE(rules);
    TThread::FailCreationForTesting(true);
    auto search = TThread::TryCreate<TThinkThread>(true);
    TThread::FailCreationForTesting(false);
    EXPECT_EQ(search, nullptr);

    const Board b = BenchBoard(3);
    rules->Prepare(BenchPositions[3].side, 3, b.data(), 9000);
    const int32_t fallback = rules->Think();

    auto worker = TThread::TryCreate<TThinkThread>(true);
    ASSERT_TRUE(worker);
    worker->Prepare(BenchPositions[3].side, 3, b.data(), 9000);
    worker->Resume();
    worker->WaitFor();
    EXPECT_EQ(worker->FResult.load(), fallback);
    EXPECT_EQ(rules->FResult.load(), fallback);
    EXPECT_EQ(worker->FProgress.load(), rules->FProgress.load());
}

TEST(ThinkThread, ConcurrentSearchesDoNotDisturbEachOther) {
    std::unique_ptr<TThinkThread> workers[4];
    Board boards[4];
    int32_t want[4];
    for (int i = 0; i < 4; ++i) {
        boards[i] = BenchBoard(i);
        TSearch sync;
        sync.Prepare(BenchPositions[i].side, 3, boards[i].data(), 4000 * i);
        want[i] = sync.Think();
        workers[i] = TThread::TryCreate<TThinkThread>(true);
        ASSERT_TRUE(workers[i]);
        workers[i]->Prepare(BenchPositions[i].side, 3, boards[i].data(), 4000 * i);
    }
    for (auto& w : workers) w->Resume();
    for (int i = 0; i < 4; ++i) {
        workers[i]->WaitFor();
        EXPECT_EQ(workers[i]->FResult.load(), want[i]) << i;
    }
}

// Helpers working for the worker change nothing the window sees: progress only grows and ends
// where one thread's ends, with the same move; a stop ends them all, with the count consistent.
TEST(ThinkThread, SeveralThreadsShowWhatOneShows) {
    // Searches of fewer than 65536 calls, so that progress never wraps while it is watched.
    const int depth = 5;
    for (int i = HardPositionCount - 3; i < HardPositionCount; ++i) {
        const Board b = BenchBoard(HardPositions[i]);
        const int side = HardPositions[i].side;
        node_table::Table::Forget();
        TSearch one;
        one.SetThreads(1);
        one.Prepare(side, depth, b.data(), 2000);
        const int32_t want = one.Think();
        const int32_t final = one.FProgress.load();
        ASSERT_EQ(static_cast<uint64_t>(final), one.EvaluateCalls()) << "the search wrapped";

        node_table::Table::Forget();
        auto worker = TThread::TryCreate<TThinkThread>(true);
        ASSERT_TRUE(worker);
        worker->SetThreads(4);
        worker->Prepare(side, depth, b.data(), 2000);
        worker->Resume();
        int32_t last = 0, r;
        while ((r = worker->FResult.load()) == ResultNotReady) {
            const int32_t now = worker->FProgress.load();
            EXPECT_GE(now, last) << "progress went back";
            EXPECT_LE(now, final) << "progress passed the final count";
            last = now;
        }
        worker->WaitFor();
        EXPECT_EQ(r, want) << i;
        EXPECT_EQ(worker->FProgress.load(), final) << i;
        EXPECT_EQ(worker->EvaluateCalls(), one.EvaluateCalls()) << i;
    }

    const Board b = BenchBoard(0);
    auto worker = TThread::TryCreate<TThinkThread>(true);
    ASSERT_TRUE(worker);
    worker->SetThreads(4);
    worker->Prepare(BenchPositions[0].side, 10, b.data(), 0);
    worker->Resume();
    while (worker->FProgress.load() == 0) std::this_thread::sleep_for(1ms);
    worker->Terminate();
    worker->WaitFor();
    EXPECT_EQ(worker->FResult.load(), -1);
    EXPECT_EQ(static_cast<uint64_t>(worker->FProgress.load()), worker->EvaluateCalls() % 65536);
}

// Holds the program's node table and the helpers, as a stopped search does until its next node.
class THolder {
  public:
    THolder(bool table, bool helpers) {
        if (table) {
            FTable = node_table::Table::Lease(10);
            EXPECT_NE(FTable, nullptr) << "another search has the table";
        }
        if (helpers) {
            FHelpers = std::thread([this] { search_pool::Run(2, &Hold, this); });
            while (FHolding.load() == 0) std::this_thread::yield();
        }
    }
    ~THolder() { LetGo(); }
    void LetGo() {
        if (FTable) FTable->Release();
        FTable = nullptr;
        FGo = true;
        if (FHelpers.joinable()) FHelpers.join();
    }

  private:
    static void Hold(void* self, int) {
        auto* h = static_cast<THolder*>(self);
        h->FHolding.fetch_add(1);
        while (!h->FGo.load()) std::this_thread::sleep_for(100us);
    }
    node_table::Table* FTable = nullptr;
    std::thread FHelpers;
    std::atomic<int> FHolding{0};
    std::atomic<bool> FGo{false};
};

// Until done() holds, which another thread brings about; false after a minute without.
bool Until(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

struct TWaitCase {
    int position; // of HardPositions, searched at depth 5 on two threads
    int32_t want; // the move a search with nothing held picks
    uint64_t calls;
};

TWaitCase WaitCase() {
    const int i = HardPositionCount - 1;
    const Board b = BenchBoard(HardPositions[i]);
    TSearch plain;
    plain.SetThreads(2);
    plain.Prepare(HardPositions[i].side, 5, b.data(), 777);
    const int32_t want = plain.Think();
    EXPECT_TRUE(plain.TableUsed());
    EXPECT_EQ(plain.ThreadsUsed(), 2);
    return {i, want, plain.EvaluateCalls()};
}

std::unique_ptr<TThinkThread> WaitingWorker(const TWaitCase& c, std::chrono::milliseconds bound) {
    auto worker = TThread::TryCreate<TThinkThread>(true);
    EXPECT_TRUE(worker);
    if (!worker) return worker;
    const Board b = BenchBoard(HardPositions[c.position]);
    worker->SetThreads(2);
    worker->WaitForStopped(bound);
    worker->Prepare(HardPositions[c.position].side, 5, b.data(), 777);
    return worker;
}

// A worker told that a stopped search may hold the table or the helpers waits on its own thread
// until they are let go of, then searches with them, to the same answer.
TEST(ThinkThread, WaitsForAStoppedSearchToLetGoOfTheTableAndTheHelpers) {
    const TWaitCase c = WaitCase();
    const struct {
        const char* held;
        bool table, helpers;
    } cases[] = {{"the table", true, false}, {"the helpers", false, true}, {"both", true, true}};
    for (const auto& held : cases) {
        SCOPED_TRACE(held.held);
        THolder holder(held.table, held.helpers);
        auto worker = WaitingWorker(c, std::chrono::hours(1));
        ASSERT_TRUE(worker);
        worker->Resume();
        ASSERT_TRUE(Until([&] { return worker->Waiting(); }));
        holder.LetGo();
        worker->WaitFor();
        EXPECT_EQ(worker->FResult.load(), c.want);
        EXPECT_EQ(worker->EvaluateCalls(), c.calls);
        EXPECT_TRUE(worker->TableUsed());
        EXPECT_EQ(worker->ThreadsUsed(), 2);
    }
}

// Nothing waits for good: a wait ends at its bound, and a stop ends it at once; a search on the
// caller's thread (the window's own, with no worker to be had) never waits. Each then goes on
// with what is free: alone, without the table.
TEST(ThinkThread, AWaitForAStoppedSearchEnds) {
    const TWaitCase c = WaitCase();
    THolder holder(true, true);
    {
        SCOPED_TRACE("past the bound");
        auto worker = WaitingWorker(c, 20ms);
        ASSERT_TRUE(worker);
        worker->Resume();
        worker->WaitFor();
        EXPECT_EQ(worker->FResult.load(), c.want);
        EXPECT_EQ(worker->EvaluateCalls(), c.calls);
        EXPECT_FALSE(worker->TableUsed());
        EXPECT_EQ(worker->ThreadsUsed(), 1);
    }
    {
        SCOPED_TRACE("stopped while waiting");
        auto worker = WaitingWorker(c, std::chrono::hours(1));
        ASSERT_TRUE(worker);
        worker->Resume();
        ASSERT_TRUE(Until([&] { return worker->Waiting(); }));
        worker->Terminate();
        worker->WaitFor();
        EXPECT_EQ(worker->FResult.load(), -1);
        EXPECT_EQ(worker->FProgress.load(), 0);
    }
    {
        SCOPED_TRACE("on the caller's thread");
        auto rules = WaitingWorker(c, std::chrono::hours(1));
        ASSERT_TRUE(rules);
        EXPECT_EQ(rules->Think(), c.want);
        EXPECT_FALSE(rules->TableUsed());
        EXPECT_EQ(rules->ThreadsUsed(), 1);
    }
}

} // namespace

namespace {

void CountThreads(void* context, int) {
    static_cast<std::atomic<int>*>(context)->fetch_add(1);
}

// Helpers that cannot be made (no threads, no memory) leave a search on fewer threads, and the
// next search has the helpers back.
TEST(SearchPool, UsableAfterAFailureToMakeHelpers) {
    const int want = node_table::MaxThreads;
    std::atomic<int> calls{0};
    search_pool::FailHelpersForTesting(1000);
    const int used = search_pool::Run(want, &CountThreads, &calls);
    search_pool::FailHelpersForTesting(0);
    EXPECT_EQ(calls.load(), used);
    if (search_pool::Prestart(1) + 1 == want) GTEST_SKIP() << "every helper was made earlier";
    EXPECT_LT(used, want);

    calls = 0;
    EXPECT_EQ(search_pool::Run(want, &CountThreads, &calls), want);
    EXPECT_EQ(calls.load(), want);

    // A whole search after the failure, on every thread, still gives the one-thread answer.
    const Board b = BenchBoard(2);
    TSearch one, many;
    one.SetThreads(1);
    many.SetThreads(want);
    for (TSearch* s : {&one, &many}) {
        node_table::Table::Forget();
        s->Prepare(BenchPositions[2].side, 5, b.data(), 123);
    }
    EXPECT_EQ(many.Think(), one.Think());
    EXPECT_EQ(many.EvaluateCalls(), one.EvaluateCalls());
}

} // namespace
