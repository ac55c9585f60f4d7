// The error entries a check records in an account mail file: their phase and
// code numbers and their texts. The check session writes them; the account
// dialog's connection test reports the same texts for the same failures.
#pragma once

#include <string>

namespace tidewell {

// Errors of the TLS layer (phase 4, posted by the driver or the session).
constexpr int kTlsErrorPhase = 4;
enum TlsErrorCode : int {
  kTlsHandshakeFailed = 1,     // the handshake failed (no common protocol, bad record, ...)
  kTlsUntrusted = 2,           // the chain does not lead to a trusted root
  kTlsNameMismatch = 3,        // the certificate is not for the server name typed
  kTlsExpired = 4,             // the certificate is outside its validity period
  kTlsInjectedText = 5,        // text after the +OK of STLS, before the handshake
  kTlsChannelError = 6,        // a record that cannot be decrypted after the handshake
};
// STLS refused by the server: phase 2 (then QUIT, in clear: nothing secret).
constexpr int kStlsRefusedCode = 7;

// The account's password could not be read from Account.dat (sealed with
// another user's or machine's key): the session ends at once with this error
// (phase 5), before any connection, asking the user to enter it again.
constexpr int kAccountErrorPhase = 5;
constexpr int kPasswordUnreadableCode = 1;

// A reply larger than the session takes: the account ends with its error
// entry like a broken connection.
constexpr int kReplyTooLargePhase = 3;
constexpr int kReplyTooLargeCode = 7;

// OAuth 2.0 sign-in (phase 6): the account signs in with an access token
// over SASL XOAUTH2 or OAUTHBEARER. The driver finds codes 1, 2 and 5 while
// getting a token (before the session, or when the session asks for a fresh
// one); the session itself gives 3 and 4. Codes 1, 2, 4 and 5 found before
// the session end it at once, with no connection and nothing sent.
constexpr int kSignInErrorPhase = 6;
enum SignInErrorCode : int {
  kSignInNeeded = 1,         // no refresh token, or the provider refused it: sign in again (account dialog)
  kSignInRefreshFailed = 2,  // the token endpoint could not be reached or gave no token
  kSignInTokenRefused = 3,   // the mail server refused the access token (after the one refresh)
  kSignInNotSecured = 4,     // OAuth account without TLS: no token is sent
  kSignInNoClientId = 5,     // the provider settings lack a client id or endpoints
};

// The words of a sign-in error (no numbers), shared by the check's entries
// and the list's error boxes; nullptr for a code not in SignInErrorCode.
const char* SignInErrorWords(int code);

// The message of the error entry for (phase, code), without the entry's
// "*ERR" line and terminator.
std::string CheckErrorMessage(int phase, int code);

}  // namespace tidewell
