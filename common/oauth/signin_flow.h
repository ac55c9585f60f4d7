// The interactive sign-in of an account (authorization code flow with PKCE
// and a loopback redirect, RFC 6749, 7636, 8252), as a state machine without
// I/O. The Win32 driver (common/win32/oauth_signin.h) owns the random source,
// the listening socket, the browser start, the HTTPS request and the timer;
// it tells the flow what happened and does what the flow answers.
//
//   Begin(random state, random verifier, port, login hint)
//       -> authorization_url() for the browser; NewReader() for each accepted
//          connection of the listener
//   OnRedirect(status of that reader)
//       kRead            feed the next receive to the same reader
//       kReplyAndListen  send reader.reply(), close that connection, keep
//                        listening (another path, not our state, unreadable)
//       kReplyAndExchange send the reply, close; POST ExchangeBody() to
//                        token_url()
//       kReplyAndEnd     send the reply, close; the flow is over (result())
//   OnExchangeAnswer(...) -> the flow is over (result())
//   Fail(why)            the driver's own failures, the time-out and cancel
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/oauth/loopback_redirect.h"
#include "common/oauth/providers.h"

namespace tidewell {
namespace oauth {

// The sign-in gives up when no answer has come within this time.
constexpr std::int64_t kSignInTimeoutSeconds = 5 * 60;
// Random bytes the driver gives for the state and for the PKCE verifier.
constexpr std::size_t kSignInStateBytes = 32;
constexpr std::size_t kSignInVerifierBytes = 48;
// Longest refresh token the account record keeps; a longer one is refused.
constexpr std::size_t kSignInMaxRefreshToken = 4096;
// Longest name of who signed in that the account dialog keeps (the record's
// field holds 199 bytes).
constexpr std::size_t kSignInMaxUserName = 199;

enum class SignInOutcome {
  kRunning,
  kSignedIn,
  kCancelled,       // the user stopped it: nothing to tell
  kTimedOut,
  kSettings,        // client id or endpoints missing, or not https (settings_problem())
  kNoRandom,        // the platform gave no random bytes
  kListenFailed,    // no loopback port to listen on
  kNoBrowser,       // the browser could not be started
  kDenied,          // the provider answered error= (the user declined, or the request was refused)
  kUnreachable,     // the token endpoint could not be reached
  kCertificate,     // the token endpoint's certificate was refused
  kTokenRefused,    // the token endpoint answered without a token (detail says why)
  kNoRefreshToken,  // a token without a refresh token: every check would need a new sign-in
  kTooLong,         // a refresh token longer than the account record keeps
};

struct SignInResult {
  SignInOutcome outcome = SignInOutcome::kRunning;
  std::string refresh_token;
  std::string access_token;
  std::int64_t expires_at = 0;  // seconds since 1970 (UTC); 0 unknown
  std::string user_name;        // who signed in (from the id token), printable ASCII; may be empty
  std::string detail;           // the provider's error code and description, for the message
  ProviderProblem settings_problem = ProviderProblem::kNone;
};

// The redirect URI for a listener on `port` of 127.0.0.1. Microsoft's app
// registrations name "http://localhost" for desktop apps (any port); the
// others take the loopback address itself (RFC 8252 section 7.3).
std::string SignInRedirectUri(OAuthProvider provider, int port);

// The scope asked for at sign-in: Microsoft and Google get "openid email"
// added (unless the scope already asks for openid), so that the answer's id
// token names who signed in. A custom provider gets its scope as written.
std::string SignInScope(OAuthProvider provider, const std::string& scope);

class SignInFlow {
 public:
  enum class RedirectStep { kRead, kReplyAndListen, kReplyAndExchange, kReplyAndEnd };

  SignInFlow(OAuthProvider provider, ProviderSettings settings, RedirectPages pages);

  // Makes state, verifier and the authorization URL. False (the flow is then
  // over) when the settings are unfit or the random bytes too few.
  bool Begin(std::string_view state_random, std::string_view verifier_random, int port,
             std::string_view login_hint);

  const std::string& authorization_url() const { return authorization_url_; }
  // A reader for one accepted connection.
  LoopbackRedirect NewReader() const { return LoopbackRedirect(state_, pages_); }

  // The status a connection's reader gave after a receive.
  RedirectStep OnRedirect(LoopbackRedirect::Status status, const LoopbackRedirect& reader);

  // After kReplyAndExchange: where and what to post.
  const std::string& token_url() const { return settings_.token_url; }
  std::string ExchangeBody() const;
  bool exchanging() const { return step_ == Step::kExchanging; }

  // The answer of the token endpoint (or why none came), at `now` (seconds
  // since 1970 UTC).
  void OnExchangeAnswer(bool answered, int status, std::string_view body, bool certificate, std::int64_t now);

  // Ends the flow (time-out, cancel, listener or browser failure, a request
  // that could not start). Nothing changes once it is over.
  void Fail(SignInOutcome why);

  bool finished() const { return step_ == Step::kDone; }
  const SignInResult& result() const { return result_; }

 private:
  enum class Step { kIdle, kAwaitRedirect, kExchanging, kDone };

  void End(SignInOutcome outcome);

  OAuthProvider provider_;
  ProviderSettings settings_;
  RedirectPages pages_;
  Step step_ = Step::kIdle;
  std::string state_;
  std::string verifier_;
  std::string redirect_uri_;
  std::string authorization_url_;
  std::string code_;
  SignInResult result_;
};

// The message box text for a finished sign-in; "" when there is nothing to
// tell (kCancelled, kRunning). A successful sign-in names who signed in.
std::string SignInResultText(const SignInResult& result, OAuthProvider provider);

// What keeps a provider's settings from a sign-in, naming the Tidewell.ini
// section and key to set; "" for kNone.
std::string ProviderSettingsNote(OAuthProvider provider, ProviderProblem problem);

// The browser pages after the redirect (Shift_JIS).
RedirectPages SignInPages();

}  // namespace oauth
}  // namespace tidewell
