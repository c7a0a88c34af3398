#include "base/Callback.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/TestSupport.h"

using minilib::Callback;
namespace detail = minilib::detail;

TEST(CallbackTest, CopiesShareOneBinderAndCountersReturnToZero) {
  const int binders = detail::LiveBinders();
  const int callbacks = detail::LiveCallbacks();
  int calls = 0;
  {
    auto owned = std::make_shared<int>(5);
    Callback<void()> first([&calls, owned] { calls += *owned; });
    Callback<void()> copy = first;
    Callback<void()> moved = std::move(copy);
    EXPECT_EQ(detail::LiveBinders(), binders + 1);
    EXPECT_EQ(detail::LiveCallbacks(), callbacks + 3);
    first();
    moved();
    EXPECT_EQ(calls, 10);
    EXPECT_EQ(owned.use_count(), 2);  // the one binder holds the only other copy
  }
  EXPECT_EQ(detail::LiveBinders(), binders);
  EXPECT_EQ(detail::LiveCallbacks(), callbacks);
}

namespace {
testing_support::ChildResult RunLeakChild(const wchar_t* mode) {
  return testing_support::RunChild(L"\"" + testing_support::TestBinaryDir() + L"\\leak_child.exe\" " + mode);
}
}  // namespace

TEST(CallbackTest, ProcessEndingWithALiveCallbackReportsBothCounters) {
  const auto child = RunLeakChild(L"leak");
  ASSERT_TRUE(child.started);
  EXPECT_EQ(child.exitCode, 0u);
  EXPECT_NE(child.output.find("*** Leaked objects detected: 1 instance(s) of class CBChecker"), std::string::npos)
      << child.output;
  EXPECT_NE(child.output.find("*** Leaked objects detected: 1 instance(s) of class BinderBase"), std::string::npos)
      << child.output;
}

TEST(CallbackTest, CallsLeftQueuedOnTheStoppedPoolAreNotReported) {
  for (const wchar_t* mode : {L"queued", L"none"}) {
    const auto child = RunLeakChild(mode);
    ASSERT_TRUE(child.started);
    EXPECT_EQ(child.exitCode, 0u);
    EXPECT_EQ(child.output.find("Leaked"), std::string::npos) << child.output;
  }
}
