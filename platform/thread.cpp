// TThread: a worker on top of std::thread, made when it is resumed.
#include "platform/thread.h"

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
}

TThread::~TThread() {
    if (FThread.joinable()) FThread.join();
}

void TThread::Run() {
    Execute();
    FFinished.store(true, std::memory_order_release);
}

void TThread::Resume() {
    if (FResumed) return;
    FResumed = true;
    try {
        FThread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        Run();
    }
}

void TThread::WaitFor() {
    if (FThread.joinable()) FThread.join();
}
