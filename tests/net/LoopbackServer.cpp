#include "tests/net/LoopbackServer.h"

#include <sstream>

#include "base/TextConvert.h"
#include "tests/support/TestSupport.h"

#ifndef ORVO_TEST_SERVERS_DIR
#error "ORVO_TEST_SERVERS_DIR must name tests/servers as a Unix path"
#endif

namespace net_testing {

std::string UnixPathOf(const std::wstring& windowsPath) {
  using ToUnix = char*(__cdecl*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (toUnix == nullptr) return {};
  char* path = toUnix(windowsPath.c_str());
  if (path == nullptr) return {};
  std::string result = path;
  HeapFree(GetProcessHeap(), 0, path);
  return result;
}

LoopbackServer::LoopbackServer(const std::string& script, const std::wstring& workDir,
                               const std::vector<std::string>& args)
    : dir_(workDir), unixDir_(UnixPathOf(workDir)) {
  if (unixDir_.empty()) return;
  // The lifetime stays below ctest's timeout for one case.
  std::string command = "/usr/bin/python3 \"" ORVO_TEST_SERVERS_DIR "/" + script + "\" --dir \"" + unixDir_ +
                        "\" --lifetime 110";
  for (const auto& a : args) command += " " + a;
  std::wstring commandLine = Utf8ToWide(command);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  const std::wstring portsFile = dir_ + L"\\ports.json";
  for (int waited = 0; waited < 30000; waited += 20) {
    if (testing_support::FileExists(portsFile)) {
      ports_ = nlohmann::json::parse(testing_support::ReadFileBytes(portsFile), nullptr, false);
      ready_ = ports_.is_object();
      break;
    }
    Sleep(20);
  }
}

LoopbackServer::~LoopbackServer() {
  if (unixDir_.empty()) return;
  testing_support::WriteFileBytes(dir_ + L"\\stop", "stop\n");
  // Let it finish writing before the test removes the folder.
  for (int waited = 0; waited < 5000 && !testing_support::FileExists(dir_ + L"\\stopped"); waited += 20) Sleep(20);
}

int LoopbackServer::port(const std::string& listener) const {
  if (!ports_.is_object() || !ports_.contains(listener)) return 0;
  return ports_[listener].get<int>();
}

std::string LoopbackServer::base(const std::string& listener) const {
  const bool tls = listener == "https" || listener == "expired" || listener == "misnamed";
  return std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port(listener));
}

std::wstring LoopbackServer::wbase(const std::string& listener) const { return Utf8ToWide(base(listener)); }

std::vector<nlohmann::json> LoopbackServer::Requests() const {
  std::vector<nlohmann::json> entries;
  std::istringstream lines(testing_support::ReadFileBytes(dir_ + L"\\requests.log"));
  for (std::string line; std::getline(lines, line);) {
    auto entry = nlohmann::json::parse(line, nullptr, false);
    if (!entry.is_discarded()) entries.push_back(std::move(entry));
  }
  return entries;
}

std::string PatternBytes(size_t offset, size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    const size_t j = (offset + i) % 65536;
    bytes[i] = static_cast<char>(((j * 7) + (j >> 8)) & 0xFF);
  }
  return bytes;
}

bool SetMachineWinHttpProxy(const std::string& proxy, const std::string& bypass) {
  // WinHTTP's own record of the machine-wide proxy: a header (0x18, 0,
  // flags 2 = named proxy), then the proxy and the bypass list as
  // length-prefixed ASCII.
  std::string blob;
  auto put = [&blob](DWORD v) { blob.append(reinterpret_cast<const char*>(&v), sizeof v); };
  put(0x18);
  put(0);
  put(2);
  put(static_cast<DWORD>(proxy.size()));
  blob += proxy;
  put(static_cast<DWORD>(bypass.size()));
  blob += bypass;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections",
                      0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LSTATUS status = RegSetValueExW(key, L"WinHttpSettings", 0, REG_BINARY,
                                        reinterpret_cast<const BYTE*>(blob.data()), static_cast<DWORD>(blob.size()));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

}  // namespace net_testing
