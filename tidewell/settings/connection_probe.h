// The account dialog's connection test ("接続テスト") as a state machine
// without I/O: with the values as entered it greets the server, asks its
// capabilities, secures the connection as chosen, logs in, asks STAT and
// quits. Nothing is saved. The Win32 driver owns the socket, the TLS channel
// and the timer; it feeds the machine what happens and sends what it returns.
//
// Driver contract:
//   clear text and STLS: connect, then OnReceive with each chunk;
//   TLS on connect: connect, run the TLS handshake (certificate checked by
//     the channel), OnSecured(certificate), then OnReceive with decrypted text;
//   a step with start_tls: run the handshake on the same connection, then
//     OnSecured(certificate); from then on everything goes through TLS;
//   every failure (look-up, connect, closed connection, TLS, time-out):
//     OnError(phase, code) with the numbers of the check session.
// With STLS or TLS chosen nothing but CAPA and STLS is sent before OnSecured,
// so no user ID or password leaves before the certificate is checked. An
// OAuth account is tested only over TLS (STLS or on connect): its token goes
// in the AUTH step after OnSecured, never in clear.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/check_errors.h"
#include "common/oauth/sasl.h"

namespace tidewell {

// Phases and codes of the check session's error entries.
namespace probe_error {
constexpr int kConnectPhase = 1;        // look-up (1,2), socket (1,3), select (1,4), connect (1,5)
constexpr int kLoginPhase = 2;          // greeting refused (2,1), USER (2,2), PASS (2,3)
constexpr int kStlsRefused = kStlsRefusedCode;
constexpr int kSessionPhase = 3;        // connection lost (3,1), APOP (3,3), STAT (3,4), time-out (3,5)
constexpr int kTooLarge = kReplyTooLargeCode;
constexpr int kTlsPhase = kTlsErrorPhase;
constexpr int kTlsInjected = kTlsInjectedText;
}  // namespace probe_error

struct ProbeAccount {
  std::string user;
  std::string password;
  std::string server;
  int port = 110;
  bool apop = false;
  int tls_mode = 0;  // kTlsNone, kTlsStls, kTlsOnConnect (account.h)
  // OAuth 2.0: AUTH XOAUTH2 / OAUTHBEARER with access_token in place of the
  // password (apop is then ignored). signin_failure: a SignInErrorCode found
  // while getting the token; the test then ends at once, like a token over
  // a connection that is not secured: nothing is sent, no connection made.
  bool oauth = false;
  std::string access_token;
  int signin_failure = 0;
};

struct ProbeCertificate {
  std::string subject;    // as the platform writes an X.500 name
  std::string not_after;  // "yyyy/mm/dd hh:mm (UTC)"
};

struct ProbeStep {
  std::string send;        // text for the server (through TLS once secured)
  bool start_tls = false;  // run the handshake now (after STLS's +OK)
  bool done = false;       // the test is over: show Report()
};

class ConnectionProbe {
 public:
  // Most bytes one reply may hold before the test gives up on it.
  static constexpr std::size_t kMaxReply = 64 * 1024;

  using Md5Function = std::function<std::string(std::string_view)>;
  ConnectionProbe(ProbeAccount account, Md5Function md5);

  ProbeStep OnReceive(std::string_view text);
  ProbeStep OnSecured(const ProbeCertificate& certificate);
  ProbeStep OnError(int phase, int code);

  // True when the test ended before any connection (an OAuth account
  // without a token or without TLS): the driver connects to nothing.
  bool refused_at_start() const { return refused_at_start_; }

  bool done() const { return state_ == State::kDone; }
  bool succeeded() const { return done() && error_.empty(); }
  bool secured() const { return secured_; }
  // The text of the one box that reports the test.
  std::string Report() const;

 private:
  enum class State { kGreeting, kCapa, kStls, kHandshake, kUser, kPass, kApop, kAuth, kStat, kQuit, kDone };

  ProbeStep Fail(int phase, int code);
  ProbeStep Login();
  ProbeStep Reply(std::string_view reply);
  void ReadCapabilities(std::string_view reply);

  ProbeAccount account_;
  Md5Function md5_;
  State state_ = State::kGreeting;
  std::string buffer_;
  std::string greeting_;
  bool secured_ = false;
  ProbeCertificate certificate_;
  bool capa_answered_ = false;
  bool uidl_ = false, pipelining_ = false, stls_ = false;
  std::string sasl_;
  bool have_sasl_ = false;
  oauth::CapaSasl capa_sasl_;
  std::unique_ptr<oauth::SaslLogin> sasl_login_;
  bool refused_at_start_ = false;
  std::string mechanism_;  // the SASL mechanism of the AUTH step, once sent
  long long mail_count_ = -1, mail_size_ = -1;
  std::string error_;
};

}  // namespace tidewell
