// Download throughput over loopback: DownloadFile against bare WinHTTP read
// loops of the same URL, and the peak working set of one download.
//   net_bench.exe speed <url> <output file>
//   net_bench.exe memory <url> <output file>   (run once per process)
// scripts/bench net starts the server (on port 80, as downloads use the
// scheme's port), runs memory for a 64 MiB and a 1 GiB body in fresh
// processes, and measures curl on the same URL for comparison.
#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
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
// as the downloader must; otherwise it reads 64 KiB at a time. With an output
// path it also writes every chunk before reading the next, to a file created
// as the downloader creates its own: the ceiling for any loop under that rule.
// Returns the bytes read, 0 when a step failed.
unsigned long long BareRead(const std::wstring& url, bool chunked, const wchar_t* output) {
  const auto target = ParseDownloadUrl(url);
  if (!target) return 0;
  WinHttpHandle session(WinHttpOpen(L"OrvoBench", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0));
  WinHttpHandle connection(WinHttpConnect(session.get(), target->host.c_str(), target->port, 0));
  WinHttpHandle request(WinHttpOpenRequest(connection.get(), L"GET", target->path.c_str(), nullptr,
                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, target->requestFlags));
  if (!request || !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return 0;
  }
  UniqueFile file;
  if (output != nullptr) {
    file.reset(CreateFileW(output, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
  }
  std::vector<char> buffer(1 << 16);
  unsigned long long bytes = 0;
  DWORD read = 0;
  DWORD available = static_cast<DWORD>(buffer.size());
  while (true) {
    if (chunked) {
      if (!WinHttpQueryDataAvailable(request.get(), &available) || available == 0) break;
      if (available > buffer.size()) buffer.resize(available);
    }
    if (!WinHttpReadData(request.get(), buffer.data(), available, &read) || read == 0) break;
    bytes += read;
    DWORD written = 0;
    if (file && !WriteFile(file.get(), buffer.data(), read, &written, nullptr)) return 0;
  }
  return bytes;
}

unsigned long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)) return 0;
  return (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

void ReportFailure(const DownloadResult& result) {
  std::fprintf(stderr, "download failed: type %d code %u\n", result.errorType, result.errorCode);
}

// One download in a process that has made none before: the peak working set
// while the body streams in (read at the last progress call), and after
// DownloadFile has closed its handles and returned.
int MeasureMemory(const std::wstring& url, const std::wstring& output) {
  const double before = PeakWorkingSetMiB();
  double transfer = 0;
  const DownloadResult result =
      DownloadFile(url, output, [&](std::uint32_t, std::uint32_t) { transfer = PeakWorkingSetMiB(); }, L"");
  const double after = PeakWorkingSetMiB();
  const unsigned long long bytes = FileSize(output);
  DeleteFileW(output.c_str());
  if (!result.ok) {
    ReportFailure(result);
    return 1;
  }
  std::printf("peak working set, one download of %5llu MiB: %.1f MiB before it, %.1f MiB during the transfer,"
              " %.1f MiB after it returned\n",
              bytes >> 20, before, transfer, after);
  return 0;
}

// Best of several interleaved rounds for each reader, so that a busy moment
// of this shared machine does not decide the ratios. A reader returns the
// bytes it moved, 0 when it failed.
int MeasureSpeed(const std::wstring& url, const std::wstring& output) {
  constexpr int kRounds = 5;
  unsigned long long fileBytes = 0, calls = 0;
  auto download = [&]() -> unsigned long long {
    calls = 0;
    const DownloadResult result = DownloadFile(url, output, [&](std::uint32_t, std::uint32_t) { ++calls; }, L"");
    if (!result.ok) {
      ReportFailure(result);
      return 0;
    }
    return fileBytes = FileSize(output);
  };
  auto bare = [&](bool chunked, const wchar_t* written) {
    return [&url, chunked, written]() -> unsigned long long {
      const unsigned long long bytes = BareRead(url, chunked, written);
      if (bytes == 0) std::fprintf(stderr, "bare read failed: %lu\n", GetLastError());
      return bytes;
    };
  };
  struct Reader {
    std::function<unsigned long long()> run;
    double best = 0;  // MB/s
  };
  Reader readers[] = {{download}, {bare(true, nullptr)}, {bare(false, nullptr)}, {bare(true, output.c_str())}};
  for (int round = 0; round < kRounds; ++round) {
    for (Reader& reader : readers) {
      const auto start = std::chrono::steady_clock::now();
      const unsigned long long bytes = reader.run();
      const double seconds = Seconds(start);
      DeleteFileW(output.c_str());
      if (bytes == 0) return 1;
      reader.best = std::max(reader.best, static_cast<double>(bytes) / seconds / 1e6);
    }
  }
  const double downloadRate = readers[0].best, bareRate = readers[1].best, bigRate = readers[2].best,
               writingRate = readers[3].best;
  std::printf("DownloadFile                            %llu bytes, best of %d: %.1f MB/s (%llu progress calls)\n",
              fileBytes, kRounds, downloadRate, calls);
  std::printf("bare loop, available-sized reads        %.1f MB/s\n", bareRate);
  std::printf("bare loop, 64 KiB reads                 %.1f MB/s\n", bigRate);
  std::printf("bare loop, available-sized, each chunk written before the next read: %.1f MB/s\n", writingRate);
  std::printf("ratio DownloadFile / bare loop: %.3f (available-sized), %.3f (64 KiB) (goal >= 0.95)\n",
              downloadRate / bareRate, downloadRate / bigRate);
  std::printf("ratio bare loop writing each chunk / bare loop: %.3f (what writing every chunk costs)\n",
              writingRate / bareRate);
  std::printf("ratio DownloadFile / bare loop writing each chunk: %.3f\n", downloadRate / writingRate);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc == 4 ? argv[1] : L"";
  if (mode == L"memory") return MeasureMemory(argv[2], argv[3]);
  if (mode == L"speed") return MeasureSpeed(argv[2], argv[3]);
  std::fprintf(stderr, "usage: net_bench speed|memory <url> <output file>\n");
  return 2;
}
