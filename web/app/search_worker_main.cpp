// The engine of the page's search worker (web/site/search-worker.js, which calls melvaron_search
// and posts what it returns): one search at a time, run to its end on the worker's only thread,
// its progress posted to the page now and then. A stop is the page ending the whole worker, so
// the search needs no stop flag.
#include <emscripten.h>

#include <cstdint>

#include "engine/search.h"

namespace {

// clang-format off
EM_JS(void, PostProgress, (int id, int progress), {
    melvaronSearchWorker.progress(id, progress);
});
// clang-format on

struct TReporter {
    int id;
    int calls = 0;
    double last = 0;
};

// The page shows progress at most once per 50 ms tick: a message every 20 ms is plenty, and
// the clock is read only every few hundred nodes.
void Report(void* context, int32_t progress) {
    TReporter& r = *static_cast<TReporter*>(context);
    if (++r.calls & 255) return;
    const double now = emscripten_get_now();
    if (now - r.last < 20) return;
    r.last = now;
    PostProgress(r.id, progress);
}

} // namespace

extern "C" EMSCRIPTEN_KEEPALIVE int melvaron_search(int id, int side, int depth,
                                                    const int32_t* board, int random) {
    static TSearch search;
    TReporter reporter{id};
    reporter.last = emscripten_get_now();
    search.SetProgressHook(&Report, &reporter);
    search.Prepare(side, depth, board, random);
    const int result = search.Think();
    PostProgress(id, search.FProgress.load());
    return result;
}

int main() {
    return 0;
}
