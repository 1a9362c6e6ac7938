// The search's helper threads: a fixed crew woken for each search and waited for at its end.
#include "engine/search_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/node_table.h"

namespace search_pool {

namespace {

class Pool {
  public:
    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FQuit = true;
        }
        FWake.notify_all();
        for (std::thread& t : FThreads) t.join();
    }

    int Run(int threads, Work work, void* context) {
        if (threads > 1 && !FBusy.exchange(true, std::memory_order_acquire)) {
            {
                std::lock_guard<std::mutex> lock(FMutex);
                try {
                    while (static_cast<int>(FThreads.size()) < threads - 1) {
                        const int index = static_cast<int>(FThreads.size()) + 1;
                        FThreads.emplace_back([this, index] { Serve(index); });
                    }
                } catch (const std::system_error&) {
                    // No more threads to be had: the search makes do with those there are.
                }
                threads = std::min(threads, static_cast<int>(FThreads.size()) + 1);
                FWork = work;
                FContext = context;
                FCount = threads;
                FPending = threads - 1;
                ++FGeneration;
            }
            FWake.notify_all();
            work(context, 0);
            {
                // Every helper is out of the work before the caller's data may change.
                std::unique_lock<std::mutex> lock(FMutex);
                FDone.wait(lock, [this] { return FPending == 0; });
                FWork = nullptr;
                FContext = nullptr;
            }
            FBusy.store(false, std::memory_order_release);
            return threads;
        }
        work(context, 0);
        return 1;
    }

  private:
    void Serve(int index) {
        unsigned seen = 0;
        std::unique_lock<std::mutex> lock(FMutex);
        for (;;) {
            FWake.wait(lock, [&] { return FQuit || FGeneration != seen; });
            if (FQuit) return;
            seen = FGeneration;
            if (index >= FCount) continue; // not wanted for this search
            const Work work = FWork;
            void* const context = FContext;
            lock.unlock();
            work(context, index);
            lock.lock();
            if (--FPending == 0) FDone.notify_one();
        }
    }

    std::atomic<bool> FBusy{false}; // a search has the helpers
    std::mutex FMutex;
    std::condition_variable FWake, FDone;
    std::vector<std::thread> FThreads;
    bool FQuit = false;
    unsigned FGeneration = 0; // one more for every search the helpers are woken for
    Work FWork = nullptr;
    void* FContext = nullptr;
    int FCount = 0;   // the threads of the current search, the caller included
    int FPending = 0; // helpers of the current search still at work
};

std::atomic<int> gDefault{0};

} // namespace

void SetDefaultThreads(int threads) {
    gDefault.store(threads, std::memory_order_relaxed);
}

int DefaultThreads() {
    if (const int set = gDefault.load(std::memory_order_relaxed); set > 0)
        return std::min(set, node_table::MaxThreads);
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, node_table::MaxThreads);
}

int Run(int threads, Work work, void* context) {
    static Pool pool;
    return pool.Run(std::clamp(threads, 1, node_table::MaxThreads), work, context);
}

} // namespace search_pool
