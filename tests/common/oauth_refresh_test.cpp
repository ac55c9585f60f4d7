// The token refresh rule over whole logins (refresh ahead of expiry, one
// refresh and one retry after a refusal, final failures and which one), and
// the providers' defaults read over by the Tidewell.ini sections.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/oauth/providers.h"
#include "common/oauth/token_refresh.h"

namespace tidewell {
namespace oauth {
namespace {

constexpr std::int64_t kNow = 1800000000;

TEST(TokenRefresh, BeforeLogin) {
  const struct {
    const char* name;
    StoredToken token;
    TokenStep step;
    OAuthFailure failure;
  } rows[] = {
      {"plenty left", {"at", kNow + 3600, true}, TokenStep::kLogin, OAuthFailure::kNone},
      {"exactly the margin", {"at", kNow + kRefreshMarginSeconds, true}, TokenStep::kLogin, OAuthFailure::kNone},
      {"just under the margin", {"at", kNow + kRefreshMarginSeconds - 1, true}, TokenStep::kRefresh,
       OAuthFailure::kNone},
      {"expired", {"at", kNow - 10, true}, TokenStep::kRefresh, OAuthFailure::kNone},
      {"no access token yet", {"", 0, true}, TokenStep::kRefresh, OAuthFailure::kNone},
      {"unknown age", {"at", 0, true}, TokenStep::kRefresh, OAuthFailure::kNone},
      {"unknown age, nothing to refresh with", {"at", 0, false}, TokenStep::kLogin, OAuthFailure::kNone},
      {"expired, nothing to refresh with", {"at", kNow - 10, false}, TokenStep::kFail, OAuthFailure::kNeedsSignIn},
      {"never signed in", {"", 0, false}, TokenStep::kFail, OAuthFailure::kNeedsSignIn},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TokenRefreshRule rule;
    EXPECT_EQ(static_cast<int>(rule.BeforeLogin(row.token, kNow)), static_cast<int>(row.step));
    EXPECT_EQ(static_cast<int>(rule.failure()), static_cast<int>(row.failure));
  }
  EXPECT_EQ(ExpiresAt(kNow, 3599), kNow + 3599);
  EXPECT_EQ(ExpiresAt(kNow, 0), 0);
}

// A login as a sequence of events: the mail server refusing ('R' a bad
// token, 'S' another reason), the token endpoint answering ('+' a token,
// 'G' invalid_grant, 'X' anything else).
struct LoginRun {
  const char* name;
  StoredToken token;
  const char* events;
  std::vector<TokenStep> steps;  // BeforeLogin, then one per event
  OAuthFailure failure;
};

TEST(TokenRefresh, Logins) {
  using T = TokenStep;
  const StoredToken fresh{"at", kNow + 3600, true};
  const StoredToken stale{"at", kNow + 60, true};
  const std::vector<LoginRun> runs = {
      {"refused, refreshed, taken", fresh, "R+", {T::kLogin, T::kRefresh, T::kLogin}, OAuthFailure::kNone},
      {"refused again after the refresh is final", fresh, "R+R", {T::kLogin, T::kRefresh, T::kLogin, T::kFail},
       OAuthFailure::kTokenRefused},
      {"refreshed ahead, then refused: no second refresh", stale, "+R", {T::kRefresh, T::kLogin, T::kFail},
       OAuthFailure::kTokenRefused},
      {"refused, refresh token revoked", fresh, "RG", {T::kLogin, T::kRefresh, T::kFail},
       OAuthFailure::kNeedsSignIn},
      {"refused, token endpoint unreachable", fresh, "RX", {T::kLogin, T::kRefresh, T::kFail},
       OAuthFailure::kRefreshFailed},
      {"stale, refresh token revoked", stale, "G", {T::kRefresh, T::kFail}, OAuthFailure::kNeedsSignIn},
      {"refused for scope: a new token does not help", fresh, "S", {T::kLogin, T::kFail},
       OAuthFailure::kTokenRefused},
      {"refused, nothing to refresh with", {"at", 0, false}, "R", {T::kLogin, T::kFail},
       OAuthFailure::kNeedsSignIn},
  };
  for (const LoginRun& run : runs) {
    SCOPED_TRACE(run.name);
    TokenRefreshRule rule;
    std::vector<TokenStep> steps = {rule.BeforeLogin(run.token, kNow)};
    for (const char* e = run.events; *e != '\0'; ++e) {
      switch (*e) {
        case 'R': steps.push_back(rule.OnTokenRefused(run.token, true)); break;
        case 'S': steps.push_back(rule.OnTokenRefused(run.token, false)); break;
        case '+': steps.push_back(rule.OnRefreshed(true, false)); break;
        case 'G': steps.push_back(rule.OnRefreshed(false, true)); break;
        case 'X': steps.push_back(rule.OnRefreshed(false, false)); break;
      }
    }
    ASSERT_EQ(steps.size(), run.steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
      EXPECT_EQ(static_cast<int>(steps[i]), static_cast<int>(run.steps[i])) << "step " << i;
    }
    EXPECT_EQ(static_cast<int>(rule.failure()), static_cast<int>(run.failure));
  }
}

TEST(Providers, Defaults) {
  const ProviderSettings ms = ProviderDefaults(OAuthProvider::kMicrosoft);
  EXPECT_EQ(ms.authorize_url, "https://login.microsoftonline.com/common/oauth2/v2.0/authorize");
  EXPECT_EQ(ms.token_url, "https://login.microsoftonline.com/common/oauth2/v2.0/token");
  EXPECT_EQ(ms.scope, "https://outlook.office.com/POP.AccessAsUser.All offline_access");
  const ProviderSettings google = ProviderDefaults(OAuthProvider::kGoogle);
  EXPECT_EQ(google.authorize_url, "https://accounts.google.com/o/oauth2/v2/auth");
  EXPECT_EQ(google.token_url, "https://oauth2.googleapis.com/token");
  EXPECT_EQ(google.scope, "https://mail.google.com/");
  for (OAuthProvider p : {OAuthProvider::kMicrosoft, OAuthProvider::kGoogle, OAuthProvider::kCustom}) {
    const ProviderSettings s = ProviderDefaults(p);
    EXPECT_TRUE(s.client_id.empty());
    EXPECT_TRUE(s.client_secret.empty());
    EXPECT_EQ(CheckProviderSettings(s), ProviderProblem::kNoClientId);
  }
  const ProviderSettings custom = ProviderDefaults(OAuthProvider::kCustom);
  EXPECT_TRUE(custom.authorize_url.empty() && custom.token_url.empty() && custom.scope.empty());
  EXPECT_STREQ(ProviderSection(OAuthProvider::kMicrosoft), "OAuth.Microsoft");
  EXPECT_STREQ(ProviderSection(OAuthProvider::kGoogle), "OAuth.Google");
  EXPECT_STREQ(ProviderSection(OAuthProvider::kCustom), "OAuth.Custom");
}

TEST(Providers, IniSectionsReadOverTheDefaults) {
  std::map<std::string, std::string> ini = {
      {"OAuth.Microsoft/ClientId", "  00000000-aaaa-bbbb-cccc-dddddddddddd "},
      {"OAuth.Microsoft/Scope", "   "},  // blank keeps the default
      {"OAuth.Google/ClientId", "123.apps.googleusercontent.com"},
      {"OAuth.Google/ClientSecret", "GOCSPX-secret"},
      {"OAuth.Google/TokenUrl", "https://127.0.0.1:8443/token"},
      {"OAuth.Custom/ClientId", "tidewell"},
      {"OAuth.Custom/AuthorizeUrl", "https://127.0.0.1:8443/authorize"},
  };
  std::vector<std::string> asked;
  const ProfileLookup lookup = [&](const char* section, const char* key, const char* fallback) {
    asked.push_back(std::string(section) + "/" + key);
    auto it = ini.find(std::string(section) + "/" + key);
    return it == ini.end() ? std::string(fallback) : it->second;
  };
  const ProviderSettings ms = ReadProviderSettings(OAuthProvider::kMicrosoft, lookup);
  EXPECT_EQ(ms.client_id, "00000000-aaaa-bbbb-cccc-dddddddddddd");
  EXPECT_EQ(ms.scope, ProviderDefaults(OAuthProvider::kMicrosoft).scope);
  EXPECT_EQ(CheckProviderSettings(ms), ProviderProblem::kNone);
  const std::vector<std::string> keys = {"OAuth.Microsoft/ClientId", "OAuth.Microsoft/ClientSecret",
                                         "OAuth.Microsoft/AuthorizeUrl", "OAuth.Microsoft/TokenUrl",
                                         "OAuth.Microsoft/Scope"};
  EXPECT_EQ(asked, keys);

  const ProviderSettings google = ReadProviderSettings(OAuthProvider::kGoogle, lookup);
  EXPECT_EQ(google.client_secret, "GOCSPX-secret");
  EXPECT_EQ(google.token_url, "https://127.0.0.1:8443/token");
  EXPECT_EQ(google.authorize_url, ProviderDefaults(OAuthProvider::kGoogle).authorize_url);

  ProviderSettings custom = ReadProviderSettings(OAuthProvider::kCustom, lookup);
  EXPECT_EQ(CheckProviderSettings(custom), ProviderProblem::kNoEndpoint);
  custom.token_url = "http://auth.example.com/token";
  EXPECT_EQ(CheckProviderSettings(custom), ProviderProblem::kNotHttps);
  custom.token_url = "HTTPS://auth.example.com/token";
  EXPECT_EQ(CheckProviderSettings(custom), ProviderProblem::kNone);
  custom.authorize_url = "https://";
  EXPECT_EQ(CheckProviderSettings(custom), ProviderProblem::kNotHttps);
}

}  // namespace
}  // namespace oauth
}  // namespace tidewell
