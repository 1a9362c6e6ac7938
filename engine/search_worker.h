// TSearchWorker: one computer move searched away from the window's thread, as the window sees
// it: the search's inputs and outputs (TSearch's fields), a start, a stop that returns at once,
// and whether anything still runs for it. TThinkThread is one (a thread of this program); a page
// without shared memory has another (a worker with its own copy of the engine).
#pragma once

#include "engine/search.h"

// FResult of a worker that could not search at all (a page's worker whose engine would not load,
// or stopped): the window has no move from it.
constexpr int32_t ResultFailed = -998;

class TSearchWorker : public TSearch {
  public:
    using TSearch::TSearch;
    virtual ~TSearchWorker() = default;

    // Starts the search on the inputs Prepare gave; at most once. FResult then becomes the move,
    // or ResultFailed where the worker cannot search.
    virtual void Resume() = 0;
    // Asks the search to stop at its next node and returns at once; FResult is then not read.
    virtual void Terminate() = 0;
    // Nothing runs for this object any more: destroying it waits for nothing.
    virtual bool Finished() const = 0;
};
