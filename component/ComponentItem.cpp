#include "component/ComponentItem.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "component/XmlDocument.h"

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The white space wcstoull skips in the C locale.
bool IsSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

wchar_t FoldAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

std::uint64_t ReadDecimalNumber(std::wstring_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  if (i == text.size() || !IsDigit(text[i])) throw std::invalid_argument("invalid stoull argument");
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const auto digit = static_cast<std::uint64_t>(text[i] - L'0');
    if (value > (kMax - digit) / 10) throw std::out_of_range("stoull argument out of range");
    value = value * 10 + digit;
  }
  return negative ? 0 - value : value;
}

std::uint64_t PackVersionNumber(std::wstring_view version) {
  static constexpr int kShifts[] = {48, 32, 16};
  std::uint64_t value = 0;
  std::uint64_t field = 0;
  int dots = 0;
  for (const wchar_t c : version) {
    if (IsDigit(c)) {
      field = field * 10 + static_cast<std::uint64_t>(c - L'0');
    } else if (c == L'.') {
      value += dots < 3 ? field << kShifts[dots] : field;
      field = 0;
      ++dots;
    }
  }
  return dots >= 3 ? value + field : 0;
}

std::pair<std::int32_t, ComponentItem> ParseComponentItem(const XmlNode& node) {
  ComponentItem item;
  item.version = node.Attribute(L"version");
  item.versionNumber = PackVersionNumber(item.version);
  item.id = static_cast<std::int32_t>(static_cast<std::uint32_t>(ReadDecimalNumber(node.Attribute(L"id"))));
  item.name = node.Attribute(L"name");
  item.localaddpath = node.Attribute(L"localaddpath");
  item.installInX86 = node.Attribute(L"installInX86") == L"1";
  item.installInX64 = node.Attribute(L"installInX64") == L"1";
  item.writePathToRegKey = node.Attribute(L"writePathToRegKey");
  item.DL_ID = ReadDecimalNumber(node.Attribute(L"DL_ID"));
  item.hash = node.Attribute(L"hash");
  item.filesize = ReadDecimalNumber(node.Attribute(L"filesize"));
  item.url = node.Attribute(L"url");
  const std::int32_t key = item.id;
  return {key, std::move(item)};
}

std::optional<std::pair<std::wstring, std::wstring>> FindUnsafeItemPath(const ComponentItem& item) {
  const std::wstring_view name = item.name;
  if (name == L"." || name == L".." || name.find_first_of(L"\\/:") != std::wstring_view::npos) {
    return std::pair<std::wstring, std::wstring>(L"name", item.name);
  }
  const std::wstring_view path = item.localaddpath;
  bool unsafe = !path.empty() && (path.front() == L'\\' || path.front() == L'/');
  unsafe = unsafe || path.find(L':') != std::wstring_view::npos;
  for (std::size_t begin = 0; !unsafe && begin <= path.size();) {
    const std::size_t end = std::min(path.find_first_of(L"\\/", begin), path.size());
    unsafe = path.substr(begin, end - begin) == L"..";
    begin = end + 1;
  }
  if (unsafe) return std::pair<std::wstring, std::wstring>(L"localaddpath", item.localaddpath);
  return std::nullopt;
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}
