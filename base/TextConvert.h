// Text conversions between UTF-16, UTF-8 and the system ANSI code page.
// Each measures first, then converts into a result of exactly that size; the
// explicit length keeps embedded zero characters. Characters the ANSI code
// page cannot represent become its default substitute. Any thread.
#pragma once

#include <string>
#include <string_view>

std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);
std::wstring AnsiToWide(std::string_view text);

// True when the path, in the system ANSI code page, holds a lead byte of a
// double-byte character (so never under a single-byte code page).
bool ContainsDoubleByteChars(std::wstring_view path);
