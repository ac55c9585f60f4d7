// The Schannel channel without a server: the mapping of certificate check
// results to failures, the ClientHello, and a peer that does not speak TLS.
#include <gtest/gtest.h>

#include <string>

#include "common/win32/tls_channel.h"

namespace tidewell {
namespace {

TEST(TlsChannel, CertificateCheckResults) {
  struct Case {
    const char* what;
    DWORD chain;
    DWORD policy;
    TlsFailure expected;
  };
  const Case cases[] = {
      {"all good", CERT_TRUST_NO_ERROR, 0, TlsFailure::kNone},
      // The SSL policy passes a lone leaf of an unknown issuer on some
      // systems: the chain status alone must fail it.
      {"partial chain, policy silent", CERT_TRUST_IS_PARTIAL_CHAIN, 0, TlsFailure::kUntrusted},
      {"untrusted root", CERT_TRUST_IS_UNTRUSTED_ROOT, static_cast<DWORD>(CERT_E_UNTRUSTEDROOT),
       TlsFailure::kUntrusted},
      {"revoked", CERT_TRUST_IS_REVOKED, 0, TlsFailure::kUntrusted},
      {"bad signature", CERT_TRUST_IS_NOT_SIGNATURE_VALID, 0, TlsFailure::kUntrusted},
      {"expired only", CERT_TRUST_IS_NOT_TIME_VALID, static_cast<DWORD>(CERT_E_EXPIRED), TlsFailure::kExpired},
      {"expired and untrusted", CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_UNTRUSTED_ROOT, 0,
       TlsFailure::kUntrusted},
      {"wrong name", CERT_TRUST_NO_ERROR, static_cast<DWORD>(CERT_E_CN_NO_MATCH), TlsFailure::kNameMismatch},
      {"policy expired", CERT_TRUST_NO_ERROR, static_cast<DWORD>(CERT_E_EXPIRED), TlsFailure::kExpired},
      {"wrong usage", CERT_TRUST_NO_ERROR, static_cast<DWORD>(CERT_E_WRONG_USAGE), TlsFailure::kUntrusted},
      // Revocation from the cache only: no answer is no failure, a revoked
      // certificate is, and the other errors still count beside them. The
      // policy never stands for a name it did not check.
      {"revocation unknown", CERT_TRUST_REVOCATION_STATUS_UNKNOWN, 0, TlsFailure::kNone},
      {"revocation offline", CERT_TRUST_IS_OFFLINE_REVOCATION | CERT_TRUST_REVOCATION_STATUS_UNKNOWN, 0,
       TlsFailure::kNone},
      {"policy: revoked", CERT_TRUST_NO_ERROR, static_cast<DWORD>(CRYPT_E_REVOKED), TlsFailure::kUntrusted},
      {"policy: revocation failure", CERT_TRUST_REVOCATION_STATUS_UNKNOWN,
       static_cast<DWORD>(CERT_E_REVOCATION_FAILURE), TlsFailure::kUntrusted},
      {"revocation unknown and untrusted", CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_UNTRUSTED_ROOT, 0,
       TlsFailure::kUntrusted},
      {"revocation unknown and expired", CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_NOT_TIME_VALID, 0,
       TlsFailure::kExpired},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyCertificateCheck(c.chain, c.policy), c.expected) << c.what;
  EXPECT_EQ(CheckServerCertificate(nullptr, "localhost"), TlsFailure::kUntrusted);
}

TEST(TlsChannel, StartsWithAClientHelloAndSendsNothingInClear) {
  TlsChannel channel;
  std::string out;
  EXPECT_FALSE(channel.Encrypt("USER x\r\n", out));  // nothing before the handshake
  const TlsStep hello = channel.Start("localhost");
  EXPECT_EQ(hello.failure, TlsFailure::kNone);
  ASSERT_GE(hello.send.size(), 5u);
  EXPECT_EQ(hello.send[0], '\x16');  // a handshake record
  EXPECT_EQ(hello.send[1], '\x03');
  EXPECT_NE(hello.send.find("localhost"), std::string::npos);  // the server name goes out (SNI)
  EXPECT_FALSE(channel.open());
  EXPECT_FALSE(channel.Encrypt("USER x\r\n", out));
  EXPECT_TRUE(out.empty());
}

// A server that answers the ClientHello in clear text (a POP3 reply, a
// refusal) fails the handshake at once, in one piece or byte by byte.
TEST(TlsChannel, APeerThatDoesNotSpeakTlsFailsTheHandshake) {
  for (bool bytewise : {false, true}) {
    TlsChannel channel;
    channel.Start("localhost");
    const std::string reply = "-ERR unknown command\r\n";
    TlsStep step;
    if (bytewise) {
      for (char c : reply) {
        step = channel.Receive(std::string(1, c));
        if (step.failure != TlsFailure::kNone) break;
      }
    } else {
      step = channel.Receive(reply);
    }
    EXPECT_EQ(step.failure, TlsFailure::kHandshake) << bytewise;
    EXPECT_FALSE(step.secured);
    EXPECT_TRUE(step.plain.empty());
    EXPECT_TRUE(channel.failed());
    // Once failed, further bytes do nothing.
    const TlsStep after = channel.Receive("+OK\r\n");
    EXPECT_TRUE(after.send.empty() && after.plain.empty() && !after.secured);
  }
}

}  // namespace
}  // namespace tidewell
