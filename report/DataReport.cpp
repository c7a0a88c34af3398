#include "report/DataReport.h"

#include <windows.h>

#include <utility>

namespace {

NtVersion QueryNtVersion() {
  using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  NtVersion version;
  HMODULE ntdll = LoadLibraryW(L"Ntdll.dll");
  if (ntdll == nullptr) return version;
  auto query = reinterpret_cast<RtlGetNtVersionNumbersFn>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetNtVersionNumbers")));
  if (query != nullptr) {
    DWORD major = 0, minor = 0, build = 0;
    query(&major, &minor, &build);
    version = NtVersionFromNumbers(major, minor, build);
  }
  FreeLibrary(ntdll);
  return version;
}

}  // namespace

NtVersion NtVersionFromNumbers(std::uint32_t major, std::uint32_t minor, std::uint32_t rawBuild) {
  return NtVersion{major, minor, rawBuild & 0xFFFF};
}

DataReport& DataReport::Instance() {
  // Never destroyed: the crash handler and late workers may still report.
  static DataReport* const front = new DataReport();
  return *front;
}

DataReport::DataReport() {
  const NtVersion version = QueryNtVersion();
  sys_major = version.major;
  sys_minor = version.minor;
  sys_build = version.build;
  // Until start-up picks a channel, events have nowhere to go.
  sender_ = [](ReportEventJson) {};
}

void DataReport::SetSender(Sender sender) { sender_ = std::move(sender); }

void DataReport::SendEvent(std::int32_t code, std::int32_t value5, std::int32_t value6, std::int32_t value7) {
  ReportEventJson event = ReportEventJson::object();
  event["ireserve1"] = static_cast<std::int64_t>(code);
  event["ireserve5"] = static_cast<std::int64_t>(value5);
  event["ireserve6"] = static_cast<std::int64_t>(value6);
  event["ireserve7"] = static_cast<std::int64_t>(value7);
  Send(std::move(event));
}

void DataReport::SendClickEvent(std::int32_t code) {
  ReportEventJson event = ReportEventJson::object();
  event["ireserve0"] = static_cast<std::int64_t>(code);
  Send(std::move(event));
}

void DataReport::Send(ReportEventJson event) {
  if (sender_) sender_(std::move(event));
}
