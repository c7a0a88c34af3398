#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/Log.h"
#include "base/TextConvert.h"
#include "tests/support/TestSupport.h"

namespace {

std::wstring ProductExe() {
  std::wstring path = L"Z:" + Utf8ToWide(ORVO_PRODUCT_EXE_UNIX);
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

std::int64_t Now100ns() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return ((static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) - 116444736000000000LL;
}

}  // namespace

TEST(EntryTest, PlainRunLogsStartAndEndAndReturnsZero) {
  wchar_t temp[MAX_PATH + 1];
  const std::wstring tempDir(temp, GetTempPathW(MAX_PATH + 1, temp));
  const std::int64_t before = Now100ns();
  const auto run = testing_support::RunChild(L"\"" + ProductExe() + L"\"");
  const std::int64_t after = Now100ns();
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u);

  // The log is named after the second the run started in.
  std::string log;
  for (std::int64_t t = before - before % 10000000; t <= after && log.empty(); t += 10000000) {
    const std::wstring path = MakeLogFilePath(tempDir, ProductExe(), ToLocalTimestamp(t));
    log = testing_support::ReadFileBytes(path);
    if (!log.empty()) DeleteFileW(path.c_str());
  }
  ASSERT_FALSE(log.empty());
  const size_t start = log.find("[Info][Main][OrvoDownloader][wWinMain@");
  ASSERT_NE(start, std::string::npos) << log;
  EXPECT_NE(log.find("] OrvoDownload Start.\r\n", start), std::string::npos) << log;
  const size_t end = log.find("] OrvoDownload End.\r\n", start);
  ASSERT_NE(end, std::string::npos) << log;
  EXPECT_TRUE(log.ends_with(" End...\r\n")) << log;
}
