#include "component/ChannelRange.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Texts(const std::vector<ChannelRangeMatch>& matches) {
  std::vector<std::wstring> texts;
  for (const ChannelRangeMatch& match : matches) {
    texts.push_back(std::wstring(match.low) + (match.high.empty() ? L"" : L"|" + std::wstring(match.high)));
  }
  return texts;
}

int Hits(const std::wstring& range, std::uint64_t channel) {
  int hits = 0;
  ForEachChannelHit(range, channel, [&] { ++hits; });
  return hits;
}

}  // namespace

TEST(ChannelRangeTest, PatternsMatchLikeARegularExpressionSearch) {
  struct Case {
    const wchar_t* text;
    std::vector<std::wstring> ranges;
    const wchar_t* rest;
    std::vector<std::wstring> numbers;  // of the rest
  } const kCases[] = {
      {L"300-310", {L"300|310"}, L"", {}},
      {L"100-200,305", {L"100|200"}, L",305", {L"305"}},
      {L"1-2-3-4", {L"1|2", L"3|4"}, L"-", {}},
      {L"1-2-3", {L"1|2"}, L"-3", {L"3"}},
      {L"12-", {}, L"12-", {L"12"}},
      {L"-5", {}, L"-5", {L"5"}},
      {L"1--2", {}, L"1--2", {L"1", L"2"}},
      {L"a7-8b 9", {L"7|8"}, L"ab 9", {L"9"}},
      {L"5 - 6", {}, L"5 - 6", {L"5", L"6"}},
      {L"", {}, L"", {}},
      {L"abc", {}, L"abc", {}},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Texts(FindRangeMatches(c.text)), c.ranges) << c.text;
    const std::wstring rest = RemoveRangeMatches(c.text);
    EXPECT_EQ(rest, c.rest) << c.text;
    EXPECT_EQ(Texts(FindNumberMatches(rest)), c.numbers) << c.text;
  }
}

TEST(ChannelRangeTest, ChannelHits) {
  struct Case {
    const wchar_t* range;
    std::uint64_t channel;
    int hits;
  } const kCases[] = {
      {L"300-310", 305, 1},
      {L"305-305", 305, 1},
      {L"306-400", 305, 0},
      {L"310-300", 305, 0},
      {L"100-200,305", 305, 1},
      {L"3050", 305, 0},
      {L"0305", 305, 1},
      {L"300-310,305", 305, 2},  // by the range and by the number
      {L"300-304,306-310", 305, 0},
      {L"0", 0, 1},
      {L"0-5", 0, 1},
      {L"", 305, 0},
      {L"", 0, 0},
      {L"none", 0, 0},
      {L"4294967295", 4294967295u, 1},
      {L"4294967296", 0, 0},  // numbers compare in 64 bits
  };
  for (const Case& c : kCases) EXPECT_EQ(Hits(c.range, c.channel), c.hits) << c.range << " @ " << c.channel;
}

TEST(ChannelRangeTest, ANumberBeyondSixtyFourBitsThrowsWhenReached) {
  for (const wchar_t* range : {L"123456789012345678901", L"1-123456789012345678901", L"123456789012345678901-5"}) {
    EXPECT_THROW(
        {
          try {
            Hits(range, 305);
          } catch (const std::out_of_range& error) {
            EXPECT_STREQ(error.what(), "stoull argument out of range");
            throw;
          }
        },
        std::out_of_range)
        << range;
  }
  // Hits before the bad number have been reported already.
  int hits = 0;
  EXPECT_THROW(ForEachChannelHit(L"300-310,123456789012345678901", 305, [&] { ++hits; }), std::out_of_range);
  EXPECT_EQ(hits, 1);
}
