// Token.dat in the data folder: the access tokens of the OAuth accounts (and
// a refresh token the provider rotated), kept between checks so that a check
// needs no token endpoint call while its token is good. Written by the check
// and by the list, each read-modify-write, replaced atomically; every token
// text is sealed with the user's key like the passwords of Account.dat.
//
// An entry belongs to an account's display name and to the SHA-256 of the
// Account.dat refresh token it derives from (its "origin"): after a new
// sign-in, or for another account of the same name, the entry no longer
// matches and is not used.
//
// Layout: "TidewellT", version byte (1), count byte, then count entries:
//   display name (1-byte length)
//   origin: SHA-256 of the origin refresh token (32 bytes)
//   expires at: seconds since 1970 UTC, 8 bytes, high byte first (0 unknown)
//   sealed access token (2-byte length)
//   sealed rotated refresh token (2-byte length; empty when none)
// 2-byte lengths are high byte first. A damaged file reads as no entries;
// nothing past its end or past kMaxTokenFile is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/password_protector.h"

namespace tidewell {
namespace oauth {

constexpr const char kTokenFileName[] = "Token.dat";

// A larger Token.dat is not read (it holds at most 255 entries of a few
// kilobytes each).
constexpr std::size_t kMaxTokenFile = 1024 * 1024;

struct CachedToken {
  std::string access_token;
  std::int64_t expires_at = 0;  // seconds since 1970 UTC; 0 unknown
  std::string refresh_token;    // a rotated refresh token the provider gave; empty: use Account.dat's
};

// "<data folder>\Token.dat" entry of `account` whose origin is `origin_refresh_token`; false when none/unreadable.
bool LoadCachedToken(const std::string& data_folder, std::string_view account, std::string_view origin_refresh_token,
                     PasswordProtector& protector, CachedToken& out);

// Replaces (or adds) the entry atomically; entries of other accounts stay. False when it could not be written.
bool StoreCachedToken(const std::string& data_folder, std::string_view account, std::string_view origin_refresh_token,
                      const CachedToken& token, PasswordProtector& protector);

// Removes the entry of `account` (any origin), e.g. after the provider refused the refresh token.
bool ForgetCachedToken(const std::string& data_folder, std::string_view account, PasswordProtector& protector);

// The file's entries as stored (token texts still sealed), for the functions
// above and their tests.
struct TokenEntry {
  std::string account;
  std::string origin;  // 32 bytes: SHA-256 of the origin refresh token
  std::int64_t expires_at = 0;
  std::string sealed_access_token;
  std::string sealed_refresh_token;
};

// Decodes a Token.dat image; false (out empty) when it is not one, is cut
// short or is larger than kMaxTokenFile.
bool ParseTokenFile(std::string_view bytes, std::vector<TokenEntry>& out);

// Encodes entries as Token.dat (at most 255 of them; an entry whose texts do
// not fit their length fields is left out).
std::string EncodeTokenFile(const std::vector<TokenEntry>& entries);

}  // namespace oauth
}  // namespace tidewell
