#include "common/oauth/pkce.h"

#include "common/oauth/base64.h"
#include "common/oauth/sha256.h"

namespace tidewell {
namespace oauth {

bool IsValidPkceVerifier(std::string_view verifier) {
  if (verifier.size() < 43 || verifier.size() > 128) return false;
  for (char c : verifier) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '.' || c == '_' || c == '~';
    if (!ok) return false;
  }
  return true;
}

std::string PkceVerifierFromRandom(std::string_view random_bytes) {
  if (random_bytes.size() < kPkceMinRandomBytes || random_bytes.size() > kPkceMaxRandomBytes) return {};
  return Base64UrlEncode(random_bytes);
}

std::string PkceChallengeS256(std::string_view verifier) {
  const Sha256::Digest d = Sha256::Of(verifier);
  return Base64UrlEncode(std::string_view(reinterpret_cast<const char*>(d.data()), d.size()));
}

std::string StateFromRandom(std::string_view random_bytes) {
  if (random_bytes.size() < 16) return {};
  return Base64UrlEncode(random_bytes);
}

}  // namespace oauth
}  // namespace tidewell
