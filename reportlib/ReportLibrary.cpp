// Our report library: hands out clients that collect one report and post it
// as one HTTPS request to the collection host they were made for.
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstring>
#include <string>
#include <new>
#include <utility>
#include <vector>

#include "base/Md5.h"
#include "report/ReportClient.h"
#include "report/ReportEncoding.h"
#include "reportlib/Framing.h"

namespace {

// Certificate problems are not ours to judge: unknown CA, wrong name, expired.
constexpr DWORD kIgnoreCertificateErrors = 0x3100;
constexpr int kConnectTimeoutMs = 15000;
constexpr int kTransferTimeoutMs = 30000;

std::atomic<long> g_liveClients{0};

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  ~InternetHandle() {
    if (handle_ != nullptr) WinHttpCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

std::wstring Widen(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
  return result;
}

bool Post(const reportlib::Collection& to, const std::vector<std::uint8_t>& body) {
  InternetHandle session(WinHttpOpen(L"OrvoReport/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                     WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  WinHttpSetTimeouts(session.get(), kConnectTimeoutMs, kConnectTimeoutMs, kTransferTimeoutMs, kTransferTimeoutMs);
  InternetHandle connection(WinHttpConnect(session.get(), Widen(to.host).c_str(), to.port, 0));
  if (!connection) return false;
  InternetHandle request(WinHttpOpenRequest(connection.get(), L"POST", Widen(reportlib::kCollectPath).c_str(), nullptr,
                                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  if (!request) return false;
  DWORD flags = kIgnoreCertificateErrors;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
  const wchar_t headers[] = L"Content-Type: application/octet-stream\r\n";
  if (!WinHttpSendRequest(request.get(), headers, static_cast<DWORD>(-1L), const_cast<std::uint8_t*>(body.data()),
                          static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return false;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  return status >= 200 && status < 300;
}

class Client final : public ClientDataReport::IReportClient {
 public:
  explicit Client(reportlib::Collection to) : to_(std::move(to)) { ++g_liveClients; }
  ~Client() override { --g_liveClients; }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  int BeginReport(const OrvoReportMgr::ReportHeader* header) override {
    header_.clear();
    head_.clear();
    bodies_.clear();
    if (header != nullptr) {
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(header);
      header_.assign(bytes, bytes + sizeof *header);
    }
    return 1;
  }
  int SetHeadBlock(const std::uint8_t* bytes, std::uint32_t size) override {
    head_.assign(bytes, bytes + (bytes != nullptr ? size : 0));
    return 1;
  }
  int AddBodyBlock(const std::uint8_t* bytes, std::uint32_t size) override {
    if (bytes == nullptr) return 0;
    bodies_.emplace_back(bytes, bytes + size);
    return 1;
  }
  bool Send() override {
    if (bodies_.empty()) return false;
    const bool sent = Post(to_, reportlib::FrameReport(header_, head_, bodies_));
    if (sent) bodies_.clear();
    return sent;
  }
  int PendingCount() override { return static_cast<int>(bodies_.size()); }

 private:
  reportlib::Collection to_;
  std::vector<std::uint8_t> header_;
  std::vector<std::uint8_t> head_;
  std::vector<std::vector<std::uint8_t>> bodies_;
};

// A machine-wide name that outlives reinstalls; the computer name otherwise.
std::string IdentitySource() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0, KEY_READ | KEY_WOW64_64KEY, &key) ==
      ERROR_SUCCESS) {
    char value[128] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    const LSTATUS status = RegQueryValueExA(key, "MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS && type == REG_SZ && value[0] != '\0') return std::string("machine:") + value;
  }
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (GetComputerNameA(name, &length) && length > 0) return std::string("computer:") + name;
  return {};
}

}  // namespace

extern "C" {

void __stdcall Init(int) {}

ClientDataReport::IReportClient* __stdcall CreateIReportClient(const char* host, unsigned short port, int) {
  if (host == nullptr || host[0] == '\0') return nullptr;
  return new (std::nothrow) Client(reportlib::ParseCollection(host, port));
}

void __stdcall ReleaseIReportClient(ClientDataReport::IReportClient* client) { delete client; }

bool __stdcall GetGuid(unsigned char out[16]) {
  if (out == nullptr) return false;
  const std::string source = IdentitySource();
  if (source.empty()) return false;
  const std::string salted = "OrvoReportLibrary|" + source;
  Md5 md5;
  md5.Update(salted.data(), salted.size());
  const Md5Digest digest = md5.Finish();
  std::memcpy(out, digest.data(), digest.size());
  return true;
}

// Sends are synchronous, so there is nothing left to wait for here.
void __stdcall UnInit(int) {}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
