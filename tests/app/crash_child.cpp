// Child program of the crash-dump test: installs the product's crash filter,
// prints every report event it is handed, and crashes.
#include <cstdio>

#include "app/Entry.h"
#include "report/DataReport.h"

namespace {
// The product's filter, then an end without the system's crash handling, so
// no debugger attaches to the test's child.
LONG WINAPI FilterThenExit(EXCEPTION_POINTERS* pointers) {
  const LONG result = OnUnhandledException(pointers);
  std::printf("filter returned %ld\n", result);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 3);
  return result;
}
}  // namespace

int main() {
  DataReport::Instance().SetSender([](ReportEventJson event) {
    std::printf("event %s\n", event.dump().c_str());
    std::fflush(stdout);
  });
  SetUnhandledExceptionFilter(&FilterThenExit);
  *static_cast<volatile int*>(nullptr) = 1;
  return 0;
}
