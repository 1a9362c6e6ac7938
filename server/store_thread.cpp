// The store's runners: at once, or on a thread of the store's own.
#include "server/store_thread.h"

namespace server {

namespace {

std::exception_ptr RunWork(const TStoreWork& work, store::TGameStore& store) {
    try {
        work(store);
        return nullptr;
    } catch (...) {
        return std::current_exception();
    }
}

} // namespace

void TInlineRunner::Run(TStoreWork work, TStoreDone done) {
    done(RunWork(work, FStore));
}

TStoreThread::TStoreThread(store::TGameStore& store,
                           std::function<void(std::function<void()>)> post)
    : FStore(store), FPost(std::move(post)), FThread([this] { Body(); }) {}

TStoreThread::~TStoreThread() {
    Stop();
}

void TStoreThread::Run(TStoreWork work, TStoreDone done) {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (!FStopping) {
            FJobs.push_back({std::move(work), std::move(done)});
            FWake.notify_one();
            return;
        }
    }
    done(RunWork(work, FStore));
}

void TStoreThread::WaitIdle() {
    std::unique_lock<std::mutex> lock(FMutex);
    FIdle.wait(lock, [this] { return FJobs.empty() && !FRunning; });
}

void TStoreThread::Stop() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (FStopping) return;
        FStopping = true;
        FWake.notify_one();
    }
    FThread.join();
}

void TStoreThread::Body() {
    std::unique_lock<std::mutex> lock(FMutex);
    for (;;) {
        FWake.wait(lock, [this] { return FStopping || !FJobs.empty(); });
        if (FJobs.empty()) return; // stopping, and nothing left to do
        TJob job = std::move(FJobs.front());
        FJobs.pop_front();
        FRunning = true;
        lock.unlock();
        std::exception_ptr failure = RunWork(job.work, FStore);
        // The continuation and what it holds go to the hub's thread; nothing of them stays here.
        FPost([done = std::move(job.done), failure]() mutable { done(failure); });
        job = {};
        lock.lock();
        FRunning = false;
        if (FJobs.empty()) FIdle.notify_all();
    }
}

} // namespace server
