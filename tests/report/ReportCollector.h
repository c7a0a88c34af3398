// tests/servers/report_collector.py as a real process on 127.0.0.1 (started
// and stopped like the other test servers, see tests/net/LoopbackServer.h).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/net/LoopbackServer.h"

namespace report_testing {

class ReportCollector {
 public:
  explicit ReportCollector(const std::wstring& workDir) : server_("report_collector.py", workDir) {}

  bool ready() const { return server_.ready() && server_.port("https") != 0; }
  // "127.0.0.1:PORT", the collection host for a library client.
  std::string host() const { return "127.0.0.1:" + std::to_string(server_.port("https")); }

  // Every request logged so far, oldest first.
  std::vector<nlohmann::json> Requests() const { return server_.Requests(); }
  // Waits (bounded) until at least count requests are logged.
  std::vector<nlohmann::json> WaitForRequests(size_t count) const;

 private:
  net_testing::LoopbackServer server_;
};

}  // namespace report_testing
