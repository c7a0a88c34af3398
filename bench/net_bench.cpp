// Download throughput over loopback: DownloadFile against a bare WinHTTP read
// loop of the same URL, and the peak working set while downloading.
//   net_bench.exe <url of a large body> <url of a smaller body> <output file>
// scripts/bench net starts the server (on port 80, as downloads use the
// scheme's port) and measures curl on the same URL for comparison.
#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "net/DownloadUrl.h"
#include "net/FileDownloader.h"
#include "net/WinHttpHandle.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double PeakWorkingSetMiB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

// The platform ceiling: the same GET, bytes read and dropped. With
// chunked = true it asks for the available count first and reads that much,
// as the downloader must; otherwise it reads 64 KiB at a time.
bool BareRead(const std::wstring& url, bool chunked, unsigned long long* bytes) {
  const auto target = ParseDownloadUrl(url);
  if (!target) return false;
  WinHttpHandle session(WinHttpOpen(L"OrvoBench", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0));
  WinHttpHandle connection(WinHttpConnect(session.get(), target->host.c_str(), target->port, 0));
  WinHttpHandle request(WinHttpOpenRequest(connection.get(), L"GET", target->path.c_str(), nullptr,
                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, target->requestFlags));
  if (!request || !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return false;
  }
  std::vector<char> buffer(1 << 16);
  *bytes = 0;
  DWORD read = 0;
  DWORD available = static_cast<DWORD>(buffer.size());
  while (true) {
    if (chunked) {
      if (!WinHttpQueryDataAvailable(request.get(), &available) || available == 0) break;
      if (available > buffer.size()) buffer.resize(available);
    }
    if (!WinHttpReadData(request.get(), buffer.data(), available, &read) || read == 0) break;
    *bytes += read;
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: net_bench <large url> <small url> <output file>\n");
    return 2;
  }
  const std::wstring large = argv[1];
  const std::wstring small = argv[2];
  const std::wstring output = argv[3];
  constexpr double kMB = 1e6;

  // Working set first: a smaller body, then the large one; flat means the same peak.
  const double peakStart = PeakWorkingSetMiB();
  auto start = std::chrono::steady_clock::now();
  unsigned long long calls = 0;
  DownloadResult result = DownloadFile(small, output, [&](std::uint32_t, std::uint32_t) { ++calls; }, L"");
  if (!result.ok) {
    std::fprintf(stderr, "small download failed: type %d code %u\n", result.errorType, result.errorCode);
    return 1;
  }
  const double peakSmall = PeakWorkingSetMiB();

  // Best of three rounds for each reader, interleaved, so that a busy moment
  // of this shared machine does not decide the ratio.
  constexpr int kRounds = 3;
  double downloadRate = 0, bareRate = 0, bigRate = 0, peakLarge = 0;
  unsigned long long fileBytes = 0, bareBytes = 0, bigBytes = 0;
  for (int round = 0; round < kRounds; ++round) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    calls = 0;
    start = std::chrono::steady_clock::now();
    result = DownloadFile(large, output, [&](std::uint32_t, std::uint32_t) { ++calls; }, L"");
    const double downloadSeconds = Seconds(start);
    if (round == 0) peakLarge = PeakWorkingSetMiB();
    GetFileAttributesExW(output.c_str(), GetFileExInfoStandard, &info);
    fileBytes = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    DeleteFileW(output.c_str());
    if (!result.ok) {
      std::fprintf(stderr, "download failed: type %d code %u\n", result.errorType, result.errorCode);
      return 1;
    }
    downloadRate = std::max(downloadRate, static_cast<double>(fileBytes) / downloadSeconds / kMB);

    start = std::chrono::steady_clock::now();
    if (!BareRead(large, true, &bareBytes)) {
      std::fprintf(stderr, "bare read failed: %lu\n", GetLastError());
      return 1;
    }
    bareRate = std::max(bareRate, static_cast<double>(bareBytes) / Seconds(start) / kMB);
    start = std::chrono::steady_clock::now();
    if (!BareRead(large, false, &bigBytes)) {
      std::fprintf(stderr, "bare read failed: %lu\n", GetLastError());
      return 1;
    }
    bigRate = std::max(bigRate, static_cast<double>(bigBytes) / Seconds(start) / kMB);
  }

  std::printf("DownloadFile      %llu bytes, best of %d: %.1f MB/s (%llu progress calls)\n", fileBytes, kRounds,
              downloadRate, calls);
  std::printf("bare loop, available-sized reads %llu bytes, best of %d: %.1f MB/s\n", bareBytes, kRounds, bareRate);
  std::printf("bare loop, 64 KiB reads          %llu bytes, best of %d: %.1f MB/s\n", bigBytes, kRounds, bigRate);
  std::printf("ratio DownloadFile / bare loop: %.3f (available-sized), %.3f (64 KiB) (goal >= 0.95)\n",
              downloadRate / bareRate, downloadRate / bigRate);
  std::printf("peak working set: %.1f MiB at start, %.1f MiB after the small body, %.1f MiB after the large one"
              " (goal <= 16, flat)\n",
              peakStart, peakSmall, peakLarge);
  return 0;
}
