#include "reportlib/Framing.h"

namespace reportlib {

namespace {

void Put(std::vector<std::uint8_t>& out, std::uint32_t value, int size) {
  for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutBytes(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& bytes, int lengthSize) {
  Put(out, static_cast<std::uint32_t>(bytes.size()), lengthSize);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

Collection ParseCollection(std::string_view host, unsigned short port) {
  Collection collection{std::string(host), port};
  const std::size_t colon = host.rfind(':');
  if (colon == std::string_view::npos) return collection;
  const std::string_view digits = host.substr(colon + 1);
  std::uint32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9' || value > 65535) return collection;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (digits.empty() || value == 0 || value > 65535) return collection;
  collection.host.assign(host.substr(0, colon));
  collection.port = static_cast<unsigned short>(value);
  return collection;
}

std::vector<std::uint8_t> FrameReport(const std::vector<std::uint8_t>& header, const std::vector<std::uint8_t>& head,
                                      const std::vector<std::vector<std::uint8_t>>& bodies) {
  std::vector<std::uint8_t> out = {'O', 'R', 'V', 'R'};
  Put(out, 1, 2);
  PutBytes(out, header, 2);
  PutBytes(out, head, 4);
  Put(out, static_cast<std::uint32_t>(bodies.size()), 2);
  for (const auto& body : bodies) PutBytes(out, body, 4);
  return out;
}

}  // namespace reportlib
