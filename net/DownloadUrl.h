// Splitting a download URL and choosing how it is fetched. Plain data in and
// out (no <windows.h>): the URL comes from the component manifest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct DownloadTarget {
  std::wstring scheme;  // "http", "https" or "ftp", as written
  std::wstring host;    // everything between "://" and the next "/", port and user text included
  std::wstring path;    // from that "/" to the end, query included
  bool secure = false;  // https
  std::uint16_t port = 80;           // 443 when secure
  std::uint32_t requestFlags = 0;    // refresh (0x100), plus secure (0x800000) for https
};

// Matches the whole URL against ^((http|https|ftp)://)(.+?)(/.*) with a
// case-sensitive scheme; "." takes any character but a line terminator.
// Nothing when the URL doesn't match (no "/" after a non-empty host, another
// scheme, an upper-case scheme, or a line break anywhere after "://").
std::optional<DownloadTarget> ParseDownloadUrl(std::wstring_view url);
