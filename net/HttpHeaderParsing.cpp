#include "net/HttpHeaderParsing.h"

#include <limits>

namespace {

wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// Position of the first case-insensitive occurrence of literal at or after
// from, or npos.
size_t FindNoCase(std::wstring_view text, std::wstring_view literal, size_t from) {
  if (literal.size() > text.size()) return std::wstring_view::npos;
  for (size_t i = from; i + literal.size() <= text.size(); ++i) {
    if (EqualNoCase(text.substr(i, literal.size()), literal)) return i;
  }
  return std::wstring_view::npos;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool IsCharsetChar(wchar_t c) {
  const wchar_t l = Lower(c);
  return (l >= L'a' && l <= L'z') || IsDigit(c) || c == L'-' || c == L'_';
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// literal followed by a non-empty run of class characters; the run is the
// capture. A literal with no run after it is no match there, and the search
// goes on with the next position.
template <typename CharClass>
std::optional<std::wstring> FirstRunAfter(std::wstring_view text, std::wstring_view literal, CharClass isMember) {
  for (size_t at = FindNoCase(text, literal, 0); at != std::wstring_view::npos;
       at = FindNoCase(text, literal, at + 1)) {
    const size_t start = at + literal.size();
    size_t end = start;
    while (end < text.size() && isMember(text[end])) ++end;
    if (end > start) return std::wstring(text.substr(start, end - start));
  }
  return std::nullopt;
}

// Length of the line end at pos: CR LF, LF, or a lone CR; 0 when none. A CR
// is taken alone, as the engine these patterns come from tries it first.
size_t LineEndAt(std::wstring_view text, size_t pos) {
  if (pos >= text.size()) return 0;
  if (text[pos] == L'\r' || text[pos] == L'\n') return 1;
  return 0;
}

}  // namespace

std::optional<std::wstring> MatchCharset(std::wstring_view headers) {
  return FirstRunAfter(headers, L"charset=", IsCharsetChar);
}

std::optional<std::wstring> MatchContentLength(std::wstring_view headers) {
  return FirstRunAfter(headers, L"Content-Length: ", IsDigit);
}

std::optional<std::wstring> MatchLocation(std::wstring_view headers) {
  return FirstRunAfter(headers, L"Location: ", IsDigit);
}

std::vector<std::wstring> MatchSetCookies(std::wstring_view headers) {
  static constexpr std::wstring_view kName = L"Set-Cookie:";
  std::vector<std::wstring> values;
  size_t from = 0;
  while (true) {
    size_t at = FindNoCase(headers, kName, from);
    size_t matchEnd = std::wstring_view::npos;
    for (; at != std::wstring_view::npos; at = FindNoCase(headers, kName, at + 1)) {
      // \b* takes every blank; .+? then takes the fewest characters (at least
      // one) that are followed by a line end. Fewer blanks could not find a
      // line end that this misses, so no backtracking is needed.
      size_t start = at + kName.size();
      while (start < headers.size() && IsBlank(headers[start])) ++start;
      size_t end = start + 1;
      while (end < headers.size() && LineEndAt(headers, end) == 0) ++end;
      if (end >= headers.size()) continue;  // no line end after one character
      const std::wstring value(headers.substr(start, end - start));
      bool seen = false;
      for (const auto& v : values) seen = seen || EqualNoCase(v, value);
      if (!seen) values.push_back(value);
      matchEnd = end + LineEndAt(headers, end);
      break;
    }
    if (matchEnd == std::wstring_view::npos) break;
    from = matchEnd;
  }
  return values;
}

std::wstring JoinReceivedCookies(std::wstring_view received, const std::vector<std::wstring>& values) {
  std::wstring joined(received);
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) joined += L"; ";
    joined += values[i];
  }
  const size_t first = joined.find_first_not_of(L' ');
  if (first == std::wstring::npos) return {};
  const size_t last = joined.find_last_not_of(L' ');
  joined = joined.substr(first, last - first + 1);
  if (joined.back() != L';') joined += L';';
  return joined;
}

bool ContainsHtmlOpenTag(std::wstring_view text) { return FindNoCase(text, L"<html>", 0) != std::wstring_view::npos; }

bool ContainsHtmlCloseTag(std::wstring_view text) {
  return FindNoCase(text, L"</html>", 0) != std::wstring_view::npos;
}

bool IsUtf8Charset(std::wstring_view charset) {
  return charset.size() >= 5 && EqualNoCase(charset.substr(0, 5), L"utf-8");
}

std::int32_t ParseDecimal(std::wstring_view text) {
  std::int64_t value = 0;
  for (const wchar_t c : text) {
    if (!IsDigit(c)) break;
    value = value * 10 + (c - L'0');
    if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}
