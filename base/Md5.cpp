#include "base/Md5.h"

#include <cstring>

namespace {

constexpr std::uint32_t kInitialState[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};

inline std::uint32_t RotateLeft(std::uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

inline std::uint32_t LoadLittleEndian(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The round functions are written so that the compiler can overlap work that
// does not depend on the previous step: F and I need one fewer operation than
// their textbook form, and G is split into two additions.
#define MD5_F(a, b, c, d, x, s, t) \
  a += ((d) ^ ((b) & ((c) ^ (d)))) + (x) + (t); \
  a = RotateLeft(a, s) + (b)
#define MD5_G(a, b, c, d, x, s, t)  \
  a += ((c) & ~(d)) + (x) + (t);    \
  a += (b) & (d);                   \
  a = RotateLeft(a, s) + (b)
#define MD5_H(a, b, c, d, x, s, t) \
  a += ((b) ^ (c) ^ (d)) + (x) + (t); \
  a = RotateLeft(a, s) + (b)
#define MD5_I(a, b, c, d, x, s, t) \
  a += ((c) ^ ((b) | ~(d))) + (x) + (t); \
  a = RotateLeft(a, s) + (b)

void Compress(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count) {
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; count > 0; --count, blocks += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLittleEndian(blocks + 4 * i);
    const std::uint32_t a0 = a, b0 = b, c0 = c, d0 = d;

    MD5_F(a, b, c, d, x[0], 7, 0xd76aa478u);
    MD5_F(d, a, b, c, x[1], 12, 0xe8c7b756u);
    MD5_F(c, d, a, b, x[2], 17, 0x242070dbu);
    MD5_F(b, c, d, a, x[3], 22, 0xc1bdceeeu);
    MD5_F(a, b, c, d, x[4], 7, 0xf57c0fafu);
    MD5_F(d, a, b, c, x[5], 12, 0x4787c62au);
    MD5_F(c, d, a, b, x[6], 17, 0xa8304613u);
    MD5_F(b, c, d, a, x[7], 22, 0xfd469501u);
    MD5_F(a, b, c, d, x[8], 7, 0x698098d8u);
    MD5_F(d, a, b, c, x[9], 12, 0x8b44f7afu);
    MD5_F(c, d, a, b, x[10], 17, 0xffff5bb1u);
    MD5_F(b, c, d, a, x[11], 22, 0x895cd7beu);
    MD5_F(a, b, c, d, x[12], 7, 0x6b901122u);
    MD5_F(d, a, b, c, x[13], 12, 0xfd987193u);
    MD5_F(c, d, a, b, x[14], 17, 0xa679438eu);
    MD5_F(b, c, d, a, x[15], 22, 0x49b40821u);

    MD5_G(a, b, c, d, x[1], 5, 0xf61e2562u);
    MD5_G(d, a, b, c, x[6], 9, 0xc040b340u);
    MD5_G(c, d, a, b, x[11], 14, 0x265e5a51u);
    MD5_G(b, c, d, a, x[0], 20, 0xe9b6c7aau);
    MD5_G(a, b, c, d, x[5], 5, 0xd62f105du);
    MD5_G(d, a, b, c, x[10], 9, 0x02441453u);
    MD5_G(c, d, a, b, x[15], 14, 0xd8a1e681u);
    MD5_G(b, c, d, a, x[4], 20, 0xe7d3fbc8u);
    MD5_G(a, b, c, d, x[9], 5, 0x21e1cde6u);
    MD5_G(d, a, b, c, x[14], 9, 0xc33707d6u);
    MD5_G(c, d, a, b, x[3], 14, 0xf4d50d87u);
    MD5_G(b, c, d, a, x[8], 20, 0x455a14edu);
    MD5_G(a, b, c, d, x[13], 5, 0xa9e3e905u);
    MD5_G(d, a, b, c, x[2], 9, 0xfcefa3f8u);
    MD5_G(c, d, a, b, x[7], 14, 0x676f02d9u);
    MD5_G(b, c, d, a, x[12], 20, 0x8d2a4c8au);

    MD5_H(a, b, c, d, x[5], 4, 0xfffa3942u);
    MD5_H(d, a, b, c, x[8], 11, 0x8771f681u);
    MD5_H(c, d, a, b, x[11], 16, 0x6d9d6122u);
    MD5_H(b, c, d, a, x[14], 23, 0xfde5380cu);
    MD5_H(a, b, c, d, x[1], 4, 0xa4beea44u);
    MD5_H(d, a, b, c, x[4], 11, 0x4bdecfa9u);
    MD5_H(c, d, a, b, x[7], 16, 0xf6bb4b60u);
    MD5_H(b, c, d, a, x[10], 23, 0xbebfbc70u);
    MD5_H(a, b, c, d, x[13], 4, 0x289b7ec6u);
    MD5_H(d, a, b, c, x[0], 11, 0xeaa127fau);
    MD5_H(c, d, a, b, x[3], 16, 0xd4ef3085u);
    MD5_H(b, c, d, a, x[6], 23, 0x04881d05u);
    MD5_H(a, b, c, d, x[9], 4, 0xd9d4d039u);
    MD5_H(d, a, b, c, x[12], 11, 0xe6db99e5u);
    MD5_H(c, d, a, b, x[15], 16, 0x1fa27cf8u);
    MD5_H(b, c, d, a, x[2], 23, 0xc4ac5665u);

    MD5_I(a, b, c, d, x[0], 6, 0xf4292244u);
    MD5_I(d, a, b, c, x[7], 10, 0x432aff97u);
    MD5_I(c, d, a, b, x[14], 15, 0xab9423a7u);
    MD5_I(b, c, d, a, x[5], 21, 0xfc93a039u);
    MD5_I(a, b, c, d, x[12], 6, 0x655b59c3u);
    MD5_I(d, a, b, c, x[3], 10, 0x8f0ccc92u);
    MD5_I(c, d, a, b, x[10], 15, 0xffeff47du);
    MD5_I(b, c, d, a, x[1], 21, 0x85845dd1u);
    MD5_I(a, b, c, d, x[8], 6, 0x6fa87e4fu);
    MD5_I(d, a, b, c, x[15], 10, 0xfe2ce6e0u);
    MD5_I(c, d, a, b, x[6], 15, 0xa3014314u);
    MD5_I(b, c, d, a, x[13], 21, 0x4e0811a1u);
    MD5_I(a, b, c, d, x[4], 6, 0xf7537e82u);
    MD5_I(d, a, b, c, x[11], 10, 0xbd3af235u);
    MD5_I(c, d, a, b, x[2], 15, 0x2ad7d2bbu);
    MD5_I(b, c, d, a, x[9], 21, 0xeb86d391u);

    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

}  // namespace

Md5::Md5() { std::memcpy(state_, kInitialState, sizeof state_); }

void Md5::Update(const void* bytes, std::size_t length) {
  const auto* in = static_cast<const std::uint8_t*>(bytes);
  length_ += length;
  if (pendingLength_ > 0) {
    const std::size_t take = length < 64 - pendingLength_ ? length : 64 - pendingLength_;
    std::memcpy(pending_ + pendingLength_, in, take);
    pendingLength_ += take;
    in += take;
    length -= take;
    if (pendingLength_ < 64) return;
    Compress(state_, pending_, 1);
    pendingLength_ = 0;
  }
  const std::size_t whole = length / 64;
  if (whole > 0) Compress(state_, in, whole);
  in += whole * 64;
  length -= whole * 64;
  if (length > 0) {
    std::memcpy(pending_, in, length);
    pendingLength_ = length;
  }
}

Md5Digest Md5::Finish() {
  const std::uint64_t bits = length_ * 8;
  std::uint8_t tail[72] = {0x80};
  // Pad to 56 bytes past a block boundary, then the message length in bits.
  const std::size_t padding = (pendingLength_ < 56 ? 56 : 120) - pendingLength_;
  for (int i = 0; i < 8; ++i) tail[padding + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  Update(tail, padding + 8);

  Md5Digest digest;
  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 4; ++k) digest[4 * i + k] = static_cast<std::uint8_t>(state_[i] >> (8 * k));
  }
  std::memcpy(state_, kInitialState, sizeof state_);
  length_ = 0;
  pendingLength_ = 0;
  return digest;
}

std::string Md5DigestToHex(const Md5Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(32, '0');
  for (std::size_t i = 0; i < digest.size(); ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 0x0f];
  }
  return text;
}

std::string Md5Hex(const void* bytes, std::size_t length) {
  Md5 md5;
  md5.Update(bytes, length);
  return Md5DigestToHex(md5.Finish());
}
