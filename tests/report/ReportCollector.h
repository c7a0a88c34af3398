// tests/servers/report_collector.py as a real process on 127.0.0.1.
//
// Wine starts a Unix program detached from us, so everything goes through
// the work folder: the collector publishes its port in ports.json and logs
// each request to requests.log; on destruction we create "stop" and wait
// (bounded) for "stopped". Should the test die, the collector still ends when
// its lifetime runs out.
#pragma once

#include <windows.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace report_testing {

class ReportCollector {
 public:
  explicit ReportCollector(const std::wstring& workDir);
  ~ReportCollector();
  ReportCollector(const ReportCollector&) = delete;
  ReportCollector& operator=(const ReportCollector&) = delete;

  bool ready() const { return port_ != 0; }
  // "127.0.0.1:PORT", the collection host for a library client.
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

  // Every request logged so far, oldest first.
  std::vector<nlohmann::json> Requests() const;
  // Waits (bounded) until at least count requests are logged.
  std::vector<nlohmann::json> WaitForRequests(size_t count) const;

 private:
  std::wstring dir_;
  bool started_ = false;
  int port_ = 0;
};

}  // namespace report_testing
