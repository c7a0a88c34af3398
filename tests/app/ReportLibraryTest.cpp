#include "app/Entry.h"

#include <gtest/gtest.h>

#include "base/utils.h"
#include "tests/support/TestSupport.h"

namespace {
std::wstring Fixture(const wchar_t* name) {
  const std::wstring dir = testing_support::TestBinaryDir();
  return dir.substr(0, dir.rfind(L'\\')) + L"\\base\\" + name;
}
}  // namespace

TEST(ReportLibraryCheckTest, FileStaysOnlyWhenRegularCurrentAndMatching) {
  testing_support::ScratchDir dir;
  const std::wstring versioned = Fixture(L"versioned_library.dll");      // 6.4.1782.202
  const std::wstring unversioned = Fixture(L"unversioned_library.dll");  // no version resource
  const std::wstring versionedMd5 = GetFileHexMd5(versioned);
  const std::wstring unversionedMd5 = GetFileHexMd5(unversioned);
  ASSERT_EQ(versionedMd5.size(), 32u);
  std::wstring upper = versionedMd5;
  for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
  struct Case {
    const char* name;
    std::wstring path, minVersion, md5;
    bool current;
  } const kCases[] = {
      {"current and matching", versioned, ReportLibraryMinVersion, versionedMd5, true},
      {"digest in capitals", versioned, ReportLibraryMinVersion, upper, true},
      {"other digest", versioned, ReportLibraryMinVersion, unversionedMd5, false},
      {"newer version wanted", versioned, L"6.4.1782.203", versionedMd5, false},
      {"no version resource, digest matching", unversioned, ReportLibraryMinVersion, unversionedMd5, false},
      {"missing file", dir / L"dr.dll", ReportLibraryMinVersion, versionedMd5, false},
      {"a folder", dir.path(), L"0.0.0.0", versionedMd5, false},
  };
  for (const Case& c : kCases) EXPECT_EQ(IsReportLibraryCurrent(c.path, c.minVersion, c.md5), c.current) << c.name;
}
