// SASL login with an OAuth 2.0 access token over POP3 AUTH (RFC 5034):
// XOAUTH2 (the Google and Microsoft mechanism) and OAUTHBEARER (RFC 7628).
//
// SaslLogin is the sans-I/O login step: it says what to send first, then
// takes each reply line of the server and says what to send next and whether
// the login succeeded. The session that drives it decides beforehand that the
// connection is secured; a token never goes over plain TCP.
#pragma once

#include <string>
#include <string_view>

namespace tidewell {
namespace oauth {

enum class SaslMechanism { kXOAuth2, kOAuthBearer };

// "XOAUTH2" or "OAUTHBEARER".
const char* SaslMechanismName(SaslMechanism mechanism);

// The mechanisms of the CAPA reply's "SASL" line (RFC 5034 section 6).
struct CapaSasl {
  bool announced = false;  // a SASL line was seen: the server takes RFC 5034 AUTH
  bool xoauth2 = false;
  bool oauthbearer = false;
};

// Takes one line of the CAPA reply; other lines change nothing. Names are
// compared without regard to case.
void ReadCapaLine(std::string_view line, CapaSasl& capa);

// OAUTHBEARER when the server announces it, otherwise XOAUTH2 (which the
// large providers take without announcing every mechanism).
SaslMechanism ChooseSaslMechanism(const CapaSasl& capa);

// Base64 of "user=" user ^A "auth=Bearer " token ^A ^A.
std::string XOAuth2InitialResponse(std::string_view user, std::string_view token);

// Base64 of the RFC 7628 client response: the gs2 header "n,a=" user ","
// (',' and '=' in the user escaped as "=2C" and "=3D"), then ^A "host=" host
// ^A "port=" port ^A "auth=Bearer " token ^A ^A. An empty host leaves out
// host and port.
std::string OAuthBearerInitialResponse(std::string_view user, std::string_view host, int port,
                                       std::string_view token);

// What the server says, in the Base64 JSON of its challenge, when it refuses
// a token (RFC 7628 section 3.2.2; Google's XOAUTH2 sends the same shape).
struct SaslErrorChallenge {
  std::string status;  // "invalid_token", "401", "insufficient_scope", ...
  std::string scope;
  std::string schemes;
  std::string openid_configuration;
};

// The text after "+ " decoded and read. False when it is not Base64 of a JSON
// object with a string "status".
bool ParseSaslErrorChallenge(std::string_view base64, SaslErrorChallenge& out);

// True when the refusal says the token itself was bad (expired or revoked), so
// that a fresh token may succeed: "invalid_token", "401", or no status at all.
// Scope and request errors are not helped by a new token.
bool ChallengeSaysTokenRefused(const SaslErrorChallenge& challenge);

// POP3 AUTH with one mechanism. First() gives the command line; OnLine()
// takes each line the server answers with (CRLF stripped or not) and gives
// the next line to send (empty: nothing).
class SaslLogin {
 public:
  // RFC 5034: a command line longer than 255 octets must not carry the
  // initial response; it is then sent after the "+" continuation.
  static constexpr std::size_t kMaxCommandLine = 255;

  enum class Result {
    kPending,   // send the line given and wait for the next reply
    kLoggedIn,  // "+OK"
    kRefused,   // "-ERR": see refused_token() and challenge()
    kProtocol,  // a reply that fits no step (no "+OK", "-ERR" or "+")
  };

  // `initial_response` is the Base64 text of XOAuth2InitialResponse or
  // OAuthBearerInitialResponse. `sasl_ir`: the server announced SASL-IR in
  // CAPA (the response then goes with the command when it fits).
  SaslLogin(SaslMechanism mechanism, std::string initial_response, bool sasl_ir);

  // "AUTH <mechanism>[ <response>]\r\n".
  std::string First();

  Result OnLine(std::string_view line, std::string& send);

  // After kRefused: whether a fresh token may succeed (see
  // ChallengeSaysTokenRefused; a plain "-ERR" without a challenge counts as a
  // refused token, as Microsoft's servers answer that way).
  bool refused_token() const;
  bool has_challenge() const { return has_challenge_; }
  const SaslErrorChallenge& challenge() const { return challenge_; }
  // The text of the "-ERR" line after the status word.
  const std::string& server_text() const { return server_text_; }

 private:
  enum class Step { kStart, kAwaitFirst, kSentResponse, kSentAcknowledgement, kDone };

  SaslMechanism mechanism_;
  std::string response_;
  bool sasl_ir_;
  Step step_ = Step::kStart;
  bool has_challenge_ = false;
  SaslErrorChallenge challenge_;
  std::string server_text_;
};

}  // namespace oauth
}  // namespace tidewell
