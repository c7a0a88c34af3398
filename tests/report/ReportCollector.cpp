#include "tests/report/ReportCollector.h"

#include <windows.h>

namespace report_testing {

std::vector<nlohmann::json> ReportCollector::WaitForRequests(size_t count) const {
  std::vector<nlohmann::json> entries = Requests();
  for (int waited = 0; entries.size() < count && waited < 20000; waited += 20) {
    Sleep(20);
    entries = Requests();
  }
  return entries;
}

}  // namespace report_testing
