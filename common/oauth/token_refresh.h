// When to refresh the access token of an account, and what a refusal means.
//
// Before a login: a token with less than the margin left (or none, or of
// unknown age) is refreshed first. During a login: the first refusal of a
// token that was not just refreshed gives one refresh and one retry; a
// refused token after a refresh is final, and so is a failed refresh.
#pragma once

#include <cstdint>
#include <string>

namespace tidewell {
namespace oauth {

constexpr std::int64_t kRefreshMarginSeconds = 5 * 60;

struct StoredToken {
  std::string access_token;
  std::int64_t expires_at = 0;  // seconds since 1970 (UTC); 0: unknown
  bool has_refresh_token = false;
};

// The time a token answered at `now` with expires_in runs out (0 when the
// server gave no lifetime).
std::int64_t ExpiresAt(std::int64_t now, std::int64_t expires_in);

// Why a sign-in ended without a token the server took; the session records
// each as an error entry of its own.
enum class OAuthFailure {
  kNone,
  kNeedsSignIn,     // no refresh token, or the token endpoint refused it (invalid_grant)
  kRefreshFailed,   // the token endpoint could not be reached or answered otherwise
  kTokenRefused,    // the mail server refused the token after the one refresh, or for a
                    // reason a new token does not mend (scope)
};

enum class TokenStep {
  kLogin,    // use the stored access token
  kRefresh,  // refresh first, then log in
  kFail,     // give up: failure() says why
};

class TokenRefreshRule {
 public:
  explicit TokenRefreshRule(std::int64_t margin_seconds = kRefreshMarginSeconds) : margin_(margin_seconds) {}

  // Before the login step.
  TokenStep BeforeLogin(const StoredToken& token, std::int64_t now);

  // The mail server refused the token (and says a new token may help:
  // SaslLogin::refused_token()). Gives kRefresh once, then kFail.
  TokenStep OnTokenRefused(const StoredToken& token, bool token_was_the_problem);

  // The token endpoint answered a refresh: ok, or whether the answer says
  // only a new sign-in helps (TokenErrorNeedsSignIn). After success: kLogin.
  TokenStep OnRefreshed(bool ok, bool needs_sign_in);

  OAuthFailure failure() const { return failure_; }
  bool refreshed() const { return refreshed_; }

 private:
  TokenStep Fail(OAuthFailure why) {
    failure_ = why;
    return TokenStep::kFail;
  }

  std::int64_t margin_;
  bool refreshed_ = false;  // a refresh has been asked for in this session
  OAuthFailure failure_ = OAuthFailure::kNone;
};

}  // namespace oauth
}  // namespace tidewell
