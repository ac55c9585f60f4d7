// SHA-256 (FIPS 180-4), for the PKCE code challenge. Small and portable: the
// digest of a few dozen bytes, so no attention is paid to speed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tidewell {
namespace oauth {

class Sha256 {
 public:
  using Digest = std::array<std::uint8_t, 32>;

  Sha256();
  void Update(std::string_view bytes);
  // The digest of everything given so far; the object is spent afterwards
  // (Reset to start again).
  Digest Finish();
  void Reset();

  static Digest Of(std::string_view bytes);

 private:
  void Block(const std::uint8_t* p);

  std::uint32_t h_[8];
  std::uint8_t buffer_[64];
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // bytes
};

// The digest as 64 lower-case hexadecimal digits.
std::string HexDigest(const Sha256::Digest& digest);

}  // namespace oauth
}  // namespace tidewell
