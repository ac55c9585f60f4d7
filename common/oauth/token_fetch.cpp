#include "common/oauth/token_fetch.h"

#include "common/check_errors.h"
#include "common/oauth/token.h"
#include "common/oauth/token_refresh.h"

namespace tidewell {
namespace oauth {
namespace {

TokenDecision Fail(int code, bool forget = false) {
  TokenDecision d;
  d.step = TokenDecision::Step::kFail;
  d.signin_failure = code;
  d.forget = forget;
  return d;
}

// A cached token with at least this much time left is used when the refresh
// (asked for because it nears its end) cannot be made.
constexpr std::int64_t kFallbackSeconds = 60;

TokenDecision Use(const std::string& token) {
  TokenDecision d;
  d.step = TokenDecision::Step::kUse;
  d.access_token = token;
  return d;
}

bool KnownProvider(int provider) {
  return provider == static_cast<int>(OAuthProvider::kMicrosoft) ||
         provider == static_cast<int>(OAuthProvider::kGoogle) || provider == static_cast<int>(OAuthProvider::kCustom);
}

}  // namespace

TokenDecision TokenFetch::Begin(const TokenFetchInput& input) {
  rotated_.clear();
  fallback_.clear();
  // Never signed in (or the sealed token belongs to another user), or an
  // account whose provider this build does not know: only a sign-in helps.
  if (input.account_refresh_token.empty() || input.refresh_token_unreadable || !KnownProvider(input.provider))
    return Fail(kSignInNeeded);
  if (input.has_cached && !input.forced) {
    StoredToken stored;
    stored.access_token = input.cached.access_token;
    stored.expires_at = input.cached.expires_at;
    stored.has_refresh_token = true;
    TokenRefreshRule rule;
    if (rule.BeforeLogin(stored, input.now) == TokenStep::kLogin) return Use(input.cached.access_token);
    // Still good for a while, if not for the margin.
    if (input.cached.expires_at > input.now + kFallbackSeconds) fallback_ = input.cached.access_token;
  }
  if (CheckProviderSettings(input.settings) != ProviderProblem::kNone) {
    if (!fallback_.empty()) return Use(fallback_);
    return Fail(kSignInNoClientId);
  }
  // A refresh token the provider rotated replaces Account.dat's.
  if (input.has_cached) rotated_ = input.cached.refresh_token;
  const std::string& refresh = rotated_.empty() ? input.account_refresh_token : rotated_;
  TokenDecision d;
  d.step = TokenDecision::Step::kPost;
  d.url = input.settings.token_url;
  d.body = RefreshTokenBody(input.settings.client_id, input.settings.client_secret, refresh, input.settings.scope);
  return d;
}

TokenDecision TokenFetch::OnAnswer(bool answered, int status, std::string_view body, std::int64_t now) {
  const TokenResponse response = answered ? ParseTokenResponse(body) : TokenResponse();
  // invalid_grant: the refresh token was revoked or ran out; its entry goes.
  if (answered && TokenErrorNeedsSignIn(response)) return Fail(kSignInNeeded, true);
  if (!answered || status != 200 || !response.ok) {
    if (!fallback_.empty()) return Use(fallback_);
    return Fail(kSignInRefreshFailed);
  }
  TokenDecision d;
  d.step = TokenDecision::Step::kUse;
  d.access_token = response.access_token;
  d.fresh = true;
  d.store = true;
  d.entry.access_token = response.access_token;
  d.entry.expires_at = ExpiresAt(now, response.expires_in);
  d.entry.refresh_token = response.refresh_token.empty() ? rotated_ : response.refresh_token;
  return d;
}

}  // namespace oauth
}  // namespace tidewell
