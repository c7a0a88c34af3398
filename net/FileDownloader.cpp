#include "net/FileDownloader.h"

#include <chrono>
#include <cstring>
#include <optional>

#include "net/ChunkBuffer.h"
#include "net/DownloadUrl.h"
#include "net/WinHttpHandle.h"

namespace {

DownloadResult Failure(std::int32_t type, DWORD code) { return DownloadResult{false, type, code}; }

// Content-Length of the HEAD response, 0 when any step fails or it is absent.
// The request stays open in head until the caller's other handles close.
std::uint64_t ProbeSize(HINTERNET connection, const DownloadTarget& target, WinHttpHandle& head) {
  head.reset(WinHttpOpenRequest(connection, L"HEAD", target.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                WINHTTP_DEFAULT_ACCEPT_TYPES, target.requestFlags));
  unsigned char value[8] = {};
  DWORD size = sizeof value;
  if (head && WinHttpSendRequest(head.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
      WinHttpReceiveResponse(head.get(), nullptr)) {
    WinHttpQueryHeaders(head.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, value, &size, WINHTTP_NO_HEADER_INDEX);
  }
  std::uint32_t length = 0;
  std::memcpy(&length, value, sizeof length);
  return length;
}

}  // namespace

DownloadResult DownloadFile(const std::wstring& url, const std::wstring& localPath, const DownloadProgress& progress,
                            const std::wstring& userAgent) {
  const std::wstring agent = userAgent.empty() ? L"OrvoDownloader/1.0" : userAgent;
  const std::optional<DownloadTarget> target = ParseDownloadUrl(url);
  if (!target) return Failure(kDownloadBadUrl, 0);

  // Declared so that they close in the order file, GET, HEAD, connection, session.
  WinHttpHandle session(
      WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return Failure(kDownloadOpenSessionFailed, GetLastError());
  WinHttpHandle connection(WinHttpConnect(session.get(), target->host.c_str(), target->port, 0));
  if (!connection) return Failure(kDownloadConnectFailed, GetLastError());

  WinHttpHandle head;
  const std::uint64_t size = ProbeSize(connection.get(), *target, head);

  WinHttpHandle get(WinHttpOpenRequest(connection.get(), L"GET", target->path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                       WINHTTP_DEFAULT_ACCEPT_TYPES, target->requestFlags));
  if (!get) return Failure(kDownloadOpenRequestFailed, GetLastError());
  if (!WinHttpSendRequest(get.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
    return Failure(kDownloadSendFailed, GetLastError());
  }
  if (!WinHttpReceiveResponse(get.get(), nullptr)) return Failure(kDownloadNoResponse, GetLastError());

  UniqueFile file(CreateFileW(localPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return Failure(kDownloadFileFailed, GetLastError());

  ChunkBuffer buffer;
  const auto start = std::chrono::steady_clock::now();
  std::uint64_t received = 0;
  while (true) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(get.get(), &available)) return Failure(kDownloadQueryDataFailed, GetLastError());
    if (available == 0) {
      // The response has ended. Without a known size that is the normal end;
      // with one, fewer bytes came than announced and waiting would not help.
      if (size == 0) return DownloadResult{true, 0, 0};
      return Failure(kDownloadReadFailed, ERROR_HANDLE_EOF);
    }
    char* chunk = buffer.Prepare(available);
    if (chunk == nullptr) return Failure(kDownloadNoBuffer, ERROR_NOT_ENOUGH_MEMORY);
    DWORD read = 0;
    if (!WinHttpReadData(get.get(), chunk, available, &read)) return Failure(kDownloadReadFailed, GetLastError());
    received += read;
    DWORD written = 0;
    if (!WriteFile(file.get(), chunk, read, &written, nullptr)) return Failure(kDownloadFileFailed, GetLastError());

    if (progress) {
      double elapsedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      if (elapsedMs <= 0) elapsedMs = 1;
      const auto speed = static_cast<std::uint32_t>(static_cast<double>(received) / (elapsedMs / 1000.0) / 1024.0);
      const auto percent = size != 0 ? static_cast<std::uint32_t>(received * 100 / size) : 0u;
      progress(percent, speed);
    }
    if (size != 0 && received >= size) return DownloadResult{true, 0, 0};
  }
}
