// The report front: every part of the program reports through SendEvent and
// SendClickEvent. The front holds the identifiers every event carries and one
// sender, chosen at start-up, that carries the event away (the report library
// or the HTTPS channel). Reporting never affects the caller: nothing is
// returned and nothing a sender does comes back.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "report/ReportEvent.h"

// An event on its way to the sender: only the keys the send operation set.
using ReportEventJson = nlohmann::json;

class DataReport {
 public:
  using Sender = std::function<void(ReportEventJson)>;

  // The process's front, created on first use, never destroyed before exit.
  static DataReport& Instance();

  // Reads the machine identifier and the OS version and installs the
  // library sender.
  DataReport();
  // The same with the given identifier instead of the machine's (tests).
  explicit DataReport(const std::array<std::uint8_t, 16>& machineId);
  DataReport(const DataReport&) = delete;
  DataReport& operator=(const DataReport&) = delete;

  // {"ireserve1": code, "ireserve5": value5, "ireserve6": value6, "ireserve7": value7}.
  // Any thread.
  void SendEvent(std::int32_t code, std::int32_t value5, std::int32_t value6, std::int32_t value7);
  // {"ireserve0": code}. Any thread.
  void SendClickEvent(std::int32_t code);

  // The library sender: the record of LibraryRecord goes to the report
  // library manager. Runs on the caller's thread.
  void ReportThroughLibrary(ReportEventJson event);
  // The event as the library receives it: type 2, ireserve9 the low half of
  // client_version, strreserve0 = strcommon0. Throws nlohmann::json::type_error
  // for a value of the wrong type.
  ReportEvent LibraryRecord(const ReportEventJson& event) const;

  // Replaces the sender. Start-up only, before events come from other threads.
  void SetSender(Sender sender);

  // The sender of the HTTPS channel: posts each event to the worker pool,
  // where ReportDataByHttp sends it. The caller never waits.
  Sender HttpSender();
  // Sends one event as a signed POST to the report server; a failure is
  // logged ("report data error") and dropped. Worker threads.
  void ReportDataByHttp(ReportEventJson event);

  // Identifiers, written during start-up only (by the global configuration).
  std::uint64_t client_version = 0;
  std::uint64_t supplyid = 0;
  std::string guid;  // machine identifier, 32 lower-case hex digits
  std::string strcommon0;
  std::wstring language;
  std::uint32_t sys_major = 0;
  std::uint32_t sys_minor = 0;
  std::uint32_t sys_build = 0;

 private:
  void Send(ReportEventJson event);
  void ReadSystemFacts();

  Sender sender_;
};

// The OS version as RtlGetNtVersionNumbers reports it; sys_build keeps only
// the low 16 bits of the build number (the top bits mark release builds).
struct NtVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
};
NtVersion NtVersionFromNumbers(std::uint32_t major, std::uint32_t minor, std::uint32_t rawBuild);
