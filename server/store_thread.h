// Where the hub's store work runs. A runner takes a piece of work for the store and what the
// hub does with its result; the work runs with the store, then the continuation on the hub's
// thread, with the exception the work ended by, if any. The store thread keeps a slow disk from
// freezing the connections; the inline runner does both at once, for the tests and tools.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "server/store.h"

namespace server {

using TStoreWork = std::function<void(store::TGameStore&)>;
using TStoreDone = std::function<void(std::exception_ptr failure)>;

class TStoreRunner {
  public:
    virtual ~TStoreRunner() = default;
    // Runs work with the store, then done on the hub's thread; works run in the order given,
    // and so do their continuations.
    virtual void Run(TStoreWork work, TStoreDone done) = 0;
};

// The work and its continuation at once, on the caller's thread.
class TInlineRunner final : public TStoreRunner {
  public:
    explicit TInlineRunner(store::TGameStore& store) : FStore(store) {}
    void Run(TStoreWork work, TStoreDone done) override;

  private:
    store::TGameStore& FStore;
};

// A thread of its own for the store: the works run there one after another, and each
// continuation is handed to post, which runs it on the hub's thread (the network's loop).
class TStoreThread final : public TStoreRunner {
  public:
    TStoreThread(store::TGameStore& store, std::function<void(std::function<void()>)> post);
    // Stop(), when it has not been.
    ~TStoreThread() override;
    TStoreThread(const TStoreThread&) = delete;
    TStoreThread& operator=(const TStoreThread&) = delete;

    void Run(TStoreWork work, TStoreDone done) override;
    // Returns once every work given so far has run and its continuation been posted.
    void WaitIdle();
    // Runs what is queued, then ends the thread. Work given after it runs at once, with its
    // continuation, on the caller's thread.
    void Stop();

  private:
    struct TJob {
        TStoreWork work;
        TStoreDone done;
    };
    void Body();

    store::TGameStore& FStore;
    std::function<void(std::function<void()>)> FPost;
    std::mutex FMutex;
    std::condition_variable FWake, FIdle;
    std::deque<TJob> FJobs; // guarded by FMutex
    bool FRunning = false;  // a job is out of FJobs and not yet posted; guarded by FMutex
    bool FStopping = false; // guarded by FMutex
    std::thread FThread;
};

} // namespace server
