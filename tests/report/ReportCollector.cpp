#include "tests/report/ReportCollector.h"

#include <sstream>

#include "base/TextConvert.h"
#include "tests/support/TestSupport.h"

#ifndef ORVO_TEST_SERVERS_DIR
#error "ORVO_TEST_SERVERS_DIR must name tests/servers as a Unix path"
#endif

namespace report_testing {

namespace {

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

}  // namespace

ReportCollector::ReportCollector(const std::wstring& workDir) : dir_(workDir) {
  const std::string unixDir = UnixPathOf(workDir);
  if (unixDir.empty()) return;
  // The lifetime stays below ctest's timeout for one case.
  std::wstring commandLine = Utf8ToWide("/usr/bin/python3 \"" ORVO_TEST_SERVERS_DIR "/report_collector.py\" --dir \"" +
                                        unixDir + "\" --lifetime 110");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  started_ = true;

  const std::wstring portsFile = dir_ + L"\\ports.json";
  for (int waited = 0; waited < 30000; waited += 20) {
    if (testing_support::FileExists(portsFile)) {
      const auto ports = nlohmann::json::parse(testing_support::ReadFileBytes(portsFile), nullptr, false);
      if (ports.is_object() && ports.contains("https")) port_ = ports["https"].get<int>();
      break;
    }
    Sleep(20);
  }
}

ReportCollector::~ReportCollector() {
  if (!started_) return;
  testing_support::WriteFileBytes(dir_ + L"\\stop", "stop\n");
  // Let it finish writing before the test removes the folder.
  for (int waited = 0; waited < 5000 && !testing_support::FileExists(dir_ + L"\\stopped"); waited += 20) Sleep(20);
}

std::vector<nlohmann::json> ReportCollector::Requests() const {
  std::vector<nlohmann::json> entries;
  std::istringstream lines(testing_support::ReadFileBytes(dir_ + L"\\requests.log"));
  for (std::string line; std::getline(lines, line);) {
    auto entry = nlohmann::json::parse(line, nullptr, false);
    if (!entry.is_discarded()) entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<nlohmann::json> ReportCollector::WaitForRequests(size_t count) const {
  std::vector<nlohmann::json> entries = Requests();
  for (int waited = 0; entries.size() < count && waited < 20000; waited += 20) {
    Sleep(20);
    entries = Requests();
  }
  return entries;
}

}  // namespace report_testing
