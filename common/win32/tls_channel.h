// A TLS client channel over the platform's Schannel, for POP3 sessions that
// run on a non-blocking socket driven by window messages.
//
// The channel does no I/O: the driver hands it the bytes each receive
// brought and writes to the socket what the channel gives back. Received
// bytes are cut into whole records first (common/tls_records.h), so that a
// handshake message or a record split over several receives waits for its
// rest, and several records in one receive are all processed at once (no
// further FD_READ comes for bytes already received).
//
// The server's certificate is checked by the channel itself once the
// handshake is done: the chain must lead to a trusted root with no error
// status at all (Schannel's own validation is switched off, and the SSL
// policy alone accepts a lone leaf of an unknown issuer on some systems), and
// the SSL policy must accept it for the server name the user typed. The chain
// is built from what the system holds: no URL is fetched (the check runs on
// the window thread), and revocation is checked where the cached information
// tells; an unknown or offline revocation status fails nothing.
//
// After the handshake, a TLS 1.2 renegotiation (a handshake record, or
// SEC_I_RENEGOTIATE outside TLS 1.3) is refused with kChannel: its new
// certificate would go unchecked. A request for a client certificate during
// the handshake is answered without one.
#pragma once

#define SECURITY_WIN32
// SCH_CREDENTIALS (TLS 1.3 on Windows) is declared only with this switch.
#define SCHANNEL_USE_BLACKLISTS
#include <windows.h>
#include <subauth.h>
#include <security.h>
#include <schannel.h>

#include <string>
#include <string_view>

#include "common/tls_records.h"

namespace tidewell {

enum class TlsFailure {
  kNone,
  kHandshake,     // no TLS came about (refused, no common protocol, not TLS)
  kUntrusted,     // the chain does not lead to a trusted root, or has errors
  kNameMismatch,  // the certificate is not for the server name
  kExpired,       // the certificate (or one of its chain) is not valid now
  kChannel,       // a record after the handshake could not be read
};

// What one call produced, to be acted on in this order: write `send` to the
// socket; stop on `failure`; after `secured` the session may log in; hand
// `plain` to the session; after `closed` the server has ended TLS.
struct TlsStep {
  std::string send;
  TlsFailure failure = TlsFailure::kNone;
  bool secured = false;
  std::string plain;
  bool closed = false;
};

// How the chain and policy results of a certificate check map to a failure:
// any chain error status fails (an unknown or offline revocation status
// aside; revoked fails); only-time errors give kExpired. Then the policy
// error (of a chain built without the revocation check): CERT_E_CN_NO_MATCH
// kNameMismatch, CERT_E_EXPIRED kExpired, any other non-zero kUntrusted.
TlsFailure ClassifyCertificateCheck(DWORD chain_error_status, DWORD policy_error);

// Checks a server certificate (with the certificates the server sent in its
// store) for `server_name`.
TlsFailure CheckServerCertificate(PCCERT_CONTEXT certificate, const std::string& server_name);

class TlsChannel {
 public:
  TlsChannel() = default;
  ~TlsChannel();
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  // Begins the handshake; `send` holds the ClientHello. The name goes into
  // the handshake (SNI) and is the one the certificate must carry.
  TlsStep Start(const std::string& server_name);
  // Bytes of one receive.
  TlsStep Receive(std::string_view bytes);
  // Encrypts text for the server; false unless the channel is open.
  bool Encrypt(std::string_view plain, std::string& out);
  // The close_notify to send before the socket is closed; empty when there
  // is none to send.
  std::string Shutdown();

  bool open() const { return state_ == State::kOpen; }

  // The server certificate's subject (X.500 text) and the end of its
  // validity (UTC) once the channel is open; false before or on failure.
  bool PeerCertificate(std::string& subject, SYSTEMTIME& not_after);
  bool failed() const { return state_ == State::kFailed; }

 private:
  enum class State { kIdle, kHandshake, kOpen, kClosed, kFailed };

  void Fail(TlsStep& step, TlsFailure failure);
  void Handshake(TlsStep& step);
  void Decrypt(TlsStep& step);
  // One InitializeSecurityContext call with `input` (may be empty); appends
  // its output token to step.send; the bytes it left unread go back to the
  // reader. Returns its status.
  SECURITY_STATUS Continue(const std::string& input, TlsStep& step);
  void Release();

  State state_ = State::kIdle;
  std::string server_name_;
  CredHandle credentials_ = {};
  CtxtHandle context_ = {};
  bool have_credentials_ = false;
  bool have_context_ = false;
  bool without_client_certificate_ = false;  // the server asked for one: none is sent
  bool tls13_ = false;                       // negotiated TLS 1.3 (post-handshake messages allowed)
  SecPkgContext_StreamSizes sizes_ = {};
  TlsRecordReader reader_;
};

}  // namespace tidewell
