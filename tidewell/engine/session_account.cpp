#include "tidewell/engine/session_account.h"

namespace tidewell {

SessionAccount ToSessionAccount(const CAccount& a) {
  SessionAccount account;
  account.user = a.user_id.str();
  account.password = a.password.str();
  account.display_name = a.display_name.str();
  account.server = a.server.str();
  account.port = a.port;
  account.apop = a.apop != 0;
  account.tls = a.tls_mode == kTlsNone   ? SessionTls::kNone
                : a.tls_mode == kTlsStls ? SessionTls::kStls
                                         : SessionTls::kOnConnect;
  account.password_unreadable = a.password_unreadable && a.password.empty();
  return account;
}

}  // namespace tidewell
