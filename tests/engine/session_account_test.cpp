// What a check session gets of a CAccount by its sign-in method: an OAuth
// account (or one of a method this build does not know) never carries the
// password or APOP into the session; the driver gets the refresh token.
#include <gtest/gtest.h>

#include "tidewell/engine/session_account.h"

namespace tidewell {
namespace {

CAccount Stored(int method, bool password_unreadable = false) {
  CAccount a;
  a.display_name = "home";
  a.user_id = "me@example.org";
  a.password = password_unreadable ? "" : "pw";
  a.password_unreadable = password_unreadable;
  a.server = "pop.example.org";
  a.port = 995;
  a.apop = 1;
  a.tls_mode = kTlsOnConnect;
  a.signin_method = method;
  a.oauth_provider = 2;
  a.refresh_token = "rt";
  return a;
}

TEST(SessionAccount, BySignInMethod) {
  struct Case {
    const char* what;
    CAccount stored;
    bool oauth;
    const char* password;
    bool apop;
    bool password_unreadable;
  };
  const Case cases[] = {
      {"password", Stored(kSignInPassword), false, "pw", true, false},
      {"password, unreadable", Stored(kSignInPassword, true), false, "", true, true},
      {"OAuth", Stored(kSignInOAuth), true, "", false, false},
      {"OAuth, password unreadable: no matter", Stored(kSignInOAuth, true), true, "", false, false},
      {"a method not known", Stored(7), true, "", false, false},
  };
  for (const Case& c : cases) {
    const SessionAccount s = ToSessionAccount(c.stored);
    EXPECT_EQ(s.oauth, c.oauth) << c.what;
    EXPECT_EQ(s.password, c.password) << c.what;
    EXPECT_EQ(s.apop, c.apop) << c.what;
    EXPECT_EQ(s.password_unreadable, c.password_unreadable) << c.what;
    EXPECT_EQ(s.user, "me@example.org") << c.what;
    EXPECT_EQ(s.tls, SessionTls::kOnConnect) << c.what;
    EXPECT_TRUE(s.access_token.empty()) << c.what;
    EXPECT_EQ(s.signin_failure, 0) << c.what;
  }
}

TEST(SessionAccount, WhatTheTokenFetchGets) {
  CAccount a = Stored(kSignInOAuth);
  oauth::OAuthAccount o = ToOAuthAccount(a);
  EXPECT_EQ(o.display_name, "home");
  EXPECT_EQ(o.provider, 2);
  EXPECT_EQ(o.refresh_token, "rt");
  EXPECT_FALSE(o.refresh_token_unreadable);
  a.refresh_token.clear();
  a.refresh_token_unreadable = true;
  o = ToOAuthAccount(a);
  EXPECT_TRUE(o.refresh_token.empty());
  EXPECT_TRUE(o.refresh_token_unreadable);
}

}  // namespace
}  // namespace tidewell
