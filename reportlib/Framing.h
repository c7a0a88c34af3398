// The request our report library sends for one report, and the collection
// address it goes to. Pure functions; see README.md for the byte layout.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace reportlib {

struct Collection {
  std::string host;
  unsigned short port = 443;
};

// "host" uses the port given; "host:port" carries its own. An unusable port
// text (empty, not decimal, 0 or above 65535) leaves the given port.
Collection ParseCollection(std::string_view host, unsigned short port);

// The request body: "ORVR", framing version 1, the header, the head block and
// the body blocks, each behind its big-endian length.
std::vector<std::uint8_t> FrameReport(const std::vector<std::uint8_t>& header, const std::vector<std::uint8_t>& head,
                                      const std::vector<std::vector<std::uint8_t>>& bodies);

inline constexpr char kCollectPath[] = "/collect";

}  // namespace reportlib
