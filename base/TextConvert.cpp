#include "base/TextConvert.h"

#include <windows.h>

namespace {

std::string FromWide(UINT codePage, std::wstring_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string result(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), length, result.data(), needed, nullptr, nullptr);
  return result;
}

std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring result(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), length, result.data(), needed);
  return result;
}

}  // namespace

std::string WideToUtf8(std::wstring_view text) { return FromWide(CP_UTF8, text); }
std::wstring Utf8ToWide(std::string_view text) { return ToWide(CP_UTF8, text); }
std::string WideToAnsi(std::wstring_view text) { return FromWide(CP_ACP, text); }
std::wstring AnsiToWide(std::string_view text) { return ToWide(CP_ACP, text); }

bool ContainsDoubleByteChars(std::wstring_view path) {
  for (const char byte : WideToAnsi(path)) {
    if (IsDBCSLeadByte(static_cast<BYTE>(byte))) return true;
  }
  return false;
}
