// TThread: a worker thread that is created suspended, resumed once, told to stop through a
// flag its body reads, waited for and destroyed by its owner.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

enum class TThreadPriority { tpNormal };

class TThread {
  public:
    // The OS thread is made here and parks until Resume(): a base class cannot start a body
    // whose derived object is still being built. Throws std::system_error when no thread can
    // be made (see TryCreate for the no-throw form).
    TThread();
    virtual ~TThread();

    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Resume();
    void Terminate() { FTerminated.store(true, std::memory_order_relaxed); }
    // The flag the running body reads; it may hand it on to code that knows nothing of threads.
    const std::atomic<bool>& TerminateFlag() const { return FTerminated; }
    // Blocks until Execute has returned. A thread that was never resumed counts as ended.
    void WaitFor();
    bool Finished() const { return FFinished.load(std::memory_order_acquire); }

    TThreadPriority Priority = TThreadPriority::tpNormal;
    bool FreeOnTerminate = false; // kept for the owner's intent; the owner always destroys

    // Makes a thread object, or returns null when the system cannot give a thread.
    template <class T, class... Args> static std::unique_ptr<T> TryCreate(Args&&... args) {
        try {
            return std::make_unique<T>(std::forward<Args>(args)...);
        } catch (const std::system_error&) {
            return nullptr;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    // Test hook: while set, every new TThread fails as if the system had no thread left.
    static void FailCreationForTesting(bool fail);

  protected:
    virtual void Execute() = 0;

  private:
    void Run();

    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::mutex FStartLock; // guards only the start hand-over, never the game's data
    std::condition_variable FStartSignal;
    bool FStarted = false;   // resumed (under FStartLock)
    bool FCancelled = false; // destroyed before it was resumed (under FStartLock)
    std::thread FThread;
};
