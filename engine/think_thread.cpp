// TThinkThread as a thread: construction, the body that runs one search, and a safe end.
#include "engine/think_thread.h"

TThinkThread::TThinkThread(bool createSuspended) : TSearch(&TerminateFlag()) {
    if (!createSuspended) Resume();
}

TThinkThread::~TThinkThread() {
    // The body runs on this object; if an owner ever destroys a running search without waiting,
    // stop it at its next node and wait, rather than let it outlive the object it reads.
    if (!Finished()) Terminate();
    WaitFor();
}

void TThinkThread::Execute() {
    FResult.store(ResultNotReady);
    FResult.store(Think());
}
