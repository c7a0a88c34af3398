// The code page test, run by ctest under a chosen host locale (Wine takes the
// ANSI code page from it): "codepage_child 936" expects the Chinese
// double-byte code page, "codepage_child 1252" the Western single-byte one.
// Prints what it checked and exits 0 only when everything held.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/TextConvert.h"

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) ++g_failures;
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned expected = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 0;
  const std::wstring cjkPath = L"C:\\\u6e38\u620f\\Saffrel\\";  // "游戏"
  const std::wstring latinPath = L"C:\\Program Files\\Saffrel\\";
  std::printf("ANSI code page %u\n", GetACP());
  Check(GetACP() == expected, "the expected ANSI code page");
  Check(!ContainsDoubleByteChars(latinPath), "a Latin path has no double-byte characters");
  Check(!ContainsDoubleByteChars(L""), "an empty path has no double-byte characters");
  if (expected == 936) {
    Check(ContainsDoubleByteChars(cjkPath), "a Chinese path has double-byte characters");
    Check(WideToAnsi(L"a\u6e38z") == "a\xd3\xcez", "WideToAnsi gives the GBK bytes");
    Check(AnsiToWide(WideToAnsi(cjkPath)) == cjkPath, "a Chinese path survives the round trip");
  } else {
    Check(!ContainsDoubleByteChars(cjkPath), "a Chinese path has no double-byte characters here");
    Check(WideToAnsi(L"a\u6e38z") == "a?z", "an unrepresentable character becomes the substitute");
    Check(WideToAnsi(L"caf\u00e9") == "caf\xe9", "a Western character keeps its byte");
  }
  return g_failures == 0 ? 0 : 1;
}
