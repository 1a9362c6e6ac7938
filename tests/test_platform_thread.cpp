// TThread: no OS thread until Resume, one run of the body however often it is resumed, the test
// hook that makes creation fail, starts deferred to the end of a scope, and a body that never
// outlives its object.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "platform/thread.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>
#endif

namespace {

class TCounting : public TThread {
  public:
    using TThread::TThread;
    std::atomic<int> runs{0};
    std::atomic<bool> onOwnThread{false};

  protected:
    void Execute() override {
        ++runs;
        onOwnThread = OnOwnThread();
    }
};

// The process's threads as the system lists them (Linux's /proc, Windows' snapshot); -1 when
// it cannot.
int ThreadCount() {
#ifdef _WIN32
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int n = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        n += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return n;
#else
    std::error_code error;
    int n = 0;
    for (std::filesystem::directory_iterator it("/proc/self/task", error), end; !error && it != end;
         it.increment(error))
        ++n;
    return error ? -1 : n;
#endif
}

TEST(Thread, NoOsThreadBeforeResume) {
    const int before = ThreadCount();
    ASSERT_GT(before, 0) << "the process's threads cannot be listed";
    std::vector<std::unique_ptr<TCounting>> parked;
    for (int i = 0; i < 16; ++i) parked.push_back(TThread::TryCreate<TCounting>());
    EXPECT_EQ(ThreadCount(), before);
    for (const auto& t : parked) EXPECT_EQ(t->runs.load(), 0);
}

TEST(Thread, ResumedOnceRunsOnceAndWaitForJoins) {
    auto t = TThread::TryCreate<TCounting>();
    ASSERT_NE(t, nullptr);
    EXPECT_FALSE(t->Finished());
    t->Resume();
    t->Resume();
    t->WaitFor();
    EXPECT_TRUE(t->Finished());
    EXPECT_EQ(t->runs.load(), 1);
    EXPECT_TRUE(t->onOwnThread.load());
    EXPECT_FALSE(t->OnOwnThread()); // asked here, on the owner's thread
    t->WaitFor();                   // a second wait returns at once
}

TEST(Thread, TestHookMakesCreationFail) {
    TThread::FailCreationForTesting(true);
    EXPECT_EQ(TThread::TryCreate<TCounting>(), nullptr);
    TThread::FailCreationForTesting(false);
    EXPECT_NE(TThread::TryCreate<TCounting>(), nullptr);
}

TEST(Thread, DeferredStartsBeginWhenTheScopeEnds) {
    auto started = TThread::TryCreate<TCounting>();
    auto dropped = TThread::TryCreate<TCounting>();
    {
        TThread::TDeferredStarts deferred;
        started->Resume();
        dropped->Resume();
        dropped.reset(); // destroyed while queued: never started, nothing left behind
        EXPECT_EQ(started->runs.load(), 0);
        EXPECT_FALSE(started->Finished());
    }
    started->WaitFor();
    EXPECT_EQ(started->runs.load(), 1);
}

// A body that works on a member of its subclass until it is told to stop; the subclass's
// destructor notes whether the body had ended by the time its members began to go.
std::atomic<int> gEndedBeforeMembersWent{-1};
class TBusy : public TThread {
  public:
    TBusy(TKey key, bool resumeNow) : TThread(key), data(64, 1) {
        if (resumeNow) Resume(); // must wait until the object is whole
    }
    ~TBusy() override { gEndedBeforeMembersWent = ended.load(); }
    std::atomic<bool> started{false}, ended{false};
    std::vector<int> data;
    std::atomic<long> sum{0};

  protected:
    void Execute() override {
        started = true;
        while (!TerminateFlag().load())
            for (int v : data) sum += v;
        ended = true;
    }
};

TEST(Thread, DestroyedWhileRunningEndsTheBodyBeforeTheSubclassGoes) {
    for (bool resumeInConstructor : {false, true}) {
        gEndedBeforeMembersWent = -1;
        auto t = TThread::TryCreate<TBusy>(resumeInConstructor);
        ASSERT_NE(t, nullptr);
        if (!resumeInConstructor) t->Resume();
        while (!t->started.load()) std::this_thread::yield();
        t.reset(); // no Terminate, no WaitFor: the object itself must see to both
        EXPECT_EQ(gEndedBeforeMembersWent.load(), 1);
    }
}

TEST(Thread, FinishedThreadIsDestroyedAndNeverStartedOneNeverRuns) {
    auto done = TThread::TryCreate<TCounting>();
    done->Resume();
    while (!done->Finished()) std::this_thread::yield();
    done.reset(); // past its body: nothing to wait for
    gEndedBeforeMembersWent = -1;
    TThread::TryCreate<TBusy>(false).reset();
    EXPECT_EQ(gEndedBeforeMembersWent.load(), 0); // never started, so never ended either
}

TEST(Thread, DeferredStartsNestAndForgetThreadsDestroyedInAnyScope) {
    auto outerQueued = TThread::TryCreate<TCounting>();
    auto waitedEarly = TThread::TryCreate<TCounting>();
    auto innerQueued = TThread::TryCreate<TCounting>();
    {
        TThread::TDeferredStarts outer;
        outerQueued->Resume();
        waitedEarly->Resume();
        {
            TThread::TDeferredStarts inner;
            innerQueued->Resume();
            outerQueued.reset();    // queued by the outer scope, gone inside the inner one
            waitedEarly->WaitFor(); // a wait starts a queued thread rather than hang or skip it
            EXPECT_EQ(waitedEarly->runs.load(), 1);
        }
        innerQueued->WaitFor();
        EXPECT_EQ(innerQueued->runs.load(), 1);
    } // the outer scope must start nothing it no longer holds (ASan sees a dangling start)
    waitedEarly->WaitFor();
    EXPECT_EQ(waitedEarly->runs.load(), 1);
}

} // namespace
