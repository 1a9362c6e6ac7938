// The search's helper threads: a fixed crew woken for each search and waited for at its end.
#include "engine/search_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "engine/node_table.h"

namespace search_pool {

namespace {

std::atomic<int> gFailHelpers{0};

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
        if (threads <= 1 || FBusy.exchange(true, std::memory_order_acquire)) {
            work(context, 0);
            return 1;
        }
        // Whatever happens below, the next search finds the helpers free again.
        struct Release {
            std::atomic<bool>& busy;
            ~Release() { busy.store(false, std::memory_order_release); }
        } release{FBusy};
        {
            std::lock_guard<std::mutex> lock(FMutex);
            threads = std::min(threads, Grow(threads - 1) + 1);
            FWork = work;
            FContext = context;
            FCount = threads;
            FPending = threads - 1;
            ++FGeneration;
        }
        FWake.notify_all();
        work(context, 0);
        // Every helper is out of the work before the caller's data may change.
        std::unique_lock<std::mutex> lock(FMutex);
        FDone.wait(lock, [this] { return FPending == 0; });
        FWork = nullptr;
        FContext = nullptr;
        return threads;
    }

    bool Busy() const { return FBusy.load(std::memory_order_acquire); }

    int Prestart(int helpers) {
        std::lock_guard<std::mutex> lock(FMutex);
        return Grow(helpers);
    }

  private:
    // Makes helpers up to `helpers` (FMutex held); returns how many there are. Running short of
    // threads or memory is no error: a search makes do with the helpers there are.
    int Grow(int helpers) {
        try {
            while (static_cast<int>(FThreads.size()) < helpers) {
                if (gFailHelpers.load() > 0 && gFailHelpers.fetch_sub(1) > 0)
                    throw std::bad_alloc();
                const int index = static_cast<int>(FThreads.size()) + 1;
                FThreads.emplace_back([this, index] { Serve(index); });
            }
        } catch (...) {
        }
        return static_cast<int>(FThreads.size());
    }

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

Pool& ThePool() {
    static Pool pool;
    return pool;
}

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
    return ThePool().Run(std::clamp(threads, 1, node_table::MaxThreads), work, context);
}

bool Busy() {
    return ThePool().Busy();
}

int Prestart(int threads) {
    return ThePool().Prestart(std::clamp(threads, 1, node_table::MaxThreads) - 1);
}

void FailHelpersForTesting(int count) {
    gFailHelpers.store(count);
}

} // namespace search_pool
