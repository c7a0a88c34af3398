#include <gtest/gtest.h>

#include "base/utils.h"
#include "tests/support/TestSupport.h"

TEST(FoldersTest, DirectoryOfPathCutsAtTheLastBackslash) {
  EXPECT_EQ(DirectoryOfPath(L"C:\\x\\y.exe"), L"C:\\x");
  EXPECT_EQ(DirectoryOfPath(L"C:\\y.exe"), L"C:");
  EXPECT_EQ(DirectoryOfPath(L"y.exe"), L"");
}

TEST(FoldersTest, ModuleDirectoryIsTheTestBinaryFolder) {
  const std::wstring dir = GetModuleDirectory();
  EXPECT_EQ(dir, testing_support::TestBinaryDir());
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), L'\\');
  EXPECT_TRUE(testing_support::FileExists(dir + L"\\base_tests.exe"));
}

TEST(FoldersTest, LocalAppDataFolderExistsWithoutTrailingBackslash) {
  const std::wstring dir = GetLocalAppDataFolder();
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), L'\\');
  const DWORD attributes = GetFileAttributesW(dir.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}
