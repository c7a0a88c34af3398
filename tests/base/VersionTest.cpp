#include <gtest/gtest.h>

#include "base/utils.h"
#include "tests/support/TestSupport.h"

TEST(VersionTest, ParseVersionTable) {
  struct Case {
    const wchar_t* text;
    bool valid;
    std::uint64_t value;
  } const kCases[] = {
      {L"1.2.3.4", true, 0x0001000200030004ull},
      {L"v1.2.3.4", true, 0x0001000200030004ull},
      {L"6.4.1782.202", true, 0x0006000406F600CAull},
      {L"0.0.0.0", true, 0},
      {L"1.2.3", false, 0x0001000200000003ull},
      {L"", false, 0},
      {L"...", true, 0},
      {L"1.2.3.65536", true, 0x0001000200040000ull},  // spills into the third field
      {L"1.65536.0.0", true, 0x0002000000000000ull},  // and from the second into the first
      {L" 1 . 2 .x3. 4 ", true, 0x0001000200030004ull},
      {L"1.2.3.4.5", true, 0x0001000200030009ull},  // later fields are added unshifted
  };
  for (const Case& c : kCases) {
    std::uint64_t value = 99;
    EXPECT_EQ(ParseVersion(c.text, value), c.valid) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(value, c.value) << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(VersionTest, FileWithVersionResource) {
  const std::wstring dll = testing_support::TestBinaryDir() + L"\\versioned_library.dll";
  EXPECT_EQ(GetFileVersion(dll), 0x0006000406F600CAull);
  EXPECT_TRUE(IsFileVersionAtLeast(dll, L"6.4.1782.202"));
  EXPECT_TRUE(IsFileVersionAtLeast(dll, L"6.4.1782.201"));
  EXPECT_TRUE(IsFileVersionAtLeast(dll, L"0.0.0.0"));
  EXPECT_FALSE(IsFileVersionAtLeast(dll, L"6.4.1782.203"));
  EXPECT_FALSE(IsFileVersionAtLeast(dll, L"7.0.0.0"));
  EXPECT_FALSE(IsFileVersionAtLeast(dll, L"6.4"));  // not a valid version text
}

TEST(VersionTest, FileWithoutVersionResource) {
  for (const wchar_t* name : {L"\\unversioned_library.dll", L"\\no_such_file.dll"}) {
    const std::wstring path = testing_support::TestBinaryDir() + name;
    EXPECT_EQ(GetFileVersion(path), 0u) << testing::PrintToString(path);
    EXPECT_TRUE(IsFileVersionAtLeast(path, L"0.0.0.0"));
    EXPECT_FALSE(IsFileVersionAtLeast(path, L"0.0.0.1"));
    EXPECT_FALSE(IsFileVersionAtLeast(path, L"6.4.1782.202"));
  }
}
