#include "app/Entry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(SingletonTest, NameCarriesTheSessionId) {
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  EXPECT_EQ(AppendSessionId(L"base"), L"base_" + std::to_wstring(session));
}

TEST(SingletonTest, SecondHolderIsRefusedUntilTheFirstLetsGo) {
  UniqueHandle first;
  ASSERT_TRUE(CheckSingleton(first));
  EXPECT_TRUE(first.valid());
  UniqueHandle second;
  EXPECT_FALSE(CheckSingleton(second));
  EXPECT_FALSE(second.valid());
  first.reset();
  UniqueHandle third;
  EXPECT_TRUE(CheckSingleton(third));
}

TEST(SingletonTest, TwentyAtOnceLetExactlyOneThrough) {
  constexpr int kCount = 20;
  std::vector<UniqueHandle> holders(kCount);
  std::atomic<int> ready{0}, passed{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kCount; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready.load() < kCount) std::this_thread::yield();
      if (CheckSingleton(holders[i])) ++passed;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(passed.load(), 1);
}
