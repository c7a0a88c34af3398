// DownloadComponentXml against two test servers on the manifest host's and
// the content host's ports of this build.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/TextConvert.h"
#include "tests/component/InstallRunFixture.h"

using install_testing::InstallRunTest;
using install_testing::kFallbackManifestPath;
using install_testing::kManifestPath;
using testing_support::ReadFileBytes;

namespace {

constexpr char kPrimaryUrl[] = "https://127.0.0.1:47101/downloads/xml/compoment.xml";
constexpr char kFallbackUrl[] = "https://127.0.0.1:47102/open/vela/xml/compoment.xml";

// The files in %TEMP%\OrvoDownload\ of this test.
std::vector<std::wstring> StoredFiles(const std::wstring& folder) {
  std::vector<std::wstring> files;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return files;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) files.push_back(folder + data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return files;
}

int FailureLines(const testing_support::LogCapture& log, const std::string& url) {
  int n = 0;
  for (const std::string& line : log.Lines()) {
    if (line.find("[Error][ComponentXml][component][CMainWnd::DownloadComponentXml] download component file use " +
                  url + " failed. http code: ") == 0) {
      ++n;
    }
  }
  return n;
}

TEST_F(InstallRunTest, ManifestSourcesInTurn) {
  struct Case {
    const char* what;
    const char* primary;   // the primary's manifest, nullptr for none (404)
    const char* fallback;  // the fallback's
    const char* stored;    // what the stored file holds, nullptr when the call fails
  };
  const Case kCases[] = {
      {"primary good", "<components>primary</components>", "<components>fallback</components>",
       "<components>primary</components>"},
      {"primary 404", nullptr, "<components>fallback</components>", "<components>fallback</components>"},
      {"primary 200 with an empty body", "", "<components>fallback</components>", "<components>fallback</components>"},
      {"neither", nullptr, nullptr, nullptr},
  };
  StartServers(/*fallback=*/true);
  const std::wstring folder = dir / L"temp\\OrvoDownload\\";
  for (const Case& test : kCases) {
    SCOPED_TRACE(test.what);
    NewRun();
    testing_support::RemoveTree(ServerDir() + L"\\site");
    testing_support::RemoveTree(FallbackDir() + L"\\site");
    testing_support::RemoveTree(folder);
    if (test.primary != nullptr) WriteSite(ServerDir(), kManifestPath, test.primary);
    if (test.fallback != nullptr) WriteSite(FallbackDir(), kFallbackManifestPath, test.fallback);
    const int primaryFailures = FailureLines(log, kPrimaryUrl);
    const int fallbackFailures = FailureLines(log, kFallbackUrl);

    const std::wstring path = Window().DownloadComponentXml();
    const std::vector<std::wstring> stored = StoredFiles(folder);
    ASSERT_EQ(stored.size(), 1u);  // made before the fetch, kept after a failure
    if (test.stored != nullptr) {
      EXPECT_EQ(path, stored[0]);
      EXPECT_EQ(ReadFileBytes(path), test.stored);
      EXPECT_EQ(Window().installOutcome(), kOutcomeSuccess);
      EXPECT_TRUE(log.Contains("[Info][ComponentXml][component][CMainWnd::DownloadComponentXml] download component xml "
                               "success. file path: " +
                               WideToUtf8(path)));
    } else {
      EXPECT_TRUE(path.empty());
      EXPECT_EQ(ReadFileBytes(stored[0]), "");
      EXPECT_EQ(Window().installOutcome(), kOutcomeManifestDownload);
    }
    const bool primaryFailed = test.primary == nullptr || *test.primary == '\0';
    EXPECT_EQ(FailureLines(log, kPrimaryUrl) - primaryFailures, primaryFailed ? 1 : 0);
    EXPECT_EQ(FailureLines(log, kFallbackUrl) - fallbackFailures, test.stored == nullptr ? 1 : 0);
  }
  // The primary's 404 is the status in its line.
  EXPECT_TRUE(log.Contains(std::string(kPrimaryUrl) + " failed. http code: 404 error code: "));
  // The fallback is asked only after a primary failure: three times here.
  int fallbackRequests = 0;
  for (const auto& request : fallback->Requests()) fallbackRequests += request["path"] == "/open/vela/xml/compoment.xml";
  EXPECT_EQ(fallbackRequests, 3);
}

}  // namespace
