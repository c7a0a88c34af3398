#include "component/ChannelRange.h"

#include "component/ComponentItem.h"

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::size_t DigitsEnd(std::wstring_view text, std::size_t from) {
  while (from < text.size() && IsDigit(text[from])) ++from;
  return from;
}

}  // namespace

std::vector<ChannelRangeMatch> FindRangeMatches(std::wstring_view text) {
  std::vector<ChannelRangeMatch> matches;
  std::size_t at = 0;
  while (at < text.size()) {
    if (!IsDigit(text[at])) {
      ++at;
      continue;
    }
    // Group 1 is greedy, and no shorter run of the same digits can be
    // followed by "-", so a search starting anywhere inside this run either
    // matches here at the run's start or not at all.
    const std::size_t lowEnd = DigitsEnd(text, at);
    if (lowEnd + 1 < text.size() && text[lowEnd] == L'-' && IsDigit(text[lowEnd + 1])) {
      const std::size_t highEnd = DigitsEnd(text, lowEnd + 1);
      matches.push_back({at, highEnd, text.substr(at, lowEnd - at), text.substr(lowEnd + 1, highEnd - lowEnd - 1)});
      at = highEnd;
    } else {
      at = lowEnd;
    }
  }
  return matches;
}

std::wstring RemoveRangeMatches(std::wstring_view text) {
  std::wstring rest;
  std::size_t kept = 0;
  for (const ChannelRangeMatch& match : FindRangeMatches(text)) {
    rest.append(text.substr(kept, match.begin - kept));
    kept = match.end;
  }
  rest.append(text.substr(kept));
  return rest;
}

std::vector<ChannelRangeMatch> FindNumberMatches(std::wstring_view text) {
  std::vector<ChannelRangeMatch> matches;
  for (std::size_t at = 0; at < text.size();) {
    if (!IsDigit(text[at])) {
      ++at;
      continue;
    }
    const std::size_t end = DigitsEnd(text, at);
    matches.push_back({at, end, text.substr(at, end - at), {}});
    at = end;
  }
  return matches;
}

void ForEachChannelHit(std::wstring_view range, std::uint64_t channel, const std::function<void()>& hit) {
  for (const ChannelRangeMatch& match : FindRangeMatches(range)) {
    const std::uint64_t low = ReadDecimalNumber(match.low);
    const std::uint64_t high = ReadDecimalNumber(match.high);
    if (low <= channel && channel <= high) hit();
  }
  const std::wstring rest = RemoveRangeMatches(range);
  for (const ChannelRangeMatch& match : FindNumberMatches(rest)) {
    if (ReadDecimalNumber(match.low) == channel) hit();
  }
}
