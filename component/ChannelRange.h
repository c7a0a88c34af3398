// Matching a channel against a ChannelRange attribute such as
// "100-200,305,400-410". Two patterns are searched left to right without
// overlap, as an ECMAScript regular-expression search would: ranges
// "([0-9]+)-([0-9]+)" first, then single numbers "([0-9]+)" in what is left
// once every range is removed, so a bound of a range is never also read as a
// single number. Hand-written, since <regex> would add a megabyte to the
// executable. Portable code (no Windows headers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct ChannelRangeMatch {
  std::size_t begin = 0;  // the whole match: [begin, end)
  std::size_t end = 0;
  std::wstring_view low;   // group 1
  std::wstring_view high;  // group 2; empty for a single number
};

// Matches of "([0-9]+)-([0-9]+)", left to right, non-overlapping.
std::vector<ChannelRangeMatch> FindRangeMatches(std::wstring_view text);
// text with every range match removed.
std::wstring RemoveRangeMatches(std::wstring_view text);
// Matches of "([0-9]+)", left to right (each a maximal run of digits).
std::vector<ChannelRangeMatch> FindNumberMatches(std::wstring_view text);

// Calls hit once for every range holding channel (bounds inclusive) and then
// once for every single number equal to it, in that order; numbers are read
// as they are reached with ReadDecimalNumber, so a number too large for 64
// bits throws std::out_of_range when the search gets to it.
void ForEachChannelHit(std::wstring_view range, std::uint64_t channel, const std::function<void()>& hit);
