// TThread: a worker on a detached POSIX thread, made when it is resumed. Nothing ever joins or
// detaches an OS thread that may have ended, which a page's main thread could not do without
// blocking: the owner waits for the end of Execute instead, and only when it must.
#include "platform/thread.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

struct TThread::TEnd {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
};

namespace {
std::atomic<bool> gFailCreation{false};
thread_local TThread::TDeferredStarts* tDeferred = nullptr;
thread_local const TThread* tOwner = nullptr; // the object whose body this thread runs
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

TThread::TThread(TKey) : FEnd(std::make_shared<TEnd>()) {
    if (gFailCreation.load())
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "thread creation disabled for testing");
}

TThread::~TThread() {
    // TOwned has ended the body already; a subclass constructor that threw started nothing.
    LeaveDeferredQueue();
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
    if (!Finished()) WaitFor();
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

bool TThread::OnOwnThread() const {
    return tOwner == this;
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

void* TThread::Body(void* self) {
    auto* thread = static_cast<TThread*>(self);
    const std::shared_ptr<TEnd> end = thread->FEnd;
    tOwner = thread;
    thread->Run(); // from here on the owner may destroy the object
    {
        std::lock_guard<std::mutex> lock(end->mutex);
        end->done = true;
    }
    end->ended.notify_all();
    return nullptr;
}

void TThread::Start() {
    FStarted = true;
    pthread_attr_t attr;
    pthread_t id;
    const bool made = pthread_attr_init(&attr) == 0 &&
                      pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) == 0 &&
                      pthread_create(&id, &attr, &TThread::Body, this) == 0;
    pthread_attr_destroy(&attr);
    if (!made) Run(); // no thread to be had: the body runs here
}

void TThread::WaitFor() {
    if (FDeferredIn) {
        LeaveDeferredQueue();
        Start();
    }
    if (!FStarted || Finished()) return;
    std::unique_lock<std::mutex> lock(FEnd->mutex);
    FEnd->ended.wait(lock, [this] { return FEnd->done; });
}
