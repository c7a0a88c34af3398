// Child program of the crash-dump test: installs the product's crash filter,
// prints every report event it is handed, and crashes.
#include <cstdio>

#include "app/Entry.h"
#include "report/DataReport.h"

int main() {
  DataReport::Instance().SetSender([](ReportEventJson event) {
    std::printf("event %s\n", event.dump().c_str());
    std::fflush(stdout);
  });
  // No crash dialog or debugger after the filter: the process just ends.
  SetErrorMode(SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(&OnUnhandledException);
  *static_cast<volatile int*>(nullptr) = 1;
  return 0;
}
