#include "component/InstallRules.h"

#include <gtest/gtest.h>

namespace {

TEST(InstallRulesTest, DownloadAndInstallFolders) {
  EXPECT_EQ(ComponentDownloadDir(L"C:\\T\\", L"UI"), L"C:\\T\\UI\\");
  EXPECT_EQ(ComponentDownloadDir(L"C:\\T\\", L""), L"C:\\T\\\\");
  EXPECT_EQ(ComponentInstallFolder(L"D:\\Product\\", L"UI"), L"D:\\Product\\UI");
  EXPECT_EQ(ComponentInstallFolder(L"D:\\Product\\", L""), L"D:\\Product\\");
}

TEST(InstallRulesTest, DigestComparison) {
  struct Case {
    const wchar_t* digest;
    const wchar_t* hash;
    bool matches;
  };
  const Case kCases[] = {
      {L"900150983cd24fb0d6963f7d28e17f72", L"900150983cd24fb0d6963f7d28e17f72", true},
      {L"900150983cd24fb0d6963f7d28e17f72", L"900150983CD24FB0D6963F7D28E17F72", true},
      {L"900150983cd24fb0d6963f7d28e17f72", L"900150983cd24fb0d6963f7d28e17f73", false},
      {L"900150983cd24fb0d6963f7d28e17f72", L"900150983cd24fb0d6963f7d28e17f7", false},
      {L"900150983cd24fb0d6963f7d28e17f72", L"", false},
      // An unreadable file (empty digest) never passes, not even against an
      // empty hash.
      {L"", L"", false},
      {L"", L"900150983cd24fb0d6963f7d28e17f72", false},
  };
  for (const Case& test : kCases) {
    EXPECT_EQ(DigestMatches(test.digest, test.hash), test.matches) << "[" << test.digest << "] [" << test.hash << "]";
  }
}

TEST(InstallRulesTest, NoDesktopIconOnlyForPortalisWithoutPackageOrIcon) {
  struct Case {
    std::int32_t id;
    const char* pkgName;
    bool createMarketIcon;
    const wchar_t* arguments;
  };
  const Case kCases[] = {
      {7, "", false, L"-nodesktopIcon"},
      {7, "com.orvo.game", false, L""},
      {7, "", true, L""},
      {7, "com.orvo.game", true, L""},
      {1, "", false, L""},
      {2, "", false, L""},
      {-1, "", false, L""},
  };
  for (const Case& test : kCases) {
    EXPECT_EQ(InstallerArguments(test.id, test.pkgName, test.createMarketIcon), test.arguments)
        << test.id << " [" << test.pkgName << "] " << test.createMarketIcon;
  }
}

TEST(InstallRulesTest, ExitCodes) {
  EXPECT_EQ(SetupResultCode(0), 0u);
  EXPECT_EQ(SetupResultCode(1000), 0u);
  EXPECT_EQ(SetupResultCode(1), 1u);
  EXPECT_EQ(SetupResultCode(1001), 1001u);
  EXPECT_TRUE(InstallerSucceeded(0));
  EXPECT_FALSE(InstallerSucceeded(1000));
  EXPECT_FALSE(InstallerSucceeded(1));
}

}  // namespace
