#include <gtest/gtest.h>

#include "base/Handles.h"
#include "base/utils.h"
#include "tests/support/TestSupport.h"

using testing_support::FileExists;
using testing_support::ScratchDir;

namespace {

UniqueModule LoadResourceHost() {
  const std::wstring path = testing_support::TestBinaryDir() + L"\\resource_host.exe";
  return UniqueModule(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

}  // namespace

TEST(ResourcesTest, WritesTheCustomResourceReplacingAnExistingFile) {
  ScratchDir dir;
  UniqueModule host = LoadResourceHost();
  ASSERT_TRUE(host);
  const std::wstring path = dir / L"payload.bin";
  ASSERT_TRUE(testing_support::WriteFileBytes(path, std::string(5000, 'o')));
  ASSERT_TRUE(ExtractResourceToFile(host.get(), 134, path));
  const std::string expected("ORVO resource payload\r\n\x00\x01\x02\xff end", 31);
  EXPECT_EQ(testing_support::ReadFileBytes(path), expected);
}

TEST(ResourcesTest, MissingResourceOrArgumentsWriteNothing) {
  ScratchDir dir;
  UniqueModule host = LoadResourceHost();
  ASSERT_TRUE(host);
  const std::wstring path = dir / L"payload.bin";
  EXPECT_FALSE(ExtractResourceToFile(host.get(), 135, path));
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(ExtractResourceToFile(nullptr, 134, path));
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(ExtractResourceToFile(host.get(), 134, L""));
  EXPECT_FALSE(ExtractResourceToFile(host.get(), 134, dir / L"no_such_folder\\payload.bin"));
}
