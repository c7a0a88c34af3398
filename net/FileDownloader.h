// Streams one file from an HTTP or HTTPS URL to disk with progress. No
// retries, no proxy fall-back, no certificate relaxation, WinHTTP's default
// timeouts: a HEAD request probes the size, a GET on the same connection
// fetches the body, and each chunk is written before the next is read.
//
// Runs synchronously on the calling (worker) thread; progress is called on
// that thread after every chunk written and must not touch windows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

enum DownloadErrorType : std::int32_t {
  kDownloadBadUrl = 4,             // the URL doesn't match the download URL pattern
  kDownloadOpenSessionFailed = 5,  // WinHttpOpen
  kDownloadConnectFailed = 6,      // WinHttpConnect
  kDownloadOpenRequestFailed = 7,  // WinHttpOpenRequest (GET)
  kDownloadSendFailed = 8,         // WinHttpSendRequest (GET)
  kDownloadNoResponse = 9,         // WinHttpReceiveResponse (GET)
  kDownloadQueryDataFailed = 11,   // WinHttpQueryDataAvailable
  kDownloadReadFailed = 12,        // WinHttpReadData, or the response ended early
  kDownloadNoBuffer = 13,          // no chunk buffer
  kDownloadFileFailed = 18,        // CreateFileW or WriteFile
};

struct DownloadResult {
  bool ok = false;
  std::int32_t errorType = 0;   // 0 or a DownloadErrorType
  std::uint32_t errorCode = 0;  // Windows error code read right after the failing call
};

// percent of the probed size (0 while the size is unknown) and the average
// speed since the GET started, in KiB/s.
using DownloadProgress = std::function<void(std::uint32_t percent, std::uint32_t speed)>;

// Fetches url into localPath (created or truncated). ok when the probed size
// has been written, or, when the server announced no size, when the response
// ended normally. On failure the file stays with what was written so far;
// removing it is the caller's business. When the response ends before the
// probed size has arrived: errorType 12, errorCode ERROR_HANDLE_EOF. The
// HTTP status is not examined: whatever body arrives is written. An empty
// userAgent means "OrvoDownloader/1.0".
DownloadResult DownloadFile(const std::wstring& url, const std::wstring& localPath, const DownloadProgress& progress,
                            const std::wstring& userAgent);
