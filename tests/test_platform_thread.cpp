// TThread: no OS thread until Resume, one run of the body however often it is resumed, and the
// test hook that makes creation fail, and starts deferred to the end of a scope.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/thread.h"

namespace {

class TCounting : public TThread {
  public:
    std::atomic<int> runs{0};

  protected:
    void Execute() override { ++runs; }
};

// The process's threads as Linux lists them; -1 elsewhere.
int ThreadCount() {
    std::error_code error;
    int n = 0;
    for (std::filesystem::directory_iterator it("/proc/self/task", error), end; !error && it != end;
         it.increment(error))
        ++n;
    return error ? -1 : n;
}

TEST(Thread, NoOsThreadBeforeResume) {
    const int before = ThreadCount();
    if (before < 0) GTEST_SKIP() << "no /proc/self/task to count threads";
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
    t->WaitFor(); // a second wait returns at once
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

} // namespace
