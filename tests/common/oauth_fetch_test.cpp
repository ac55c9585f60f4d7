// Getting an access token before a session: the cached token or a refresh,
// the sign-in errors, what goes into Token.dat, and the fallback to a
// cached token near its end when the refresh cannot be made.
#include <gtest/gtest.h>

#include <string>

#include "common/check_errors.h"
#include "common/oauth/token.h"
#include "common/oauth/token_fetch.h"
#include "common/oauth/token_refresh.h"

namespace tidewell {
namespace oauth {
namespace {

constexpr std::int64_t kNow = 1700000000;

ProviderSettings GoodSettings() {
  ProviderSettings s = ProviderDefaults(OAuthProvider::kCustom);
  s.client_id = "client-1";
  s.token_url = "https://127.0.0.1:8443/token";
  s.authorize_url = "https://127.0.0.1:8443/authorize";
  s.scope = "pop";
  return s;
}

TokenFetchInput SignedIn() {
  TokenFetchInput in;
  in.provider = static_cast<int>(OAuthProvider::kCustom);
  in.settings = GoodSettings();
  in.account_refresh_token = "origin-rt";
  in.now = kNow;
  return in;
}

TokenFetchInput WithCache(std::int64_t expires_at, const std::string& rotated = "") {
  TokenFetchInput in = SignedIn();
  in.has_cached = true;
  in.cached.access_token = "cached-at";
  in.cached.expires_at = expires_at;
  in.cached.refresh_token = rotated;
  return in;
}

TEST(TokenFetch, BeforeTheSession) {
  using Step = TokenDecision::Step;
  struct Case {
    const char* what;
    TokenFetchInput input;
    Step step;
    int failure;
    const char* token;         // kUse
    const char* posted_token;  // kPost: the refresh token in the body
  };
  TokenFetchInput unreadable = SignedIn();
  unreadable.refresh_token_unreadable = true;
  TokenFetchInput never = SignedIn();
  never.account_refresh_token.clear();
  TokenFetchInput no_provider = SignedIn();
  no_provider.provider = 0;
  TokenFetchInput future_provider = SignedIn();
  future_provider.provider = 4;
  TokenFetchInput no_client = SignedIn();
  no_client.settings.client_id.clear();
  TokenFetchInput plain_endpoint = SignedIn();
  plain_endpoint.settings.token_url = "http://127.0.0.1:8080/token";
  TokenFetchInput forced = WithCache(kNow + 3600);
  forced.forced = true;
  TokenFetchInput forced_no_client = WithCache(kNow + 3600);
  forced_no_client.forced = true;
  forced_no_client.settings.client_id.clear();
  TokenFetchInput near_end_no_client = WithCache(kNow + 120);
  near_end_no_client.settings.client_id.clear();
  const Case cases[] = {
      {"never signed in", never, Step::kFail, kSignInNeeded, "", ""},
      {"refresh token of another user", unreadable, Step::kFail, kSignInNeeded, "", ""},
      {"no provider", no_provider, Step::kFail, kSignInNeeded, "", ""},
      {"a provider this build does not know", future_provider, Step::kFail, kSignInNeeded, "", ""},
      {"no cache: refresh", SignedIn(), Step::kPost, 0, "", "origin-rt"},
      {"no client id", no_client, Step::kFail, kSignInNoClientId, "", ""},
      {"token endpoint not https", plain_endpoint, Step::kFail, kSignInNoClientId, "", ""},
      {"cached, an hour left", WithCache(kNow + 3600), Step::kUse, 0, "cached-at", ""},
      {"cached, within the margin", WithCache(kNow + kRefreshMarginSeconds - 1), Step::kPost, 0, "", "origin-rt"},
      {"cached, expired", WithCache(kNow - 10), Step::kPost, 0, "", "origin-rt"},
      {"cached, age unknown", WithCache(0), Step::kPost, 0, "", "origin-rt"},
      {"cached with a rotated refresh token", WithCache(kNow - 10, "rotated-rt"), Step::kPost, 0, "", "rotated-rt"},
      {"refused by the server: refresh though fresh", forced, Step::kPost, 0, "", "origin-rt"},
      {"refused, no client id: no fallback", forced_no_client, Step::kFail, kSignInNoClientId, "", ""},
      {"near its end, no client id: still used", near_end_no_client, Step::kUse, 0, "cached-at", ""},
  };
  for (const Case& c : cases) {
    TokenFetch fetch;
    const TokenDecision d = fetch.Begin(c.input);
    EXPECT_EQ(d.step, c.step) << c.what;
    EXPECT_EQ(d.signin_failure, c.failure) << c.what;
    EXPECT_EQ(d.access_token, c.token) << c.what;
    EXPECT_FALSE(d.fresh) << c.what;
    EXPECT_FALSE(d.store) << c.what;
    if (c.step == Step::kPost) {
      EXPECT_EQ(d.url, "https://127.0.0.1:8443/token") << c.what;
      EXPECT_EQ(d.body, RefreshTokenBody("client-1", "", c.posted_token, "pop")) << c.what;
    } else {
      EXPECT_TRUE(d.body.empty()) << c.what;
    }
  }
}

TEST(TokenFetch, TheTokenEndpointsAnswer) {
  using Step = TokenDecision::Step;
  struct Case {
    const char* what;
    TokenFetchInput input;
    bool answered;
    int status;
    const char* body;
    Step step;
    int failure;
    bool forget;
    const char* token;
    std::int64_t expires_at;  // of the stored entry
    const char* stored_refresh;
  };
  TokenFetchInput forced = WithCache(kNow + 3600);
  forced.forced = true;
  const char* kGood = R"({"access_token":"new-at","token_type":"Bearer","expires_in":3600})";
  const char* kRotating = R"({"access_token":"new-at","token_type":"Bearer","expires_in":"600","refresh_token":"rt-2"})";
  const char* kRevoked = R"({"error":"invalid_grant","error_description":"revoked"})";
  const Case cases[] = {
      {"a new token", SignedIn(), true, 200, kGood, Step::kUse, 0, false, "new-at", kNow + 3600, ""},
      {"a new token and a rotated refresh token", SignedIn(), true, 200, kRotating, Step::kUse, 0, false, "new-at",
       kNow + 600, "rt-2"},
      {"the rotated one in use stays when not rotated again", WithCache(kNow - 1, "rt-1"), true, 200, kGood,
       Step::kUse, 0, false, "new-at", kNow + 3600, "rt-1"},
      {"a token without lifetime", SignedIn(), true, 200, R"({"access_token":"a","token_type":"bearer"})", Step::kUse,
       0, false, "a", 0, ""},
      {"refresh token revoked", SignedIn(), true, 400, kRevoked, Step::kFail, kSignInNeeded, true, "", 0, ""},
      {"revoked, even near the end of the cached token", WithCache(kNow + 120), true, 400, kRevoked, Step::kFail,
       kSignInNeeded, true, "", 0, ""},
      {"other OAuth error", SignedIn(), true, 400, R"({"error":"invalid_client"})", Step::kFail, kSignInRefreshFailed,
       false, "", 0, ""},
      {"server error page", SignedIn(), true, 500, "<html>oops</html>", Step::kFail, kSignInRefreshFailed, false, "",
       0, ""},
      {"200 without a token", SignedIn(), true, 200, R"({"token_type":"Bearer"})", Step::kFail, kSignInRefreshFailed,
       false, "", 0, ""},
      {"a token of another type", SignedIn(), true, 200, R"({"access_token":"m","token_type":"mac"})", Step::kFail,
       kSignInRefreshFailed, false, "", 0, ""},
      {"a token with a status that is not 200", SignedIn(), true, 302, kGood, Step::kFail, kSignInRefreshFailed, false,
       "", 0, ""},
      {"no answer", SignedIn(), false, 0, "", Step::kFail, kSignInRefreshFailed, false, "", 0, ""},
      {"no answer, cached token near its end is used", WithCache(kNow + 120), false, 0, "", Step::kUse, 0, false,
       "cached-at", 0, ""},
      {"no answer, cached token too close to its end", WithCache(kNow + 30), false, 0, "", Step::kFail,
       kSignInRefreshFailed, false, "", 0, ""},
      {"no answer after the server refused the token", forced, false, 0, "", Step::kFail, kSignInRefreshFailed, false,
       "", 0, ""},
  };
  for (const Case& c : cases) {
    TokenFetch fetch;
    ASSERT_EQ(fetch.Begin(c.input).step, Step::kPost) << c.what;
    const TokenDecision d = fetch.OnAnswer(c.answered, c.status, c.body, kNow);
    EXPECT_EQ(d.step, c.step) << c.what;
    EXPECT_EQ(d.signin_failure, c.failure) << c.what;
    EXPECT_EQ(d.forget, c.forget) << c.what;
    EXPECT_EQ(d.access_token, c.token) << c.what;
    const bool refreshed = c.step == Step::kUse && c.answered;
    EXPECT_EQ(d.fresh, refreshed) << c.what;
    EXPECT_EQ(d.store, refreshed) << c.what;
    if (refreshed) {
      EXPECT_EQ(d.entry.access_token, c.token) << c.what;
      EXPECT_EQ(d.entry.expires_at, c.expires_at) << c.what;
      EXPECT_EQ(d.entry.refresh_token, c.stored_refresh) << c.what;
    }
  }
}

}  // namespace
}  // namespace oauth
}  // namespace tidewell
