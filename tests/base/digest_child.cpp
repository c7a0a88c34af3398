// Child program of the digest tests: "digest_child <path>" prints the file's
// digest (or "<empty>") and then the log file's path, one per line.
#include <cstdio>
#include <string>

#include "base/Log.h"
#include "base/utils.h"

int wmain(int argc, wchar_t** argv) {
  const std::wstring digest = argc > 1 ? GetFileHexMd5(argv[1]) : std::wstring();
  std::printf("%s\n", digest.empty() ? "<empty>" : WideToUtf8(digest).c_str());
  std::printf("%s\n", WideToUtf8(Logger::Instance().path()).c_str());
  std::fflush(stdout);
  return 0;
}
