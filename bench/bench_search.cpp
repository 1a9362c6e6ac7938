// The search on the built-in midgame positions: Evaluate calls per second (counted as a search
// without the node table counts them) and the time to move, median and worst.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "engine/bench_positions.h"
#include "engine/node_table.h"
#include "engine/search.h"

namespace {

// Every iteration searches each position once from an empty node table, as the first search of
// a game does; without that a repeated search would answer from the table.
void BM_TimeToMove(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    Board boards[BenchPositionCount];
    for (int i = 0; i < BenchPositionCount; ++i) boards[i] = BenchBoard(i);
    TSearch t; // on the benchmark's thread
    t.SetThreads(static_cast<int>(state.range(1)));
    uint64_t nodes = 0;
    std::vector<double> median, worst;
    for (auto _ : state) {
        std::vector<double> times;
        for (int i = 0; i < BenchPositionCount; ++i) {
            state.PauseTiming();
            node_table::Table::Forget();
            t.Prepare(BenchPositions[i].side, depth, boards[i].data(), 0);
            const uint64_t before = t.EvaluateCalls();
            state.ResumeTiming();
            const auto start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(t.Think());
            times.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            nodes += t.EvaluateCalls() - before;
        }
        std::sort(times.begin(), times.end());
        median.push_back((times[5] + times[6]) / 2);
        worst.push_back(times.back());
    }
    const auto mean = [](const std::vector<double>& v) {
        double sum = 0;
        for (double x : v) sum += x;
        return v.empty() ? 0 : sum / static_cast<double>(v.size());
    };
    state.counters["evals/s"] =
        benchmark::Counter(static_cast<double>(nodes), benchmark::Counter::kIsRate);
    state.counters["median_s"] = mean(median);
    state.counters["worst_s"] = mean(worst);
}

} // namespace

// LV1 to LV5 (depths 1 to 5) and with the bonus (6 to 10), on one thread and on two.
BENCHMARK(BM_TimeToMove)
    ->ArgsProduct({benchmark::CreateDenseRange(1, 10, 1), {1, 2}})
    ->ArgNames({"depth", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK_MAIN();
