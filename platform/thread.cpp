// TThread: a worker on top of std::thread, made when it is resumed.
#include "platform/thread.h"

#include <algorithm>

namespace {
std::atomic<bool> gFailCreation{false};
thread_local TThread::TDeferredStarts* tDeferred = nullptr;
} // namespace

TThread::TDeferredStarts::TDeferredStarts() : FOuter(tDeferred) {
    tDeferred = this;
}

TThread::TDeferredStarts::~TDeferredStarts() {
    tDeferred = FOuter;
    const std::vector<TThread*> queued = std::move(FQueued);
    for (TThread* t : queued) t->FDeferredIn = nullptr;
    for (TThread* t : queued) t->Start();
}

void TThread::FailCreationForTesting(bool fail) {
    gFailCreation.store(fail);
}

TThread::TThread(TKey) {
    if (gFailCreation.load())
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "thread creation disabled for testing");
}

TThread::~TThread() {
    // TOwned has ended the body already; this covers a subclass constructor that threw.
    LeaveDeferredQueue();
    if (FThread.joinable()) FThread.join();
}

void TThread::Built() {
    FBuilt = true;
    if (FResumed) {
        FResumed = false;
        Resume();
    }
}

void TThread::Stop() {
    Terminate();
    if (Finished() && FThread.joinable())
        FThread.detach(); // past Execute: nothing of the object is touched any more
    else
        WaitFor();
}

void TThread::LeaveDeferredQueue() {
    if (!FDeferredIn) return;
    std::erase(FDeferredIn->FQueued, this);
    FDeferredIn = nullptr;
}

void TThread::Run() {
    Execute();
    FFinished.store(true, std::memory_order_release);
}

void TThread::Resume() {
    if (FResumed) return;
    FResumed = true;
    if (!FBuilt) return; // resumed from a constructor: Built() starts it
    if (tDeferred) {
        tDeferred->FQueued.push_back(this);
        FDeferredIn = tDeferred;
        return;
    }
    Start();
}

void TThread::Start() {
    try {
        FThread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        Run();
    }
}

void TThread::WaitFor() {
    if (FDeferredIn) {
        LeaveDeferredQueue();
        Start();
    }
    if (FThread.joinable()) FThread.join();
}
