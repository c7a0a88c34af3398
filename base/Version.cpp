#include <vector>

#include "base/utils.h"

bool ParseVersion(std::wstring_view text, std::uint64_t& value) {
  static constexpr int kShifts[] = {48, 32, 16};
  value = 0;
  std::uint64_t number = 0;
  int dots = 0;
  for (const wchar_t c : text) {
    if (c >= L'0' && c <= L'9') {
      number = number * 10 + static_cast<std::uint64_t>(c - L'0');
    } else if (c == L'.') {
      value += dots < 3 ? number << kShifts[dots] : number;
      number = 0;
      ++dots;
    }
  }
  value += number;
  return !text.empty() && dots >= 3;
}

std::uint64_t GetFileVersion(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return 0;
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return 0;
  void* block = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", &block, &length) || block == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
    return 0;
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(block);
  if (info->dwSignature != 0xFEEF04BDu) return 0;
  return (static_cast<std::uint64_t>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
}

bool IsFileVersionAtLeast(const std::wstring& path, std::wstring_view text) {
  std::uint64_t wanted = 0;
  if (!ParseVersion(text, wanted)) return false;
  return GetFileVersion(path) >= wanted;
}
