// Log facility benchmark: the caller's cost of one log statement (median over
// batches) and the writer's throughput for 1,000,000 lines from 2 threads.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/Log.h"

LOG_SOURCE("log_bench");

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(f.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t;
}

void LogOneStatement(const std::wstring& path) {
  LOG_INFO("Bench") << "download component: " << path << " size: " << 123456789u << " error code: " << 0u;
}

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// Statements back to back, timed in batches of 100.
double BurstCostNs() {
  constexpr int kBatch = 100;
  constexpr int kBatches = 2000;
  std::vector<double> perStatement;
  const std::wstring path = L"C:\\some\\folder\\file.bin";
  for (int b = 0; b < kBatches; ++b) {
    const LARGE_INTEGER start = Now();
    for (int i = 0; i < kBatch; ++i) LogOneStatement(path);
    perStatement.push_back(Seconds(start, Now()) * 1e9 / kBatch);
    if (b % 50 == 49) Sleep(1);  // let the writer keep up between rounds
  }
  return Median(perStatement);
}

// Statements spaced `gapUs` apart (busy wait), each timed alone.
double SpacedCostNs(int count, double gapSeconds) {
  std::vector<double> costs;
  const std::wstring path = L"C:\\some\\folder\\file.bin";
  for (int i = 0; i < count; ++i) {
    const LARGE_INTEGER start = Now();
    LogOneStatement(path);
    costs.push_back(Seconds(start, Now()) * 1e9);
    if (gapSeconds >= 0.01) {
      Sleep(static_cast<DWORD>(gapSeconds * 1000));
    } else {
      const LARGE_INTEGER gapStart = Now();
      while (Seconds(gapStart, Now()) < gapSeconds) {
      }
    }
  }
  return Median(costs);
}

double WriterLinesPerSecond(const std::wstring& path) {
  constexpr int kLines = 1000000;
  LARGE_INTEGER start, end;
  {
    Logger logger(path);
    start = Now();
    auto produce = [&logger](int count) {
      for (int i = 0; i < count; ++i) {
        logger.Submit(1, "Bench", "log_bench", "WriterLinesPerSecond", 42, GetCurrentThreadId(),
                      L"download component: C:\\some\\folder\\file.bin size: 123456789 error code: 0");
      }
    };
    std::thread a(produce, kLines / 2), b(produce, kLines / 2);
    a.join();
    b.join();
    logger.Shutdown();  // returns once every line is in the file
    end = Now();
  }
  DeleteFileW(path.c_str());
  DeleteFileW((path + L".bak").c_str());
  return kLines / Seconds(start, end);
}

}  // namespace

int main() {
  const double burst = BurstCostNs();
  const double spaced = SpacedCostNs(20000, 100e-6);
  const double afterQuiet = SpacedCostNs(20, 0.2);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const double rate = WriterLinesPerSecond(std::wstring(temp) + L"log_bench_throughput.log");
  std::printf("log statement, caller cost (median), back to back:      %6.0f ns (goal <= 1000 ns)\n", burst);
  std::printf("log statement, caller cost (median), 100 us apart:      %6.0f ns (goal <= 1000 ns)\n", spaced);
  std::printf("log statement, caller cost (median), after 200 ms quiet: %6.0f ns (wakes the writer)\n", afterQuiet);
  std::printf("writer throughput, 1,000,000 lines from 2 threads: %.0f lines/s (goal >= 300000)\n", rate);
  std::fflush(stdout);
  const std::wstring processLog = Logger::Instance().path();
  Logger::Instance().Shutdown();
  DeleteFileW(processLog.c_str());
  return 0;
}
