// TThinkThread as a thread: construction and the body that runs one search.
#include "engine/think_thread.h"

TThinkThread::TThinkThread(TKey key, bool createSuspended)
    : TThread(key), TSearchWorker(&TerminateFlag()) {
    if (!createSuspended) Resume();
}

void TThinkThread::Execute() {
    FResult.store(ResultNotReady);
    // On a thread of its own the search may wait for a stopped one to let go of the table; run
    // in the caller's stead (no thread to be had) it must not block the caller.
    FResult.store(Think(OnOwnThread()));
}
