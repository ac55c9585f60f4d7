// How the check and the list get the access token of an OAuth account before
// its session, and after the mail server refused one: the decisions only.
// The drivers do the I/O (Token.dat, Tidewell.ini, the token endpoint's POST)
// and hand the results in.
//
//   Begin      the account's refresh token, provider and settings, and the
//              Token.dat entry if there is one: use the cached token, post a
//              refresh, or fail at once with a sign-in error code.
//   OnAnswer   the token endpoint's answer: the token to log in with and the
//              entry to store, or the sign-in error code (and whether the
//              entry is to be forgotten). A cached token refreshed only
//              because it nears its end is still used when the endpoint
//              cannot be reached or gives no token (not when it refused the
//              refresh token).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/oauth/providers.h"
#include "common/oauth/token_cache.h"

namespace tidewell {
namespace oauth {

// What getting a token needs of an account (CAccount on the check's side,
// GetAccountOAuth on the list's).
struct OAuthAccount {
  std::string display_name;
  int provider = 0;                       // OAuthProvider number
  std::string refresh_token;              // Account.dat's, opened
  bool refresh_token_unreadable = false;  // sealed with another user's key
};

struct TokenFetchInput {
  int provider = 0;                       // OAuthProvider number; anything else: no provider
  ProviderSettings settings;              // from Tidewell.ini
  std::string account_refresh_token;      // Account.dat's (the origin); empty: never signed in
  bool refresh_token_unreadable = false;  // sealed with another user's key
  bool has_cached = false;                // a Token.dat entry of this origin was read
  CachedToken cached;
  std::int64_t now = 0;                   // seconds since 1970 UTC
  bool forced = false;                    // the server refused the token: refresh whatever its age
};

struct TokenDecision {
  enum class Step {
    kUse,   // log in with access_token
    kPost,  // POST body to url, then OnAnswer
    kFail,  // no token: signin_failure (a SignInErrorCode)
  };
  Step step = Step::kFail;
  std::string access_token;
  bool fresh = false;      // the token was refreshed just now
  std::string url;         // kPost
  std::string body;        // kPost: holds the refresh token, never logged
  int signin_failure = 0;  // kFail
  bool store = false;      // kUse after a refresh: write `entry` to Token.dat
  CachedToken entry;
  bool forget = false;     // kFail: drop the account's Token.dat entry
};

class TokenFetch {
 public:
  TokenDecision Begin(const TokenFetchInput& input);
  // The token endpoint's answer: `answered` false when no HTTP answer came.
  TokenDecision OnAnswer(bool answered, int status, std::string_view body, std::int64_t now);

 private:
  std::string rotated_;   // the Token.dat refresh token posted, kept when the provider does not rotate again
  std::string fallback_;  // the cached token, near its end but still good: used when the refresh cannot be made
};

}  // namespace oauth
}  // namespace tidewell
