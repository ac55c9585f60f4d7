#include "tidewell/engine/session_account.h"

namespace tidewell {

SessionAccount ToSessionAccount(const CAccount& a) {
  SessionAccount account;
  account.user = a.user_id.str();
  account.display_name = a.display_name.str();
  account.server = a.server.str();
  account.port = a.port;
  account.tls = a.tls_mode == kTlsNone   ? SessionTls::kNone
                : a.tls_mode == kTlsStls ? SessionTls::kStls
                                         : SessionTls::kOnConnect;
  account.oauth = a.signin_method != kSignInPassword;
  if (account.oauth) return account;  // no password, no APOP
  account.password = a.password.str();
  account.apop = a.apop != 0;
  account.password_unreadable = a.password_unreadable && a.password.empty();
  return account;
}

oauth::OAuthAccount ToOAuthAccount(const CAccount& a) {
  oauth::OAuthAccount account;
  account.display_name = a.display_name.str();
  account.provider = a.oauth_provider;
  account.refresh_token = a.refresh_token;
  account.refresh_token_unreadable = a.refresh_token_unreadable && a.refresh_token.empty();
  return account;
}

}  // namespace tidewell
