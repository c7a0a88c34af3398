#include "base/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/TestSupport.h"

using minilib::Callback;
using minilib::WorkerPool;
using namespace std::chrono_literals;

namespace {

template <typename F>
Callback<void()> Bind(F f) {
  return Callback<void()>(std::move(f));
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

}  // namespace

TEST(WorkerPoolTest, WorkerCountIsTheHardwareCountAndAtLeastOne) {
  EXPECT_EQ(WorkerPool::WorkerCountFor(0), 1u);
  EXPECT_EQ(WorkerPool::WorkerCountFor(1), 1u);
  EXPECT_EQ(WorkerPool::WorkerCountFor(4), 4u);
}

TEST(WorkerPoolTest, TwoWorkersRunTwoCallsAtTheSameTime) {
  WorkerPool pool;
  pool.Start(2);
  std::atomic<int> inside{0};
  std::atomic<int> sawBoth{0};
  for (int i = 0; i < 2; ++i) {
    pool.Post(Bind([&] {
      ++inside;
      // Each call waits until the other one is running too.
      if (WaitFor([&] { return inside.load() == 2; }, 5s)) ++sawBoth;
    }));
  }
  EXPECT_TRUE(WaitFor([&] { return sawBoth.load() == 2; }));
  pool.Stop();
}

TEST(WorkerPoolTest, StopLetsRunningCallsFinishAndLeavesQueuedOnesUnrun) {
  const int callbacks = minilib::detail::LiveCallbacks();
  std::atomic<bool> started{false}, finished{false}, queuedRan{false};
  {
    WorkerPool pool;
    pool.Start(1);
    pool.Post(Bind([&] {
      started = true;
      std::this_thread::sleep_for(300ms);
      finished = true;
    }));
    for (int i = 0; i < 3; ++i) pool.Post(Bind([&] { queuedRan = true; }));
    ASSERT_TRUE(WaitFor([&] { return started.load(); }));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(pool.Stop());
    EXPECT_TRUE(finished.load());
    EXPECT_GE(std::chrono::steady_clock::now() - before, 150ms);
    EXPECT_FALSE(pool.running());
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(queuedRan.load());
  }
  // The pool's teardown released the queued calls.
  EXPECT_EQ(minilib::detail::LiveCallbacks(), callbacks);
  EXPECT_FALSE(queuedRan.load());
}

TEST(WorkerPoolTest, StartWhileRunningAndStopWhileStoppedDoNothing) {
  WorkerPool pool;
  EXPECT_TRUE(pool.Stop());  // never started
  pool.Start(1);
  pool.Start(3);  // still one worker: a second call blocks until the first returns
  std::atomic<int> inside{0}, maxInside{0}, done{0};
  for (int i = 0; i < 3; ++i) {
    pool.Post(Bind([&] {
      const int now = ++inside;
      int seen = maxInside.load();
      while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
      }
      std::this_thread::sleep_for(20ms);
      --inside;
      ++done;
    }));
  }
  ASSERT_TRUE(WaitFor([&] { return done.load() == 3; }));
  EXPECT_EQ(maxInside.load(), 1);
  EXPECT_TRUE(pool.Stop());
  EXPECT_TRUE(pool.Stop());
  EXPECT_FALSE(pool.running());
}

TEST(WorkerPoolTest, CallsPostedWhileStoppedRunAfterTheNextStart) {
  WorkerPool pool;
  std::atomic<int> ran{0};
  pool.Post(Bind([&] { ++ran; }));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(ran.load(), 0);
  pool.Start(2);
  EXPECT_TRUE(WaitFor([&] { return ran.load() == 1; }));
  pool.Stop();
}

TEST(WorkerPoolTest, StopFromAWorkerIsRefusedWithoutDeadlock) {
  WorkerPool pool;
  pool.Start(2);
  std::atomic<int> answer{-1};
  pool.Post(Bind([&] { answer = pool.Stop() ? 1 : 0; }));
  ASSERT_TRUE(WaitFor([&] { return answer.load() != -1; }));
  EXPECT_EQ(answer.load(), 0);
  EXPECT_TRUE(pool.running());
  EXPECT_TRUE(pool.Stop());
}

TEST(WorkerPoolTest, ProcessPoolRunsPostedCalls) {
  std::atomic<bool> ran{false};
  WorkerPool::Instance().Post(Bind([&] { ran = true; }));
  EXPECT_TRUE(WaitFor([&] { return ran.load(); }));
  EXPECT_TRUE(WorkerPool::Instance().running());
}
