// A stop and the search after it, as the window has them. NEW GAME during a depth-10 search (LV5
// with the strip's bonus) stops the worker and returns at once; the stopped search lets go of the
// node table and the helpers at its next node, and the next search, told that a stopped search
// may still hold them, waits for them on its own thread.
//
// BM_StopToFree: from the stop until the table and the helpers are free again.
// BM_NextSearch: a depth-10 search started right after the stop, against the same search with
// nothing stopped before it, and against it started right after the stop without waiting (as
// every search did before the wait). The search is the first move of a game (the start position)
// or a midgame move, as after a take-back.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "engine/bench_positions.h"
#include "engine/node_table.h"
#include "engine/search_pool.h"
#include "engine/tables.h"
#include "engine/think_thread.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// A worker searching a midgame position for player 2 at depth 10, far from its end, with the
// table and the helpers in hand. Player 2's entries are of no use to player 1's searches, so
// whatever it stored leaves the next search's time its own.
std::unique_ptr<TThinkThread> SearchingDeep(int threads) {
    auto worker = TThread::TryCreate<TThinkThread>(true);
    if (!worker) return worker;
    const Board b = BenchBoard(1);
    worker->SetThreads(threads);
    worker->Prepare(BenchPositions[1].side, 10, b.data(), 0);
    worker->Resume();
    while (worker->FProgress.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return worker;
}

bool Free() {
    return !node_table::Table::Program().Leased() && !search_pool::Busy();
}

void BM_StopToFree(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        node_table::Table::Forget();
        auto stopped = SearchingDeep(threads);
        if (!stopped || Free()) {
            state.SkipWithError("no search holding the table");
            break;
        }
        const auto start = Clock::now();
        stopped->Terminate();
        while (!Free()) std::this_thread::yield();
        state.SetIterationTime(Seconds(start, Clock::now()));
        stopped->WaitFor();
    }
}

enum TBefore { NothingStopped, Stopped, StoppedNoWait };

// The seconds of one depth-10 search of player 1 on board, on `threads` threads, started right
// after a stop when `before` says so; `withTable` is told whether it had the table.
double NextSearch(int threads, TBefore before, const Board& board, bool& withTable) {
    node_table::Table::Forget();
    std::unique_ptr<TThinkThread> stopped;
    if (before != NothingStopped && !(stopped = SearchingDeep(threads))) return -1;
    auto next = TThread::TryCreate<TThinkThread>(true);
    if (!next) return -1;
    next->SetThreads(threads);
    if (before == Stopped) next->WaitForStopped(); // as the window does after a stop
    next->Prepare(1, 10, board.data(), 0);
    const auto start = Clock::now();
    if (stopped) stopped->Terminate();
    next->Resume();
    next->WaitFor();
    const double seconds = Seconds(start, Clock::now());
    withTable = next->TableUsed();
    if (stopped) stopped->WaitFor();
    return seconds;
}

// Each run searches the move three times in turn, so that the machine's drift touches all three
// alike: after a stop (the time reported), with nothing stopped before, and after a stop without
// waiting. The next move is player 1's at the start, or in the probe's bench position 9.
void BM_NextSearch(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const Board board = state.range(1) == 0 ? InitialBoard : BenchBoard(8);
    for (auto _ : state) {
        bool table[3];
        const double stopped = NextSearch(threads, Stopped, board, table[0]);
        const double clean = NextSearch(threads, NothingStopped, board, table[1]);
        const double noWait = NextSearch(threads, StoppedNoWait, board, table[2]);
        if (stopped < 0 || clean < 0 || noWait < 0) {
            state.SkipWithError("no worker");
            break;
        }
        state.SetIterationTime(stopped);
        state.counters["clean_ms"] = clean * 1000;
        state.counters["ratio"] = stopped / clean;
        state.counters["nowait_ms"] = noWait * 1000;
        // Over the runs, the share in which the search that did not wait had the table anyway
        // (the stopped one had let go first); the others always have it.
        state.counters["nowait_table"] = table[2];
    }
}

// Each run is one stop, or one search; the runs' median and worst are reported.
double Worst(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

} // namespace

BENCHMARK(BM_StopToFree)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(1)
    ->Repetitions(30)
    ->ComputeStatistics("max", Worst)
    ->ReportAggregatesOnly();
// next: 0 the start position, 1 a midgame position.
BENCHMARK(BM_NextSearch)
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->ArgNames({"threads", "next"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ComputeStatistics("max", Worst)
    ->ReportAggregatesOnly();

BENCHMARK_MAIN();
