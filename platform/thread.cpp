// TThread: the parked-then-resumed worker on top of std::thread.
#include "platform/thread.h"

#include <system_error>

namespace {
std::atomic<bool> gFailCreation{false};
}

void TThread::FailCreationForTesting(bool fail) {
    gFailCreation.store(fail);
}

TThread::TThread() {
    if (gFailCreation.load())
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "thread creation disabled for testing");
    FThread = std::thread([this] { Run(); });
}

TThread::~TThread() {
    {
        std::lock_guard<std::mutex> lock(FStartLock);
        if (!FStarted) FCancelled = true;
    }
    FStartSignal.notify_one();
    if (FThread.joinable()) FThread.join();
}

void TThread::Run() {
    {
        std::unique_lock<std::mutex> lock(FStartLock);
        FStartSignal.wait(lock, [this] { return FStarted || FCancelled; });
        if (FCancelled) return;
    }
    Execute();
    FFinished.store(true, std::memory_order_release);
}

void TThread::Resume() {
    {
        std::lock_guard<std::mutex> lock(FStartLock);
        FStarted = true;
    }
    FStartSignal.notify_one();
}

void TThread::WaitFor() {
    bool started;
    {
        std::lock_guard<std::mutex> lock(FStartLock);
        started = FStarted;
    }
    if (started && FThread.joinable()) FThread.join();
}
