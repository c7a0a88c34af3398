// Child program of the log tests: logs a fixed set of lines through the
// process logger, prints the log file's path and exits normally.
#include <cstdio>
#include <string>

#include "base/Log.h"
#include "base/TextConvert.h"

LOG_SOURCE("log_child");

namespace {

// Built before the first log line, so destroyed after the logger's teardown:
// what it logs then must be dropped.
struct LateLogger {
  ~LateLogger() { LOG_INFO("Child") << "logged after the stop"; }
} g_lateLogger;

struct Widget {
  void Method() { LOG_WARN("Child") << "from a method"; }
};

}  // namespace

int main() {
  LOG_INFO("Child") << "first line";
  LogLine(0, "Child", kLogSource, "main", 11) << "level zero";
  LogLine(7, "Child", kLogSource, "main", 12) << "level seven";
  LogLine(1, "Child", "C:\\src\\base\\some_header.h", "main", 13) << "full path";
  LogLine(1, std::string(70, 'T').c_str(), kLogSource, "main", 14) << "long tag";
  LOG_ERROR("Child") << std::string(5000, 'x');
  LOG_INFO("Child") << "narrow: " << "caf\xe9" << " wide: " << L"\u4e2d\u6587";
  LOG_INFO("Child") << "numbers " << -5 << " " << 4000000000u << " " << 18446744073709551615ull << " "
                    << reinterpret_cast<const void*>(0x1234);
  LOG_INFO("Child") << "two\nlines";
  Widget().Method();
  [] { LOG_INFO("Child") << "from a lambda"; }();
  std::printf("%s\n", WideToUtf8(Logger::Instance().path()).c_str());
  std::fflush(stdout);
  return 0;
}
