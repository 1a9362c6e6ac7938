// TThinkThread as a thread: construction and the body that runs one search.
#include "engine/think_thread.h"

TThinkThread::TThinkThread(TKey key, bool createSuspended)
    : TThread(key), TSearchWorker(&TerminateFlag()) {
    if (!createSuspended) Resume();
}

void TThinkThread::Execute() {
    FResult.store(ResultNotReady);
    FResult.store(Think());
}
