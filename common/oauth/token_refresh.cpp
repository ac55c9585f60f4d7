#include "common/oauth/token_refresh.h"

namespace tidewell {
namespace oauth {

std::int64_t ExpiresAt(std::int64_t now, std::int64_t expires_in) {
  return expires_in > 0 ? now + expires_in : 0;
}

TokenStep TokenRefreshRule::BeforeLogin(const StoredToken& token, std::int64_t now) {
  const bool fresh = !token.access_token.empty() && token.expires_at != 0 && token.expires_at - now >= margin_;
  if (fresh) return TokenStep::kLogin;
  if (!token.has_refresh_token) {
    // An access token of unknown age is still worth one try.
    if (!token.access_token.empty() && token.expires_at == 0) return TokenStep::kLogin;
    return Fail(OAuthFailure::kNeedsSignIn);
  }
  refreshed_ = true;
  return TokenStep::kRefresh;
}

TokenStep TokenRefreshRule::OnTokenRefused(const StoredToken& token, bool token_was_the_problem) {
  if (!token_was_the_problem || refreshed_) return Fail(OAuthFailure::kTokenRefused);
  if (!token.has_refresh_token) return Fail(OAuthFailure::kNeedsSignIn);
  refreshed_ = true;
  return TokenStep::kRefresh;
}

TokenStep TokenRefreshRule::OnRefreshed(bool ok, bool needs_sign_in) {
  if (ok) return TokenStep::kLogin;
  return Fail(needs_sign_in ? OAuthFailure::kNeedsSignIn : OAuthFailure::kRefreshFailed);
}

}  // namespace oauth
}  // namespace tidewell
