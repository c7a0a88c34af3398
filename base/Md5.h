// MD5 (RFC 1321) over bytes in memory or fed in pieces. Portable: no Windows
// headers, so the parsers that use it also build natively. Any thread; one
// Md5 object belongs to one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Md5Digest = std::array<std::uint8_t, 16>;

class Md5 {
 public:
  Md5();
  // Feeds the next bytes of the message; any length, any alignment.
  void Update(const void* bytes, std::size_t length);
  // Pads, returns the digest and leaves the object ready for a new message.
  Md5Digest Finish();

 private:
  std::uint32_t state_[4];
  std::uint64_t length_ = 0;  // bytes fed so far
  std::uint8_t pending_[64];
  std::size_t pendingLength_ = 0;
};

// 32 lower-case hexadecimal digits, two per digest byte in byte order.
std::string Md5DigestToHex(const Md5Digest& digest);

// The digest text of length bytes at bytes.
std::string Md5Hex(const void* bytes, std::size_t length);
