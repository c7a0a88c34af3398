// A test server (tests/servers/*.py) as a real process on 127.0.0.1.
//
// Wine starts a Unix program detached from us, so we talk through its work
// folder: it publishes its ports in ports.json and logs requests to
// requests.log; on destruction we create "stop" and wait (bounded) for
// "stopped". Should the test die, the server still ends on its own when its
// lifetime runs out.
#pragma once

#include <windows.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace net_testing {

// The Unix path for a Windows path (Wine's own translation); empty on failure.
std::string UnixPathOf(const std::wstring& windowsPath);

class LoopbackServer {
 public:
  // script: file name in tests/servers; workDir: an empty folder of the test.
  LoopbackServer(const std::string& script, const std::wstring& workDir, const std::vector<std::string>& args = {});
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool ready() const { return ready_; }
  // Port of a listener ("http", "https", "expired", "misnamed", "proxy"); 0 if none.
  int port(const std::string& listener) const;
  // "http://127.0.0.1:P" (or https for the TLS listeners), no trailing slash.
  std::string base(const std::string& listener) const;
  std::wstring wbase(const std::string& listener) const;

  // Every request logged so far, oldest first.
  std::vector<nlohmann::json> Requests() const;
  std::string unixDir() const { return unixDir_; }

 private:
  std::wstring dir_;
  std::string unixDir_;
  nlohmann::json ports_;
  bool ready_ = false;
};

// Writes the machine-wide WinHTTP proxy setting (under HKEY_LOCAL_MACHINE,
// so the redirected one in tests) naming proxy, with a bypass list. Downloads
// always use the scheme's port, so this is how they reach the test servers:
// through tests/servers/test_proxy.py, which routes an invented host to them.
bool SetMachineWinHttpProxy(const std::string& proxy, const std::string& bypass);

// The bytes [offset, offset + size) of the servers' test pattern.
std::string PatternBytes(size_t offset, size_t size);

}  // namespace net_testing
