#include "app/Entry.h"

#include <gtest/gtest.h>

#include <set>

#include "base/utils.h"
#include "tests/support/TestSupport.h"

namespace {
std::set<std::wstring> Dumps(const std::wstring& dir) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"\\*.dmp").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.insert(data.cFileName);
  while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}
}  // namespace

TEST(CrashDumpTest, PathIsSecondsUnderDownloaderDumps) {
  EXPECT_EQ(CrashDumpPath(L"C:\\Users\\u\\AppData\\Local", 1576666000),
            L"C:\\Users\\u\\AppData\\Local\\downloader_dumps\\1576666000.dmp");
  EXPECT_EQ(CrashDumpPath(L"C:\\L", -5), L"C:\\L\\downloader_dumps\\-5.dmp");
}

TEST(CrashDumpTest, CrashSendsTheEventAndWritesADump) {
  const std::wstring dir = GetLocalAppDataFolder() + L"\\downloader_dumps";
  const std::set<std::wstring> before = Dumps(dir);
  const auto run = testing_support::RunChild(L"\"" + testing_support::TestBinaryDir() + L"\\crash_child.exe\"");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 3u);
  EXPECT_NE(run.output.find("filter returned 0"), std::string::npos) << run.output;  // EXCEPTION_CONTINUE_SEARCH
  EXPECT_NE(run.output.find(R"(event {"ireserve1":1002,"ireserve5":0,"ireserve6":0,"ireserve7":0})"),
            std::string::npos)
      << run.output;
  std::set<std::wstring> added;
  for (const std::wstring& name : Dumps(dir)) {
    if (!before.count(name)) added.insert(name);
  }
  ASSERT_EQ(added.size(), 1u);
  const std::wstring dump = dir + L"\\" + *added.begin();
  const std::string bytes = testing_support::ReadFileBytes(dump);
  DeleteFileW(dump.c_str());
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 4), "MDMP");
}
