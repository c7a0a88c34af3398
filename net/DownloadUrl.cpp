#include "net/DownloadUrl.h"

namespace {

bool IsLineTerminator(wchar_t c) { return c == L'\n' || c == L'\r' || c == 0x2028 || c == 0x2029; }

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
    if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
    if (x != y) return false;
  }
  return true;
}

constexpr std::uint32_t kFlagRefresh = 0x100;    // WINHTTP_FLAG_REFRESH
constexpr std::uint32_t kFlagSecure = 0x800000;  // WINHTTP_FLAG_SECURE

}  // namespace

std::optional<DownloadTarget> ParseDownloadUrl(std::wstring_view url) {
  static constexpr std::wstring_view kSchemes[] = {L"http", L"https", L"ftp"};
  for (const std::wstring_view scheme : kSchemes) {
    const size_t restAt = scheme.size() + 3;
    if (url.size() <= restAt || url.substr(0, scheme.size()) != scheme || url.substr(scheme.size(), 3) != L"://") {
      continue;
    }
    const std::wstring_view rest = url.substr(restAt);
    for (const wchar_t c : rest) {
      if (IsLineTerminator(c)) return std::nullopt;
    }
    // The host takes at least one character and ends at the first "/" after it.
    const size_t slash = rest.find(L'/', 1);
    if (slash == std::wstring_view::npos) return std::nullopt;
    DownloadTarget target;
    target.scheme = std::wstring(scheme);
    target.host = std::wstring(rest.substr(0, slash));
    target.path = std::wstring(rest.substr(slash));
    target.secure = EqualsNoCase(scheme, L"HTTPS");
    target.port = target.secure ? 443 : 80;
    target.requestFlags = kFlagRefresh | (target.secure ? kFlagSecure : 0);
    return target;
  }
  return std::nullopt;
}
