// TPageSearch: the search of the one-thread page, run by the page's search worker.
#include "web/app/page_search.h"

#include <emscripten.h>

#include "engine/board.h"

namespace {

// The search the page's worker runs; there is at most one, the window's current one.
TPageSearch* gRunning = nullptr;
int gLastId = 0;

// The page's side of the worker (web/site/search-worker.js): the start message's fields in their
// order (web/app/search_messages.h), the board a copy of its cells.
// clang-format off
EM_JS(int, PageSearchStart, (int id, int side, int depth, const int32_t* board, int cells,
                             int random), {
    var worker = globalThis.melvaronSearchWorker;
    var copy = HEAP32.slice(board >> 2, (board >> 2) + cells);
    return worker && worker.start(id, side, depth, copy, random) ? 1 : 0;
});
EM_JS(void, PageSearchCancel, (int id), {
    if (globalThis.melvaronSearchWorker) globalThis.melvaronSearchWorker.cancel(id);
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
    if (PageSearchStart(FId, FSide, FDepth, FBoard, BoardSize, FRandom)) return;
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
