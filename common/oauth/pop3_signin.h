// The OAuth 2.0 sign-in step of a POP3 session, sans I/O, shared by the
// check and the list: once the connection is secured, CAPA for the
// mechanisms, then AUTH with SaslLogin.
//
// CAPA refused (an RFC 1939 server): XOAUTH2. OAUTHBEARER when the SASL line
// names it, else XOAUTH2. The initial response goes with the AUTH command
// whenever the whole line fits 255 octets: RFC 5034 lets every POP3 AUTH
// carry it and bounds only the line (POP3 has no SASL-IR capability to wait
// for). A longer line, as real access tokens give, sends the response after
// the "+" continuation. The token goes nowhere else.
//
// A refused token asks once for a fresh one (kNeedToken) when a fresh one
// may help: not when the token was fresh already, not for a refusal the
// challenge puts on the scope, not when the SASL line names neither
// mechanism (the server refused the mechanism). AUTH is then sent again on
// the same connection.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/oauth/sasl.h"

namespace tidewell {
namespace oauth {

class Pop3SignIn {
 public:
  // Most a reply may hold: the CAPA listing, or one AUTH line (an error
  // challenge is a short Base64 JSON text).
  static constexpr std::size_t kMaxReply = 64 * 1024;

  enum class Outcome {
    kPending,    // send `send` (possibly nothing) and wait for more text
    kLoggedIn,   // "+OK": the session goes on as after PASS
    kNeedToken,  // ask for a fresh token, then OnToken (once per sign-in)
    kRefused,    // the server refused the sign-in and a new token will not help
    kNoToken,    // a token was asked for and none came
    kTooLarge,   // a reply grew past kMaxReply
  };
  struct Step {
    Outcome outcome = Outcome::kPending;
    std::vector<std::string> send;
  };

  // `host` and `port` go into the OAUTHBEARER response. An empty `token`
  // asks for one (kNeedToken) before AUTH.
  Pop3SignIn(std::string user, std::string host, int port, std::string token, bool token_fresh);

  // "CAPA\r\n", the first command.
  std::string Begin();
  // Text the server sent: the reply to CAPA, then the AUTH exchange, cut
  // anywhere or several lines at once.
  Step OnText(std::string_view chunk);
  // The fresh token after kNeedToken; an empty one is kNoToken.
  Step OnToken(std::string token);

  bool reading_capa() const { return phase_ == Phase::kCapa; }
  bool awaiting_token() const { return phase_ == Phase::kToken; }

 private:
  enum class Phase { kIdle, kCapa, kAuth, kToken, kDone };

  Step StartAuth();
  Step AskForToken();
  Step End(Outcome outcome);

  std::string user_, host_;
  int port_;
  std::string token_;
  bool token_fresh_;
  bool token_asked_ = false;
  Phase phase_ = Phase::kIdle;
  CapaSasl capa_;
  std::string reply_;  // received text not yet taken apart
  std::optional<SaslLogin> sasl_;
};

}  // namespace oauth
}  // namespace tidewell
