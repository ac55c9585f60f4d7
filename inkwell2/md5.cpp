// MD5 (RFC 1321).
#include <cstring>

#include "inkwell2/codec.h"

namespace inkwell2 {
namespace {

inline std::uint32_t rotl(std::uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

inline std::uint32_t load_le(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

void Md5::reset() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  bytes_ = 0;
  std::memset(buf_, 0, sizeof buf_);
  std::memset(digest_, 0, sizeof digest_);
  finished_ = false;
}

#define MD5_STEP(f, a, b, c, d, k, s, t) \
  a += f(b, c, d) + x[k] + (t);          \
  a = rotl(a, s) + b;
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

void Md5::block(const unsigned char* p, std::size_t blocks) {
  std::uint32_t a0 = state_[0], b0 = state_[1], c0 = state_[2], d0 = state_[3];
  for (; blocks; --blocks, p += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = load_le(p + 4 * i);
    std::uint32_t a = a0, b = b0, c = c0, d = d0;
    MD5_STEP(MD5_F, a, b, c, d, 0, 7, 0xd76aa478) MD5_STEP(MD5_F, d, a, b, c, 1, 12, 0xe8c7b756)
    MD5_STEP(MD5_F, c, d, a, b, 2, 17, 0x242070db) MD5_STEP(MD5_F, b, c, d, a, 3, 22, 0xc1bdceee)
    MD5_STEP(MD5_F, a, b, c, d, 4, 7, 0xf57c0faf) MD5_STEP(MD5_F, d, a, b, c, 5, 12, 0x4787c62a)
    MD5_STEP(MD5_F, c, d, a, b, 6, 17, 0xa8304613) MD5_STEP(MD5_F, b, c, d, a, 7, 22, 0xfd469501)
    MD5_STEP(MD5_F, a, b, c, d, 8, 7, 0x698098d8) MD5_STEP(MD5_F, d, a, b, c, 9, 12, 0x8b44f7af)
    MD5_STEP(MD5_F, c, d, a, b, 10, 17, 0xffff5bb1) MD5_STEP(MD5_F, b, c, d, a, 11, 22, 0x895cd7be)
    MD5_STEP(MD5_F, a, b, c, d, 12, 7, 0x6b901122) MD5_STEP(MD5_F, d, a, b, c, 13, 12, 0xfd987193)
    MD5_STEP(MD5_F, c, d, a, b, 14, 17, 0xa679438e) MD5_STEP(MD5_F, b, c, d, a, 15, 22, 0x49b40821)
    MD5_STEP(MD5_G, a, b, c, d, 1, 5, 0xf61e2562) MD5_STEP(MD5_G, d, a, b, c, 6, 9, 0xc040b340)
    MD5_STEP(MD5_G, c, d, a, b, 11, 14, 0x265e5a51) MD5_STEP(MD5_G, b, c, d, a, 0, 20, 0xe9b6c7aa)
    MD5_STEP(MD5_G, a, b, c, d, 5, 5, 0xd62f105d) MD5_STEP(MD5_G, d, a, b, c, 10, 9, 0x02441453)
    MD5_STEP(MD5_G, c, d, a, b, 15, 14, 0xd8a1e681) MD5_STEP(MD5_G, b, c, d, a, 4, 20, 0xe7d3fbc8)
    MD5_STEP(MD5_G, a, b, c, d, 9, 5, 0x21e1cde6) MD5_STEP(MD5_G, d, a, b, c, 14, 9, 0xc33707d6)
    MD5_STEP(MD5_G, c, d, a, b, 3, 14, 0xf4d50d87) MD5_STEP(MD5_G, b, c, d, a, 8, 20, 0x455a14ed)
    MD5_STEP(MD5_G, a, b, c, d, 13, 5, 0xa9e3e905) MD5_STEP(MD5_G, d, a, b, c, 2, 9, 0xfcefa3f8)
    MD5_STEP(MD5_G, c, d, a, b, 7, 14, 0x676f02d9) MD5_STEP(MD5_G, b, c, d, a, 12, 20, 0x8d2a4c8a)
    MD5_STEP(MD5_H, a, b, c, d, 5, 4, 0xfffa3942) MD5_STEP(MD5_H, d, a, b, c, 8, 11, 0x8771f681)
    MD5_STEP(MD5_H, c, d, a, b, 11, 16, 0x6d9d6122) MD5_STEP(MD5_H, b, c, d, a, 14, 23, 0xfde5380c)
    MD5_STEP(MD5_H, a, b, c, d, 1, 4, 0xa4beea44) MD5_STEP(MD5_H, d, a, b, c, 4, 11, 0x4bdecfa9)
    MD5_STEP(MD5_H, c, d, a, b, 7, 16, 0xf6bb4b60) MD5_STEP(MD5_H, b, c, d, a, 10, 23, 0xbebfbc70)
    MD5_STEP(MD5_H, a, b, c, d, 13, 4, 0x289b7ec6) MD5_STEP(MD5_H, d, a, b, c, 0, 11, 0xeaa127fa)
    MD5_STEP(MD5_H, c, d, a, b, 3, 16, 0xd4ef3085) MD5_STEP(MD5_H, b, c, d, a, 6, 23, 0x04881d05)
    MD5_STEP(MD5_H, a, b, c, d, 9, 4, 0xd9d4d039) MD5_STEP(MD5_H, d, a, b, c, 12, 11, 0xe6db99e5)
    MD5_STEP(MD5_H, c, d, a, b, 15, 16, 0x1fa27cf8) MD5_STEP(MD5_H, b, c, d, a, 2, 23, 0xc4ac5665)
    MD5_STEP(MD5_I, a, b, c, d, 0, 6, 0xf4292244) MD5_STEP(MD5_I, d, a, b, c, 7, 10, 0x432aff97)
    MD5_STEP(MD5_I, c, d, a, b, 14, 15, 0xab9423a7) MD5_STEP(MD5_I, b, c, d, a, 5, 21, 0xfc93a039)
    MD5_STEP(MD5_I, a, b, c, d, 12, 6, 0x655b59c3) MD5_STEP(MD5_I, d, a, b, c, 3, 10, 0x8f0ccc92)
    MD5_STEP(MD5_I, c, d, a, b, 10, 15, 0xffeff47d) MD5_STEP(MD5_I, b, c, d, a, 1, 21, 0x85845dd1)
    MD5_STEP(MD5_I, a, b, c, d, 8, 6, 0x6fa87e4f) MD5_STEP(MD5_I, d, a, b, c, 15, 10, 0xfe2ce6e0)
    MD5_STEP(MD5_I, c, d, a, b, 6, 15, 0xa3014314) MD5_STEP(MD5_I, b, c, d, a, 13, 21, 0x4e0811a1)
    MD5_STEP(MD5_I, a, b, c, d, 4, 6, 0xf7537e82) MD5_STEP(MD5_I, d, a, b, c, 11, 10, 0xbd3af235)
    MD5_STEP(MD5_I, c, d, a, b, 2, 15, 0x2ad7d2bb) MD5_STEP(MD5_I, b, c, d, a, 9, 21, 0xeb86d391)
    a0 += a;
    b0 += b;
    c0 += c;
    d0 += d;
  }
  state_[0] = a0;
  state_[1] = b0;
  state_[2] = c0;
  state_[3] = d0;
}

void Md5::update(const void* data, std::size_t len) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::size_t used = static_cast<std::size_t>(bytes_ % 64);
  bytes_ += len;
  if (used) {
    const std::size_t take = std::min<std::size_t>(64 - used, len);
    std::memcpy(buf_ + used, p, take);
    p += take;
    len -= take;
    if (used + take < 64) return;
    block(buf_, 1);
  }
  if (len >= 64) {
    block(p, len / 64);
    p += len / 64 * 64;
    len %= 64;
  }
  if (len) std::memcpy(buf_, p, len);
}

void Md5::finish(unsigned char digest[16]) {
  if (!finished_) {
    const std::uint64_t bits = bytes_ * 8;
    unsigned char pad[72] = {0x80};
    const std::size_t used = static_cast<std::size_t>(bytes_ % 64);
    const std::size_t padlen = used < 56 ? 56 - used : 120 - used;
    update(pad, padlen);
    unsigned char len[8];
    for (int i = 0; i < 8; ++i) len[i] = static_cast<unsigned char>(bits >> (8 * i));
    update(len, 8);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) digest_[4 * i + j] = static_cast<unsigned char>(state_[i] >> (8 * j));
    // The context is wiped once the digest is taken.
    std::memset(state_, 0, sizeof state_);
    std::memset(buf_, 0, sizeof buf_);
    bytes_ = 0;
    finished_ = true;
  }
  std::memcpy(digest, digest_, 16);
}

std::string Md5::hex() {
  unsigned char d[16];
  finish(d);
  static const char kDigits[] = "0123456789abcdef";
  std::string s(32, '0');
  for (int i = 0; i < 16; ++i) {
    s[2 * i] = kDigits[d[i] >> 4];
    s[2 * i + 1] = kDigits[d[i] & 15];
  }
  return s;
}

std::string md5_hex(std::string_view text) {
  Md5 m;
  m.update(text.data(), text.size());
  return m.hex();
}

}  // namespace inkwell2
