// The access token of an OAuth account for a session of the check or of the
// list: the Token.dat entry when it is still good, else a refresh at the
// provider's token endpoint (an HTTPS POST on a worker thread whose answer
// comes back as a window message), stored in Token.dat for the next session.
// The decisions are oauth::TokenFetch's; this does the I/O. Nothing secret is
// logged or shown.
#pragma once

#include <windows.h>

#include <string>

#include "common/oauth/providers.h"
#include "common/oauth/token_fetch.h"

namespace tidewell {

using oauth::OAuthAccount;

struct OAuthTokenResult {
  bool ok = false;
  std::string access_token;
  bool fresh = false;      // refreshed just now
  int signin_failure = 0;  // a SignInErrorCode when !ok
};

// The provider's settings: the built-in values with the [OAuth.*] section
// of <data folder>\Tidewell.ini read over them. Defaults for a provider
// number not known.
oauth::ProviderSettings ProviderSettingsOf(const std::string& data_folder, int provider);

class OAuthTokens {
 public:
  OAuthTokens() = default;
  OAuthTokens(const OAuthTokens&) = delete;
  OAuthTokens& operator=(const OAuthTokens&) = delete;
  ~OAuthTokens() { Cancel(); }

  // The window and message the refresh answer is posted with (wParam = the
  // request id; hand it to OnAnswer).
  void SetWindow(HWND owner, unsigned message) {
    owner_ = owner;
    message_ = message;
  }

  // Begins getting the token of `account`; `forced` when the mail server has
  // just refused the token. True when the result is ready now (result());
  // false while a refresh runs: OnAnswer gives it. A fetch still running is
  // cancelled first.
  bool Begin(const std::string& data_folder, const OAuthAccount& account, bool forced);

  // The answer message arrived: true when it finished the running fetch
  // (result() ready); false for an answer of a cancelled one.
  bool OnAnswer(WPARAM id);

  // Drops a running fetch; its answer is ignored.
  void Cancel();

  bool waiting() const { return request_ != 0; }
  const OAuthTokenResult& result() const { return result_; }

 private:
  void Finish(const oauth::TokenDecision& d);

  HWND owner_ = nullptr;
  unsigned message_ = 0;
  unsigned request_ = 0;
  std::string data_folder_;
  std::string account_;
  std::string origin_;
  oauth::TokenFetch fetch_;
  OAuthTokenResult result_;
};

}  // namespace tidewell
