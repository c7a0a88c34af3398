// The host of the report library: binds its five exports, counts its users,
// builds the environment record once, and hands every event to a fresh
// library client with the fixed header and the encoded blocks.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "report/ReportClient.h"
#include "report/ReportEncoding.h"
#include "report/ReportEvent.h"

namespace OrvoReportMgr {

class CReportManager {
 public:
  // The process's manager, created on first use, destroyed at process exit.
  static CReportManager& Instance();

  // collectHost: the library's collection server as "host" or "host:port";
  // the process's manager uses the build's collection host.
  explicit CReportManager(std::string collectHost);
  ~CReportManager();
  CReportManager(const CReportManager&) = delete;
  CReportManager& operator=(const CReportManager&) = delete;

  // Binds the library at path (UTF-16) and calls its Init(1), or counts one
  // more user when it is bound already. False when the file can't be loaded
  // or lacks one of the five exports (it is unloaded again).
  bool Load(const std::wstring& path);
  // Hands one event to a new client of the library. True when the client
  // says it was sent; false when no library is loaded or no client came.
  // Any thread; events go out one at a time.
  bool Report(const ReportEvent& event);
  // One user less; the last one calls UnInit(10000) and unloads the library.
  // True when this was the last use.
  bool Release();

  // Written once by the global configuration at the end of its construction.
  std::uint64_t clientVersion = 0;
  std::uint64_t reservedValue = 0;  // never set
  std::uint32_t supplyId = 0;
  std::string guid;

 private:
  bool Bind(const std::string& ansiPath);
  void Unbind();
  bool Prepare();
  bool Exchange(ClientDataReport::IReportClient* client, const ReportEvent& event);

  std::string collectHost_;
  std::unique_ptr<ReportEnvironment> environment_;
  bool loaded_ = false;
  CRITICAL_SECTION exchangeLock_;
  bool prepared_ = false;
  CRITICAL_SECTION managerLock_;
  std::atomic<long> useCount_{0};

  HMODULE module_ = nullptr;
  ClientDataReport::InitFn init_ = nullptr;
  ClientDataReport::CreateIReportClientFn createClient_ = nullptr;
  ClientDataReport::ReleaseIReportClientFn releaseClient_ = nullptr;
  ClientDataReport::GetGuidFn getGuid_ = nullptr;
  ClientDataReport::UnInitFn unInit_ = nullptr;
};

// The environment record's system facts: OS version, processor architecture,
// system language and browser version (zero where a query fails).
void QuerySystemEnvironment(ReportEnvironment& environment);

}  // namespace OrvoReportMgr
