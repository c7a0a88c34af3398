#include "net/DownloadUrl.h"

#include <gtest/gtest.h>

#include "net/ChunkBuffer.h"

namespace {

struct UrlCase {
  const wchar_t* url;
  bool matches;
  const wchar_t* host;
  const wchar_t* path;
  bool secure;
  unsigned port;
  unsigned flags;
};

const UrlCase kUrlCases[] = {
    {L"https://cdn.example.com/pkg/a.exe", true, L"cdn.example.com", L"/pkg/a.exe", true, 443, 0x800100},
    {L"http://cdn.example.com/a.exe?x=1&y=2", true, L"cdn.example.com", L"/a.exe?x=1&y=2", false, 80, 0x100},
    {L"ftp://files.example.com/a.exe", true, L"files.example.com", L"/a.exe", false, 80, 0x100},
    // The host is taken as written, port and user text included.
    {L"http://user@host:8080/a", true, L"user@host:8080", L"/a", false, 80, 0x100},
    {L"http://host/", true, L"host", L"/", false, 80, 0x100},
    {L"https://host", false},
    {L"http://host", false},
    {L"HTTPS://host/a", false},
    {L"Http://host/a", false},
    {L"file://host/a", false},
    {L"http:///a", false},
    {L"http://host/a\r\nX: y", false},
    {L"", false},
};

TEST(DownloadUrlTest, PatternPortAndFlags) {
  for (const auto& c : kUrlCases) {
    const auto target = ParseDownloadUrl(c.url);
    ASSERT_EQ(target.has_value(), c.matches) << static_cast<const void*>(c.url);
    if (!target) continue;
    EXPECT_EQ(target->host, c.host);
    EXPECT_EQ(target->path, c.path);
    EXPECT_EQ(target->secure, c.secure);
    EXPECT_EQ(target->port, c.port);
    EXPECT_EQ(target->requestFlags, c.flags);
  }
}

TEST(ChunkBufferTest, StartsAt8193AndGrowsToAPieceAndOne) {
  ChunkBuffer buffer;
  EXPECT_EQ(buffer.size(), 8193u);
  ASSERT_NE(buffer.Prepare(8192), nullptr);
  EXPECT_EQ(buffer.size(), 8193u);  // exactly 8192 fits the first buffer
  char* big = buffer.Prepare(20000);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(buffer.size(), 20001u);
  EXPECT_EQ(big[20000], '\0');
  ASSERT_NE(buffer.Prepare(100), nullptr);
  EXPECT_EQ(buffer.size(), 20001u);  // smaller pieces reuse it
}

}  // namespace
