// Reading the response header block and body text of an HTTP request.
// These take bytes from the network, so they stay free of <windows.h> and can
// be built natively for sanitizers and fuzzers.
//
// Matching is case-insensitive (ASCII letters), and a capture is returned in
// the text's own case. The header patterns, with their captures in braces:
//   charset={[A-Za-z0-9\-_]+}       MatchCharset
//   Content-Length: {[0-9]+}        MatchContentLength
//   Location: {[0-9]+}              MatchLocation
//   Set-Cookie:\b*{.+?}\n           MatchSetCookies   (\b a blank, \n a line end)
//   {<html>} and {</html>}          ContainsHtmlOpenTag, ContainsHtmlCloseTag
// A pattern matches anywhere in the text (a search, not an anchored match).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The first capture of each pattern, or nothing when the pattern never matches.
std::optional<std::wstring> MatchCharset(std::wstring_view headers);
std::optional<std::wstring> MatchContentLength(std::wstring_view headers);
std::optional<std::wstring> MatchLocation(std::wstring_view headers);

// Every Set-Cookie value up to its line end, from successive non-overlapping
// matches, in order; a value already collected (compared without regard to
// case) is skipped.
std::vector<std::wstring> MatchSetCookies(std::wstring_view headers);

// Appends one response's cookie values to what was received before: joined by
// "; ", then spaces trimmed from both ends, then a closing ";" unless the text
// is empty or already ends with one.
std::wstring JoinReceivedCookies(std::wstring_view received, const std::vector<std::wstring>& values);

bool ContainsHtmlOpenTag(std::wstring_view text);
bool ContainsHtmlCloseTag(std::wstring_view text);

// True when the charset's first five characters are "utf-8" in any case.
bool IsUtf8Charset(std::wstring_view charset);

// Leading decimal digits as a number (0 when there are none); values beyond
// the 32-bit signed range are held at its maximum.
std::int32_t ParseDecimal(std::wstring_view text);
