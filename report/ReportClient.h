// The interface between the program and its report library: the client
// object a library hands out, and the five exports (32-bit __stdcall,
// undecorated names). Shared by the host (ReportManager) and by reportlib/.
#pragma once

#include <cstdint>

namespace OrvoReportMgr {
struct ReportHeader;
}

namespace ClientDataReport {

// Slots in this order; the program calls 0 to 3 and never deletes a client
// through the destructor (it goes back through ReleaseIReportClient).
class IReportClient {
 public:
  virtual int BeginReport(const OrvoReportMgr::ReportHeader* header) = 0;       // 0
  virtual int SetHeadBlock(const std::uint8_t* bytes, std::uint32_t size) = 0;  // 1
  virtual int AddBodyBlock(const std::uint8_t* bytes, std::uint32_t size) = 0;  // 2
  virtual bool Send() = 0;                                                      // 3
  virtual int PendingCount() = 0;                                               // 4
  virtual ~IReportClient() = default;                                           // 5

 protected:
  IReportClient() = default;
  IReportClient(const IReportClient&) = default;
  IReportClient& operator=(const IReportClient&) = default;
};

using InitFn = void(__stdcall*)(int);
using CreateIReportClientFn = IReportClient*(__stdcall*)(const char* host, unsigned short port, int flag);
using ReleaseIReportClientFn = void(__stdcall*)(IReportClient*);
using GetGuidFn = bool(__stdcall*)(unsigned char out[16]);
using UnInitFn = void(__stdcall*)(int);

}  // namespace ClientDataReport
