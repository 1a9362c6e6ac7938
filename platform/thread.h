// TThread: a worker thread that is created suspended, resumed once, told to stop through a
// flag its body reads, waited for and destroyed by its owner.
#pragma once

#include <atomic>
#include <memory>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

class TThread {
  protected:
    // Only TryCreate makes one of these, so every thread object is made by TryCreate.
    class TKey {
        TKey() = default;
        friend class TThread;
    };

  public:
    // No OS thread yet: it is made by Resume(), so an object that only ever runs its operations
    // on the caller's thread never costs one. Throws std::system_error while the test hook
    // below is set. A subclass takes the key first and hands it on.
    explicit TThread(TKey);
    virtual ~TThread();

    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Makes a thread object of class T (a subclass constructed from a TKey and args), or returns
    // null when the system cannot give one. The object it returns stops its body (terminate
    // flag) and waits for it before any of T's own members are destroyed, so a body can never
    // run on a half-destroyed object, however its owner lets it go.
    template <class T, class... Args> static std::unique_ptr<T> TryCreate(Args&&... args) {
        try {
            return std::make_unique<TOwned<T>>(TKey(), std::forward<Args>(args)...);
        } catch (const std::system_error&) {
            return nullptr;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    // Starts Execute on a thread of its own; at most once. When the system gives no thread,
    // Execute runs here instead, as a worker that could not be made does in the game. Called
    // from a subclass's constructor, it starts once the object is whole.
    void Resume();
    void Terminate() { FTerminated.store(true, std::memory_order_relaxed); }
    // The flag the running body reads; it may hand it on to code that knows nothing of threads.
    const std::atomic<bool>& TerminateFlag() const { return FTerminated; }
    // Blocks until Execute has returned. A thread that was never resumed counts as ended; one
    // whose start was deferred starts now.
    void WaitFor();
    // Execute has returned. What is left of the OS thread touches nothing of this object, so
    // destroying it now waits for nothing (which a page's main thread relies on).
    bool Finished() const { return FFinished.load(std::memory_order_acquire); }
    // Called from Execute: it runs on the thread this object made, not in the caller's stead
    // (as when the system gave no thread). Only then may the body block its thread at will.
    bool OnOwnThread() const;

    // Test hook: while set, every new TThread fails as if the system had no thread left.
    static void FailCreationForTesting(bool fail);

    // Scripted sessions: while one of these lives, Resume() called on its thread queues the
    // start, and the queued threads start when it ends. A session that polls a worker in the
    // tick that started it then never finds it already finished, so what the session shows
    // does not depend on how fast the machine starts a thread. Scopes nest; a thread queued in
    // any of them and destroyed or waited for first leaves that scope's queue.
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
    // What TryCreate makes: T, with a destructor that runs before T's and ends the body first.
    template <class T> class TOwned final : public T {
      public:
        template <class... Args>
        explicit TOwned(TKey key, Args&&... args) : T(key, std::forward<Args>(args)...) {
            this->Built();
        }
        ~TOwned() override { this->Stop(); }
    };

    struct TEnd; // how a waiting owner hears that Execute has returned
    static void* Body(void* self);

    void Built();
    void Stop();
    void Start();
    void Run();
    void LeaveDeferredQueue();

    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    // The owner's own records: Resume, WaitFor and the end are all its calls.
    bool FResumed = false;
    bool FBuilt = false;                    // TryCreate has finished making the object
    bool FStarted = false;                  // Execute runs, or has run
    TDeferredStarts* FDeferredIn = nullptr; // the scope whose queue holds this thread
    // Shared with the OS thread, which still signals it after the object may have gone.
    std::shared_ptr<TEnd> FEnd;
};
