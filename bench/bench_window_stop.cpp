// How long the window waits for a deep search to stop: YES to "NEW GAME ?" and the close box,
// each during a depth-10 search (both players LV5 with the strip's bonus). The figure must stay
// far below one 50 ms tick, since the wait blocks the window.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>

#include "engine/node_table.h"
#include "engine/random.h"
#include "engine/search_pool.h"
#include "ui/form.h"

namespace {

// A pointer move to the centre of a side-panel item, then a left press there.
void Click(TfrmGalMain& f, int item) {
    const TPoint p = PanelItemRect(item).Centre();
    f.imgScreenMouseMove(p.x, p.y);
    f.imgScreenMouseDown(TMouseButton::mbLeft, p.x, p.y);
}
constexpr int Lv5 = 6; // the level box of LV5

// A window whose worker is deep in a depth-10 search.
std::unique_ptr<TfrmGalMain> WindowSearchingDeep() {
    // Nothing remembered from the windows before: their stopped searches would otherwise answer
    // more of this one each time, until it ended before it could be stopped.
    node_table::Table::Forget();
    auto f = std::make_unique<TfrmGalMain>();
    f->FormCreate();
    game_random::Seed(1);
    Click(*f, LevelBoxItem(1, Lv5));
    Click(*f, LevelBoxItem(2, Lv5));
    f->Shape1MouseDown();
    Click(*f, piFirstButton); // GAME
    for (int i = 0; i < 2 && f->tmrTimer.Enabled; ++i) f->tmrTimerTimer();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    return f;
}

void BM_StopByNewGame(benchmark::State& state) {
    search_pool::SetDefaultThreads(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto f = WindowSearchingDeep();
        if (!f->FSearch || f->FSearch->FDepth != 10) {
            state.SkipWithError("no depth-10 search running");
            break;
        }
        Click(*f, piFirstButton); // NEW GAME ?
        const auto start = std::chrono::steady_clock::now();
        Click(*f, piFirstButton); // YES: stop, wait, new game
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        f->Close();
    }
}

void BM_StopByClose(benchmark::State& state) {
    search_pool::SetDefaultThreads(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto f = WindowSearchingDeep();
        if (!f->FSearch) {
            state.SkipWithError("no search running");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        f->Close(); // the close box: stop, wait, free
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}

} // namespace

// The worker searching alone, and with helpers (each must stop before the wait ends).
BENCHMARK(BM_StopByNewGame)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(30);
BENCHMARK(BM_StopByClose)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(30);

BENCHMARK_MAIN();
