// Proof Key for Code Exchange (RFC 7636) with the S256 method. The random
// bytes come from the caller (the platform's random source on Windows), so
// that the values here are plain functions of their input.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tidewell {
namespace oauth {

// Random bytes that give a verifier of 43 to 128 characters.
constexpr std::size_t kPkceMinRandomBytes = 32;
constexpr std::size_t kPkceMaxRandomBytes = 96;

// The code verifier: base64url of the bytes without padding. Empty when the
// byte count gives fewer than 43 or more than 128 characters.
std::string PkceVerifierFromRandom(std::string_view random_bytes);

// The S256 code challenge: base64url (no padding) of SHA-256 of the verifier.
std::string PkceChallengeS256(std::string_view verifier);

// True for 43 to 128 characters of A-Z a-z 0-9 - . _ ~.
bool IsValidPkceVerifier(std::string_view verifier);

// The state value of the authorization request: base64url of the bytes
// (at least 16 of them, or empty).
std::string StateFromRandom(std::string_view random_bytes);

}  // namespace oauth
}  // namespace tidewell
