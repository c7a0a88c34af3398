#include "base/PostedCallQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "base/WorkerPool.h"
#include "tests/support/TestSupport.h"

using testing_support::TestWindow;

TEST(PostedCallQueueTest, TenCallsFromAWorkerRunInOrderOnTheWindowThread) {
  TestWindow window;
  ASSERT_NE(window.hwnd(), nullptr);
  const DWORD windowThread = GetCurrentThreadId();
  std::vector<int> order;
  std::vector<DWORD> threads;
  minilib::WorkerPool pool;
  pool.Start(2);
  pool.Post(minilib::Callback<void()>([&] {
    for (int i = 0; i < 10; ++i) {
      window.queue().Post([&, i] {
        order.push_back(i);
        threads.push_back(GetCurrentThreadId());
      });
    }
  }));
  ASSERT_TRUE(window.PumpUntil([&] { return order.size() == 10; }));
  pool.Stop();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  for (DWORD id : threads) EXPECT_EQ(id, windowThread);
}

TEST(PostedCallQueueTest, EachMessageRunsExactlyOneCall) {
  TestWindow window;
  int ran = 0;
  window.queue().Post([&] { ++ran; });
  window.queue().Post([&] { ++ran; });
  SendMessageW(window.hwnd(), WM_POSTED_CALL, 0, 0);
  EXPECT_EQ(ran, 1);
  SendMessageW(window.hwnd(), WM_POSTED_CALL, 0, 0);
  EXPECT_EQ(ran, 2);
  SendMessageW(window.hwnd(), WM_POSTED_CALL, 0, 0);  // nothing left: no effect
  EXPECT_EQ(ran, 2);
  window.PumpUntil([] { return false; }, std::chrono::milliseconds(50));  // the two posted messages find nothing
  EXPECT_EQ(ran, 2);
}

TEST(PostedCallQueueTest, CallsPostedAfterTheWindowIsGoneNeverRun) {
  std::atomic<int> ran{0};
  auto window = std::make_unique<TestWindow>();
  window->queue().Post([&] { ++ran; });  // queued, not yet delivered
  window->Destroy();
  window->queue().Post([&] { ++ran; });
  minilib::WorkerPool pool;
  pool.Start(1);
  std::atomic<bool> posted{false};
  pool.Post(minilib::Callback<void()>([&] {
    window->queue().Post([&] { ++ran; });
    posted = true;
  }));
  TestWindow other;
  other.PumpUntil([&] { return posted.load(); });
  other.PumpUntil([] { return false; }, std::chrono::milliseconds(50));
  pool.Stop();
  window.reset();
  EXPECT_EQ(ran.load(), 0);
}
