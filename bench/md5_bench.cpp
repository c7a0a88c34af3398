// File digest throughput: md5_bench <file> [rounds]. Hashes the file with
// GetFileHexMd5 (and, for comparison, with the system's BCrypt MD5 over the
// same 64 KiB reads) and prints the best round of each in MB/s (10^6 bytes).
// scripts/bench md5 compares the first figure against md5sum.
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "base/utils.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring BcryptFileMd5(const std::wstring& path) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0) != 0) return {};
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::wstring text;
  if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0) {
    std::vector<unsigned char> piece(65536);
    DWORD read = 0;
    while (ReadFile(file.get(), piece.data(), 65536, &read, nullptr) && read > 0) {
      BCryptHashData(hash, piece.data(), read, 0);
    }
    Md5Digest digest{};
    if (BCryptFinishHash(hash, digest.data(), 16, 0) == 0) text = Utf8ToWide(Md5DigestToHex(digest));
    BCryptDestroyHash(hash);
  }
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return text;
}

template <typename Hash>
double BestRate(const std::wstring& path, double bytes, int rounds, Hash hash, std::wstring& digest) {
  double best = 0;
  for (int i = 0; i < rounds; ++i) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    digest = hash(path);
    QueryPerformanceCounter(&end);
    const double rate = bytes / Seconds(start, end) / 1e6;
    if (rate > best) best = rate;
  }
  return best;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: md5_bench <file> [rounds]\n");
    return 2;
  }
  const std::wstring path = argv[1];
  const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 1;
  const double bytes = static_cast<double>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
                                           data.nFileSizeLow);
  std::wstring ours, system;
  const double oursRate = BestRate(path, bytes, rounds, GetFileHexMd5, ours);
  const double bcryptRate = BestRate(path, bytes, rounds, BcryptFileMd5, system);
  std::printf("GetFileHexMd5 %.1f MB/s %s\n", oursRate, WideToUtf8(ours).c_str());
  std::printf("BCrypt MD5    %.1f MB/s %s\n", bcryptRate, WideToUtf8(system).c_str());
  return ours.empty() || ours != system ? 1 : 0;
}
