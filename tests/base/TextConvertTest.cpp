#include "base/TextConvert.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(TextConvertTest, Utf8RoundTripKeepsEmbeddedZeros) {
  const std::wstring wide = L"a\0b\u00e9\u4e2d\U0001F600\0"s;
  const std::string utf8 = "a\0b\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80\0"s;
  EXPECT_EQ(WideToUtf8(wide), utf8);
  EXPECT_EQ(Utf8ToWide(utf8), wide);
  EXPECT_EQ(WideToUtf8(L""), "");
  EXPECT_EQ(Utf8ToWide(""), L"");
}

TEST(TextConvertTest, AnsiRoundTripKeepsEmbeddedZeros) {
  const std::wstring wide = L"x\0y\0"s;
  EXPECT_EQ(WideToAnsi(wide), "x\0y\0"s);
  EXPECT_EQ(AnsiToWide("x\0y\0"s), wide);
}

// The code page cases run in codepage_child under a chosen host locale
// (registered with ctest in this folder's CMakeLists.txt).
