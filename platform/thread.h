// TThread: a worker thread that is created suspended, resumed once, told to stop through a
// flag its body reads, waited for and destroyed by its owner.
#pragma once

#include <atomic>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

class TThread {
  public:
    // No OS thread yet: it is made by Resume(), so an object that only ever runs its operations
    // on the caller's thread never costs one. Throws std::system_error while the test hook
    // below is set (see TryCreate for the no-throw form).
    TThread();
    virtual ~TThread();

    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts Execute on a thread of its own; at most once. When the system gives no thread,
    // Execute runs here instead, as a worker that could not be made does in the game.
    void Resume();
    void Terminate() { FTerminated.store(true, std::memory_order_relaxed); }
    // The flag the running body reads; it may hand it on to code that knows nothing of threads.
    const std::atomic<bool>& TerminateFlag() const { return FTerminated; }
    // Blocks until Execute has returned. A thread that was never resumed counts as ended.
    void WaitFor();
    bool Finished() const { return FFinished.load(std::memory_order_acquire); }

    // Makes a thread object, or returns null when the system cannot give one.
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

    // Scripted sessions: while one of these lives, Resume() called on its thread queues the
    // start, and the queued threads start when it ends. A session that polls a worker in the
    // tick that started it then never finds it already finished, so what the session shows
    // does not depend on how fast the machine starts a thread.
    class TDeferredStarts {
      public:
        TDeferredStarts();
        ~TDeferredStarts();
        TDeferredStarts(const TDeferredStarts&) = delete;
        TDeferredStarts& operator=(const TDeferredStarts&) = delete;

      private:
        friend class TThread;
        std::vector<TThread*> FQueued;
        TDeferredStarts* FOuter;
    };

  protected:
    virtual void Execute() = 0;

  private:
    void Start();
    void Run();

    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    bool FResumed = false; // the owner's own record: Resume, WaitFor and the end are all its calls
    std::thread FThread;
};
