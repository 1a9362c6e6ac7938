// The helper threads that work for a search: started when first wanted, kept for the program's
// life and asleep between searches, so that a move costs no thread creation.
#pragma once

namespace search_pool {

// The threads a search uses when not told otherwise: as set below, else the processor's cores;
// at most the number the node table has room for.
int DefaultThreads();
// Sets the program's default (0: the processor's cores again), as a tool's --threads does.
void SetDefaultThreads(int threads);

// Runs work(context, t) for t = 0 .. threads - 1, t = 0 on the caller's thread and the others on
// helpers, and returns once every call has returned. While another search has the helpers, the
// caller runs t = 0 alone; the work must then still get done by it. Returns the threads used.
using Work = void (*)(void* context, int thread);
int Run(int threads, Work work, void* context);

// A search has the helpers now: another one would run alone.
bool Busy();

// Makes the helpers that a search on `threads` threads needs, now, on the calling thread. A page
// calls it on its main thread at start: a thread made later by the search's own thread would
// start only when the page's main thread next takes the request, and nothing may wait on that.
// Returns the helpers there are.
int Prestart(int threads);

// Test hook: the next `count` helpers fail to be made, as if the system had no memory left.
void FailHelpersForTesting(int count);

} // namespace search_pool
