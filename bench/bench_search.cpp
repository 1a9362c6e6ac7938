// The search's speed on the built-in midgame positions, in Evaluate calls per second.
#include <benchmark/benchmark.h>

#include "engine/bench_positions.h"
#include "engine/think_thread.h"

namespace {

void BM_Think(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    Board boards[BenchPositionCount];
    for (int i = 0; i < BenchPositionCount; ++i) boards[i] = BenchBoard(i);
    TThinkThread t(true); // never started: the search runs on the benchmark's thread
    uint64_t nodes = 0;
    for (auto _ : state) {
        for (int i = 0; i < BenchPositionCount; ++i) {
            t.Prepare(BenchPositions[i].side, depth, boards[i].data(), 0);
            const uint64_t before = t.EvaluateCalls();
            benchmark::DoNotOptimize(t.Think());
            nodes += t.EvaluateCalls() - before;
        }
    }
    state.counters["evals/s"] =
        benchmark::Counter(static_cast<double>(nodes), benchmark::Counter::kIsRate);
    state.counters["evals"] =
        benchmark::Counter(static_cast<double>(nodes), benchmark::Counter::kAvgIterations);
}

} // namespace

BENCHMARK(BM_Think)->Arg(3)->Arg(4)->Arg(5)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
