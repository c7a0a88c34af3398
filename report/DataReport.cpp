#include "report/DataReport.h"

#include <windows.h>

#include <utility>

#include "report/MachineId.h"
#include "report/ReportManager.h"

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
  OrvoMacID::MachineIdBytes id{};
  OrvoMacID::CSeqIDGenerator::GetId(id.data());
  guid = OrvoMacID::MachineIdText(id);
  ReadSystemFacts();
}

DataReport::DataReport(const std::array<std::uint8_t, 16>& machineId) {
  guid = OrvoMacID::MachineIdText(machineId);
  ReadSystemFacts();
}

void DataReport::ReadSystemFacts() {
  const NtVersion version = QueryNtVersion();
  sys_major = version.major;
  sys_minor = version.minor;
  sys_build = version.build;
  // Start-up replaces this by the HTTP sender when the library didn't load.
  sender_ = [this](ReportEventJson event) { ReportThroughLibrary(std::move(event)); };
}

ReportEvent DataReport::LibraryRecord(const ReportEventJson& event) const {
  ReportEvent record = ReportEventFromJson(event);
  record.type = 2;
  record.ireserve[9] = static_cast<std::int64_t>(client_version & 0xFFFFFFFFu);
  record.strreserve[0] = strcommon0;
  return record;
}

void DataReport::ReportThroughLibrary(ReportEventJson event) {
  ReportEvent record;
  try {
    record = LibraryRecord(event);
  } catch (const nlohmann::json::exception&) {
    return;  // not an event of ours; reporting never disturbs the caller
  }
  OrvoReportMgr::CReportManager::Instance().Report(record);
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
