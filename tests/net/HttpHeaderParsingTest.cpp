#include "net/HttpHeaderParsing.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using Finder = std::optional<std::wstring> (*)(std::wstring_view);

struct FirstCaptureCase {
  const char* name;
  Finder find;
  const wchar_t* headers;
  const wchar_t* expected;  // nullptr: no match
};

const FirstCaptureCase kFirstCaptureCases[] = {
    {"charset from Content-Type", MatchCharset, L"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=GBK\r\n\r\n",
     L"GBK"},
    {"charset keeps its case, key matched in any case", MatchCharset, L"Content-Type: text/plain; CHARSET=Utf-8\r\n",
     L"Utf-8"},
    {"charset first of two", MatchCharset, L"X: charset=big5\r\nContent-Type: a; charset=utf-8\r\n", L"big5"},
    {"charset run stops at a character outside the class", MatchCharset, L"charset=iso-8859_1;x\r\n",
     L"iso-8859_1"},
    {"charset= with nothing usable, then a real one", MatchCharset, L"charset=\"q\"\r\nY: charset=koi8-r\r\n",
     L"koi8-r"},
    {"no charset", MatchCharset, L"Content-Type: text/plain\r\n", nullptr},
    {"Content-Length digits", MatchContentLength, L"HTTP/1.1 200 OK\r\nContent-Length: 10240\r\n", L"10240"},
    {"Content-Length in lower case", MatchContentLength, L"content-length: 7\r\n", L"7"},
    {"Content-Length needs exactly one blank", MatchContentLength, L"Content-Length:  7\r\n", nullptr},
    {"Content-Length without digits", MatchContentLength, L"Content-Length: x\r\n", nullptr},
    {"Location digits", MatchLocation, L"Location: 12345\r\n", L"12345"},
    {"Location digits stop at the first other character", MatchLocation, L"Location: 42/next\r\n", L"42"},
    {"Location that is a URL has no digits after the blank", MatchLocation, L"Location: http://x/1\r\n", nullptr},
};

TEST(HttpHeaderParsingTest, FirstCaptures) {
  for (const auto& c : kFirstCaptureCases) {
    const auto found = c.find(c.headers);
    if (c.expected == nullptr) {
      EXPECT_FALSE(found.has_value()) << c.name;
    } else {
      ASSERT_TRUE(found.has_value()) << c.name;
      EXPECT_EQ(*found, c.expected) << c.name;
    }
  }
}

struct CookieCase {
  const char* name;
  const wchar_t* headers;
  std::vector<std::wstring> values;
  const wchar_t* joined;  // JoinReceivedCookies(L"", values)
};

const CookieCase kCookieCases[] = {
    {"two headers", L"HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n\r\n",
     {L"a=1; path=/", L"b=2"}, L"a=1; path=/; b=2;"},
    {"the same value twice is kept once", L"Set-Cookie: a=1\r\nSet-Cookie: b=2\r\nSet-Cookie: a=1\r\n",
     {L"a=1", L"b=2"}, L"a=1; b=2;"},
    {"duplicates compared without case, first kept", L"Set-Cookie: a=1; path=/\r\nset-cookie: A=1; PATH=/\r\n",
     {L"a=1; path=/"}, L"a=1; path=/;"},
    {"blanks after the colon are skipped", L"Set-Cookie:\t  c=3\r\n", {L"c=3"}, L"c=3;"},
    {"a bare LF ends the line too", L"Set-Cookie: d=4\nSet-Cookie: e=5\n", {L"d=4", L"e=5"}, L"d=4; e=5;"},
    {"a value already ending in ; gets no second one", L"Set-Cookie: f=6;\r\n", {L"f=6;"}, L"f=6;"},
    {"no line end after the last value: no match", L"Set-Cookie: g=7", {}, L""},
    {"no cookies", L"Content-Type: text/plain\r\n", {}, L""},
};

TEST(HttpHeaderParsingTest, SetCookieValues) {
  for (const auto& c : kCookieCases) {
    const auto values = MatchSetCookies(c.headers);
    EXPECT_EQ(values, c.values) << c.name;
    EXPECT_EQ(JoinReceivedCookies(L"", values), c.joined) << c.name;
  }
}

TEST(HttpHeaderParsingTest, CookiesOfALaterResponseAreAppended) {
  EXPECT_EQ(JoinReceivedCookies(L"a=1;", {L"b=2"}), L"a=1;b=2;");
  EXPECT_EQ(JoinReceivedCookies(L"  ", {}), L"");
}

TEST(HttpHeaderParsingTest, HtmlTagsInAnyCase) {
  struct {
    const wchar_t* text;
    bool open;
    bool close;
  } const cases[] = {
      {L"<html><body>x</body></html>", true, true},
      {L"<HTML><body>cut short", true, false},
      {L"<Html>...</HTML>", true, true},
      {L"plain text, no tags", false, false},
      {L"<html lang=en>", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContainsHtmlOpenTag(c.text), c.open) << static_cast<const void*>(c.text);
    EXPECT_EQ(ContainsHtmlCloseTag(c.text), c.close) << static_cast<const void*>(c.text);
  }
}

TEST(HttpHeaderParsingTest, CharsetAndNumbers) {
  EXPECT_TRUE(IsUtf8Charset(L"utf-8"));
  EXPECT_TRUE(IsUtf8Charset(L"UTF-8"));
  EXPECT_TRUE(IsUtf8Charset(L"utf-8x"));
  EXPECT_FALSE(IsUtf8Charset(L"utf8"));
  EXPECT_FALSE(IsUtf8Charset(L"GBK"));
  EXPECT_FALSE(IsUtf8Charset(L""));
  EXPECT_EQ(ParseDecimal(L"404"), 404);
  EXPECT_EQ(ParseDecimal(L"12ab"), 12);
  EXPECT_EQ(ParseDecimal(L""), 0);
  EXPECT_EQ(ParseDecimal(L"99999999999"), 2147483647);
}

}  // namespace
