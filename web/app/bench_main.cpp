// The search over the built-in midgame positions, timed in the browser the way the probe's
// bench times it on the desktop: each position's node count and time to move, then the median
// and the worst. The page passes the depth and, optionally, the threads searching each move
// (the processor's cores when not given).
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/bench_positions.h"
#include "engine/node_table.h"
#include "engine/search.h"
#include "platform/input_text.h"

int main(int argc, char** argv) {
    int64_t depth = 0, threads = 0;
    if (argc < 2 || argc > 3 || ParseDecimal(argv[1], depth) != TDecimal::Ok || depth < 1 ||
        depth > 15 ||
        (argc == 3 && (ParseDecimal(argv[2], threads) != TDecimal::Ok || threads < 1 ||
                       threads > node_table::MaxThreads))) {
        std::printf("error: give the depth (1 to 15) and optionally the threads (1 to %d)\n",
                    node_table::MaxThreads);
        return 2;
    }
    TSearch search;
    search.SetThreads(static_cast<int>(threads));
    std::printf("threads: %d\n", search.Threads());
    std::vector<double> times;
    uint64_t totalNodes = 0;
    for (int i = 0; i < BenchPositionCount; ++i) {
        const Board b = BenchBoard(i);
        search.Prepare(BenchPositions[i].side, static_cast<int>(depth), b.data(), 0);
        const uint64_t before = search.EvaluateCalls();
        const auto start = std::chrono::steady_clock::now();
        search.Think();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const uint64_t nodes = search.EvaluateCalls() - before;
        totalNodes += nodes;
        times.push_back(seconds);
        std::printf("position %d: nodes=%" PRIu64 " seconds=%.6f\n", i + 1, nodes, seconds);
    }
    double total = 0;
    for (double t : times) total += t;
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    const size_t worst = std::max_element(times.begin(), times.end()) - times.begin();
    std::printf("nodes/s: %.0f\n", total > 0 ? static_cast<double>(totalNodes) / total : 0);
    std::printf("time to move: median %.6f s, worst %.6f s (position %zu), total %.6f s\n", median,
                times[worst], worst + 1, total);
    return 0;
}
