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
    for (TThread* t : FQueued) t->Start();
}

void TThread::FailCreationForTesting(bool fail) {
    gFailCreation.store(fail);
}

TThread::TThread() {
    if (gFailCreation.load())
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "thread creation disabled for testing");
}

TThread::~TThread() {
    if (tDeferred) std::erase(tDeferred->FQueued, this);
    if (FThread.joinable()) FThread.join();
}

void TThread::Run() {
    Execute();
    FFinished.store(true, std::memory_order_release);
}

void TThread::Resume() {
    if (FResumed) return;
    FResumed = true;
    if (tDeferred) {
        tDeferred->FQueued.push_back(this);
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
    if (FThread.joinable()) FThread.join();
}
