#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/Entry.h"
#include "base/Log.h"
#include "base/TextConvert.h"
#include "base/utils.h"
#include "config/GlobalConfig.h"
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

// The product keeps its settings in this prefix's registry; each run here
// starts from none and leaves none behind.
void ForgetProductSettings() {
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quenlo");
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Quenlo");
}

struct ProductRun {
  testing_support::ChildResult child;
  std::string log;
};

// Runs the product and collects the log of its run (named after the second
// it started in), removing the log file.
ProductRun RunProduct() {
  wchar_t temp[MAX_PATH + 1];
  const std::wstring tempDir(temp, GetTempPathW(MAX_PATH + 1, temp));
  ProductRun run;
  const std::int64_t before = Now100ns();
  run.child = testing_support::RunChild(L"\"" + ProductExe() + L"\"");
  const std::int64_t after = Now100ns();
  for (std::int64_t t = before - before % 10000000; t <= after; t += 10000000) {
    const std::wstring path = MakeLogFilePath(tempDir, ProductExe(), ToLocalTimestamp(t));
    run.log += testing_support::ReadFileBytes(path);
    DeleteFileW(path.c_str());
  }
  return run;
}

// The text of the first line holding marker, from marker on.
std::string LineWith(const std::string& log, const std::string& marker) {
  const size_t at = log.find(marker);
  if (at == std::string::npos) return {};
  return log.substr(at, log.find("\r\n", at) - at);
}

std::wstring UnpackedLibrary() { return GetLocalAppDataFolder() + L"\\Quenlo\\Saffrel\\OrvoDownloader/dr.dll"; }
const char kReleaseLine[] = "] dr.dll md5 is not equal or existed. release dr.dll to: ";

class EntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetProductSettings();
    // Every case starts without an unpacked report library.
    DeleteFileW(UnpackedLibrary().c_str());
    RemoveDirectoryW(UnpackedLibrary().c_str());
  }
  void TearDown() override {
    // The run made its component download folder under the drive it chose.
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, kProductKey, L"TempPath", RRF_RT_REG_SZ, nullptr, value, &size) ==
        ERROR_SUCCESS) {
      const std::wstring tempPath = value;  // <root>Temp\Dunmere\Component\ when the run made it
      const size_t at = tempPath.rfind(L"Temp\\Dunmere\\Component\\");
      if (at != std::wstring::npos && at == 3) testing_support::RemoveTree(tempPath.substr(0, at) + L"Temp\\Dunmere");
    }
    ForgetProductSettings();
  }
};

}  // namespace

TEST_F(EntryTest, PlainRunLogsItsStepsAndReturnsZero) {
  const ProductRun run = RunProduct();
  ASSERT_TRUE(run.child.started);
  EXPECT_EQ(run.child.exitCode, 0u);
  const std::string& log = run.log;
  ASSERT_FALSE(log.empty());
  const size_t start = log.find("[Info][Main][OrvoDownloader][wWinMain@");
  ASSERT_NE(start, std::string::npos) << log;
  EXPECT_NE(log.find("] OrvoDownload Start.\r\n", start), std::string::npos) << log;
  EXPECT_NE(LineWith(log, "[Info][Main][OrvoDownloader][InitDataReport@").find(
                "] dr.dll md5 is not equal or existed. release dr.dll to: "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("[GConfig][GlobalConfig][GlobalConfig::InitParamsFromSelf@"), std::string::npos) << log;
  EXPECT_NE(log.find("] need install pkg []\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("] current language: zh_CN\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("][GlobalConfig::GlobalConfig@"), std::string::npos) << log;
  EXPECT_NE(log.find("] client id: 190912\r\n"), std::string::npos) << log;
  const size_t end = log.find("] OrvoDownload End.\r\n", start);
  ASSERT_NE(end, std::string::npos) << log;
  EXPECT_TRUE(log.ends_with(" End...\r\n")) << log;
  EXPECT_EQ(log.find("only run one instance"), std::string::npos);
}

TEST_F(EntryTest, SecondInstanceOfTheSessionStopsAtTheLock) {
  UniqueHandle first;  // this test stands in for the first instance
  ASSERT_TRUE(CheckSingleton(first));
  const ProductRun run = RunProduct();
  ASSERT_TRUE(run.child.started);
  EXPECT_EQ(run.child.exitCode, 0u);
  EXPECT_NE(run.log.find("[Info][Main][OrvoDownloader][wWinMain@"), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("] OrvoDownloader only run one instance\r\n"), std::string::npos) << run.log;
  // The configuration is built before the lock is tested.
  EXPECT_NE(run.log.find("] client id: 190912\r\n"), std::string::npos) << run.log;
  EXPECT_EQ(run.log.find("OrvoDownload End."), std::string::npos) << run.log;
  EXPECT_TRUE(run.log.ends_with(" End...\r\n")) << run.log;
}


TEST_F(EntryTest, ReportLibraryIsUnpackedWhenMissingAndLeftWhenCurrent) {
  const std::wstring library = UnpackedLibrary();
  DeleteFileW(library.c_str());
  const ProductRun first = RunProduct();
  EXPECT_EQ(first.child.exitCode, 0u);
  EXPECT_NE(first.log.find(kReleaseLine + WideToUtf8(library) + "\r\n"), std::string::npos) << first.log;
  EXPECT_EQ(GetFileHexMd5(library), ReportLibraryMd5);
  EXPECT_GE(GetFileVersion(library), 0x0006000406F600CAull);

  const ProductRun second = RunProduct();
  EXPECT_EQ(second.child.exitCode, 0u);
  EXPECT_EQ(second.log.find("release dr.dll"), std::string::npos) << second.log;
  EXPECT_NE(second.log.find("] OrvoDownload End.\r\n"), std::string::npos) << second.log;
}

TEST_F(EntryTest, FolderInPlaceOfTheLibraryLeavesTheRunOnTheHttpChannel) {
  const std::wstring library = UnpackedLibrary();
  DeleteFileW(library.c_str());
  ASSERT_TRUE(CreateDirectoryW(library.c_str(), nullptr));
  const ProductRun run = RunProduct();
  RemoveDirectoryW(library.c_str());
  EXPECT_EQ(run.child.exitCode, 0u);
  EXPECT_NE(run.log.find(kReleaseLine), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("] OrvoDownload End.\r\n"), std::string::npos) << run.log;
  EXPECT_TRUE(run.log.ends_with(" End...\r\n")) << run.log;
}
