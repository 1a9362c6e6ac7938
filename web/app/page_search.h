// TPageSearch: a computer move searched by the page's search worker (web/site/search-worker.js),
// which has its own copy of the engine and talks to the page by messages: the search of a page
// that has no shared memory. Only the one-thread build of the page has it.
#pragma once

#include "engine/search_worker.h"

class TPageSearch final : public TSearchWorker {
  public:
    TPageSearch();
    ~TPageSearch() override;

    // Hands the prepared inputs to the page's worker. Where the page has none, the search runs
    // here, on the page's thread, as a worker that could not be made does in the game.
    void Resume() override;
    // The page ends the worker at once (a busy worker hears no message) and makes a new one.
    void Terminate() override;
    bool Finished() const override { return FStage != TStage::Running; }

    // What the page's worker reports for search `id` (ignored once that search was let go of).
    static void Progress(int id, int progress);
    static void Result(int id, int result);

  private:
    enum class TStage { Idle, Running, Ended };
    int FId;
    TStage FStage = TStage::Idle;
};
