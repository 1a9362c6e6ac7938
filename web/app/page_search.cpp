// TPageSearch: the search of the one-thread page, run by a worker of the page's script.
#include "web/app/page_search.h"

#include <emscripten.h>

namespace {

// The search the page's worker runs; there is at most one, the window's current one.
TPageSearch* gRunning = nullptr;
int gLastId = 0;

// clang-format off
EM_JS(int, PageSearchStart, (int id, int side, int depth, const int32_t* board, int random), {
    var search = globalThis.melvaronSearch;
    if (!search) return 0;
    search.start(id, side, depth, HEAP32.slice(board >> 2, (board >> 2) + 112), random);
    return 1;
});
EM_JS(void, PageSearchCancel, (int id), {
    if (globalThis.melvaronSearch) globalThis.melvaronSearch.cancel(id);
});
// clang-format on

} // namespace

TPageSearch::TPageSearch() : FId(++gLastId) {}

TPageSearch::~TPageSearch() {
    Terminate();
}

void TPageSearch::Resume() {
    if (FStage != TStage::Idle) return;
    FStage = TStage::Running;
    gRunning = this;
    if (PageSearchStart(FId, FSide, FDepth, FBoard, FRandom)) return;
    gRunning = nullptr;
    FResult.store(Think());
    FStage = TStage::Ended;
}

void TPageSearch::Terminate() {
    if (FStage != TStage::Running) return;
    PageSearchCancel(FId);
    gRunning = nullptr;
    FResult.store(-1);
    FStage = TStage::Ended;
}

void TPageSearch::Progress(int id, int progress) {
    if (gRunning && gRunning->FId == id) gRunning->FProgress.store(progress);
}

void TPageSearch::Result(int id, int result) {
    if (!gRunning || gRunning->FId != id) return;
    TPageSearch* search = gRunning;
    gRunning = nullptr;
    search->FResult.store(result);
    search->FStage = TStage::Ended;
}

extern "C" {

EMSCRIPTEN_KEEPALIVE void melvaron_search_progress(int id, int progress) {
    TPageSearch::Progress(id, progress);
}

EMSCRIPTEN_KEEPALIVE void melvaron_search_result(int id, int result) {
    TPageSearch::Result(id, result);
}

} // extern "C"
