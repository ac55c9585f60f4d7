// The connection test's conversation without I/O: what it sends for each
// server answer in clear, STLS and TLS on connect, that nothing secret goes
// before the connection is secured, the report, and the error texts.
#include "tidewell/settings/connection_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tidewell/settings/account.h"

namespace tidewell {
namespace {

ProbeAccount Account(int tls_mode, bool apop = false) {
  ProbeAccount a;
  a.user = "alice";
  a.password = "pw";
  a.server = "pop.example";
  a.tls_mode = tls_mode;
  a.apop = apop;
  return a;
}

ConnectionProbe Probe(const ProbeAccount& a) {
  return ConnectionProbe(a, [](std::string_view text) { return "md5(" + std::string(text) + ")"; });
}

const char kCapa[] = "+OK\r\nUIDL\r\nPIPELINING\r\nSTLS\r\nSASL PLAIN LOGIN\r\n.\r\n";

TEST(ConnectionProbe, ClearTextConversationAndReport) {
  ConnectionProbe p = Probe(Account(kTlsNone));
  // Replies may come cut anywhere: nothing is sent before a reply is whole.
  EXPECT_EQ(p.OnReceive("+OK Dovecot").send, "");
  EXPECT_EQ(p.OnReceive(" ready.\r\n").send, "CAPA\r\n");
  EXPECT_EQ(p.OnReceive("+OK\r\nUIDL\r\nPIPEL").send, "");
  EXPECT_EQ(p.OnReceive(std::string(kCapa).substr(16)).send, "USER alice\r\n");
  EXPECT_EQ(p.OnReceive("+OK\r\n").send, "PASS pw\r\n");
  EXPECT_EQ(p.OnReceive("+OK Logged in.\r\n").send, "STAT\r\n");
  EXPECT_EQ(p.OnReceive("+OK 3 1234\r\n").send, "QUIT\r\n");
  EXPECT_TRUE(p.OnReceive("+OK Bye\r\n").done);
  EXPECT_TRUE(p.succeeded());
  const std::string r = p.Report();
  for (const char* part : {"接続テストに成功しました。", "接続の保護: なし", "応答: +OK Dovecot ready.",
                           "機能: UIDL あり, PIPELINING あり, STLS あり, SASL PLAIN LOGIN", "メール: 3通、1234バイト"})
    EXPECT_NE(r.find(part), std::string::npos) << part << "\n" << r;
  EXPECT_EQ(r.find("証明書"), std::string::npos);
}

TEST(ConnectionProbe, ApopAndAServerWithoutCapa) {
  ConnectionProbe p = Probe(Account(kTlsNone, true));
  EXPECT_EQ(p.OnReceive("+OK ready <1.2@host>\r\n").send, "CAPA\r\n");
  EXPECT_EQ(p.OnReceive("-ERR unknown command\r\n").send, "APOP alice md5(<1.2@host>pw)\r\n");
  EXPECT_EQ(p.OnReceive("+OK\r\n").send, "STAT\r\n");
  EXPECT_EQ(p.OnReceive("+OK 0 0\r\n").send, "QUIT\r\n");
  // The server closes without answering QUIT: still a passed test.
  EXPECT_TRUE(p.OnError(3, 1).done);
  EXPECT_TRUE(p.succeeded());
  EXPECT_NE(p.Report().find("機能: CAPA に応答なし"), std::string::npos) << p.Report();

  ConnectionProbe no_stamp = Probe(Account(kTlsNone, true));
  no_stamp.OnReceive("+OK ready\r\n");
  EXPECT_TRUE(no_stamp.OnReceive("+OK\r\n.\r\n").done) << "APOP without a time stamp fails";
  EXPECT_NE(no_stamp.Report().find("認証に失敗しました。"), std::string::npos);
}

TEST(ConnectionProbe, StlsSendsNothingSecretBeforeItIsSecured) {
  ConnectionProbe p = Probe(Account(kTlsStls));
  std::string clear;
  clear += p.OnReceive("+OK ready\r\n").send;
  clear += p.OnReceive(kCapa).send;
  const ProbeStep stls = p.OnReceive("+OK Begin TLS\r\n");
  clear += stls.send;
  EXPECT_TRUE(stls.start_tls);
  EXPECT_EQ(clear, "CAPA\r\nSTLS\r\n");
  // Text read before the handshake is over is not taken as a reply.
  EXPECT_EQ(p.OnReceive("+OK injected\r\n").send, "");
  EXPECT_EQ(p.OnSecured({"CN=pop.example", "2030/01/01 00:00 (UTC)"}).send, "CAPA\r\n");
  EXPECT_EQ(p.OnReceive("+OK\r\nUIDL\r\nSASL\r\n.\r\n").send, "USER alice\r\n");
  p.OnReceive("+OK\r\n");
  p.OnReceive("+OK\r\n");
  p.OnReceive("+OK 1 10\r\n");
  p.OnReceive("+OK\r\n");
  ASSERT_TRUE(p.succeeded());
  const std::string r = p.Report();
  for (const char* part : {"接続の保護: STLS（暗号化済み）", "証明書: CN=pop.example", "有効期限: 2030/01/01 00:00 (UTC)",
                           "機能: UIDL あり, PIPELINING なし, STLS なし, SASL あり"})
    EXPECT_NE(r.find(part), std::string::npos) << part << "\n" << r;
}

TEST(ConnectionProbe, TlsOnConnectWaitsForTheChannel) {
  ConnectionProbe p = Probe(Account(kTlsOnConnect));
  EXPECT_EQ(p.OnSecured({"CN=x", "2030/01/01 00:00 (UTC)"}).send, "");
  EXPECT_EQ(p.OnReceive("+OK\r\n").send, "CAPA\r\n");
  EXPECT_EQ(p.OnReceive("+OK\r\n.\r\n").send, "USER alice\r\n");
}

ProbeAccount OAuthAccount(int tls_mode) {
  ProbeAccount a = Account(tls_mode);
  a.password.clear();
  a.oauth = true;
  a.access_token = "tok-123";
  return a;
}

// The token goes in the AUTH step once the channel is secured: OAUTHBEARER
// when CAPA names it (after STLS the capabilities read again), else XOAUTH2.
TEST(ConnectionProbe, OAuthAuthStepAfterTheChannel) {
  const struct {
    int tls_mode;
    const char* capa_after_secured;
    std::string auth;
  } rows[] = {
      {kTlsOnConnect, "+OK\r\nSASL XOAUTH2 OAUTHBEARER\r\n.\r\n",
       "AUTH OAUTHBEARER " + oauth::OAuthBearerInitialResponse("alice", "pop.example", 110, "tok-123") + "\r\n"},
      {kTlsOnConnect, "-ERR no CAPA\r\n",
       "AUTH XOAUTH2 " + oauth::XOAuth2InitialResponse("alice", "tok-123") + "\r\n"},
      {kTlsStls, "+OK\r\nSASL PLAIN XOAUTH2\r\n.\r\n",
       "AUTH XOAUTH2 " + oauth::XOAuth2InitialResponse("alice", "tok-123") + "\r\n"},
  };
  for (const auto& row : rows) {
    ConnectionProbe p = Probe(OAuthAccount(row.tls_mode));
    ASSERT_FALSE(p.refused_at_start());
    std::string before;  // everything sent before the channel is secured
    if (row.tls_mode == kTlsOnConnect) {
      p.OnSecured({"CN=pop.example", "2030/01/01 00:00 (UTC)"});
      EXPECT_EQ(p.OnReceive("+OK ready\r\n").send, "CAPA\r\n");
    } else {
      before += p.OnReceive("+OK ready\r\n").send;
      before += p.OnReceive("+OK\r\nSTLS\r\nSASL OAUTHBEARER\r\n.\r\n").send;
      ASSERT_TRUE(p.OnReceive("+OK\r\n").start_tls);
      EXPECT_EQ(p.OnSecured({"CN=pop.example", "2030/01/01 00:00 (UTC)"}).send, "CAPA\r\n");
    }
    EXPECT_EQ(before.find("tok-123"), std::string::npos);
    EXPECT_EQ(p.OnReceive(row.capa_after_secured).send, row.auth);
    EXPECT_EQ(p.OnReceive("+OK Logged in.\r\n").send, "STAT\r\n");
    EXPECT_EQ(p.OnReceive("+OK 2 300\r\n").send, "QUIT\r\n");
    p.OnReceive("+OK\r\n");
    ASSERT_TRUE(p.succeeded()) << p.Report();
    const std::string r = p.Report();
    EXPECT_NE(r.find(std::string("認証: OAuth 2.0 (") + row.auth.substr(5, row.auth.find(' ', 5) - 5) + ")"),
              std::string::npos)
        << r;
    EXPECT_EQ(r.find("tok-123"), std::string::npos) << r;
  }
}

TEST(ConnectionProbe, OAuthTokenRefused) {
  ConnectionProbe p = Probe(OAuthAccount(kTlsOnConnect));
  p.OnSecured({"CN=pop.example", "2030/01/01 00:00 (UTC)"});
  p.OnReceive("+OK ready\r\n");
  p.OnReceive("+OK\r\nSASL OAUTHBEARER\r\n.\r\n");
  // The error challenge is answered as RFC 7628 asks, then the refusal ends the test.
  EXPECT_EQ(p.OnReceive("+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\r\n").send, "AQ==\r\n");
  const ProbeStep end = p.OnReceive("-ERR [AUTH] Authentication failed.\r\n");
  EXPECT_TRUE(end.done);
  EXPECT_FALSE(p.succeeded());
  EXPECT_NE(p.Report().find(CheckErrorMessage(kSignInErrorPhase, kSignInTokenRefused)), std::string::npos)
      << p.Report();
}

// Without TLS, or without a token, nothing is tried: the test ends before
// any connection with the check's own entry.
TEST(ConnectionProbe, OAuthRefusedBeforeAnyConnection) {
  ProbeAccount no_tls = OAuthAccount(kTlsNone);
  ProbeAccount no_token = OAuthAccount(kTlsStls);
  no_token.access_token.clear();
  ProbeAccount refresh_failed = OAuthAccount(kTlsOnConnect);
  refresh_failed.signin_failure = kSignInRefreshFailed;
  ProbeAccount no_client = OAuthAccount(kTlsNone);  // both: the clear connection is told
  no_client.signin_failure = kSignInNoClientId;
  const struct {
    ProbeAccount account;
    int code;
  } rows[] = {{no_tls, kSignInNotSecured}, {no_token, kSignInNeeded}, {refresh_failed, kSignInRefreshFailed},
              {no_client, kSignInNotSecured}};
  for (const auto& row : rows) {
    ConnectionProbe p = Probe(row.account);
    EXPECT_TRUE(p.refused_at_start());
    EXPECT_TRUE(p.done());
    EXPECT_FALSE(p.succeeded());
    const std::string r = p.Report();
    EXPECT_NE(r.find(CheckErrorMessage(kSignInErrorPhase, row.code)), std::string::npos) << r;
    EXPECT_EQ(r.find("応答:"), std::string::npos);
    EXPECT_EQ(r.find("暗号化されていない接続では送りません") != std::string::npos, row.account.tls_mode == kTlsNone)
        << r;
    // Whatever arrives afterwards sends nothing.
    EXPECT_EQ(p.OnReceive("+OK ready\r\n").send, "");
  }
}

TEST(ConnectionProbe, FailuresGiveTheCheckTexts) {
  struct Case {
    const char* what;
    int tls_mode;
    std::vector<std::string> replies;
    int phase, code;  // an error from the driver instead (phase 0: none)
    const char* text;
  } cases[] = {
      {"refused connection", kTlsNone, {}, 1, 5, "接続に失敗しました。"},
      {"greeting refused", kTlsNone, {"-ERR go away\r\n"}, 0, 0, "接続に失敗しました。"},
      {"wrong user", kTlsNone, {"+OK\r\n", "+OK\r\n.\r\n", "-ERR\r\n"}, 0, 0, "認証に失敗しました。"},
      {"wrong password", kTlsNone, {"+OK\r\n", "+OK\r\n.\r\n", "+OK\r\n", "-ERR [AUTH] failed\r\n"}, 0, 0,
       "認証に失敗しました。"},
      {"STAT refused", kTlsNone, {"+OK\r\n", "+OK\r\n.\r\n", "+OK\r\n", "+OK\r\n", "-ERR\r\n"}, 0, 0,
       "接続中にエラーが発生しました。(3,4)"},
      {"STLS refused", kTlsStls, {"+OK\r\n", "+OK\r\n.\r\n", "-ERR\r\n"}, 0, 0,
       "サーバーがSTLSに対応していないため、接続を中止しました。(2,7)"},
      {"text after STLS's +OK", kTlsStls, {"+OK\r\n", "+OK\r\n.\r\n", "+OK\r\n-ERR slipped\r\n"}, 0, 0,
       "STLSの応答の後に不正なデータを受信したため、接続を中止しました。(4,5)"},
      {"wrong certificate name", kTlsOnConnect, {}, 4, 3,
       "サーバー証明書の名前がサーバー名と一致しないため、接続を中止しました。(4,3)"},
      {"time-out", kTlsNone, {"+OK\r\n"}, 3, 5, "サーバーより応答がないため、タイムアウトしました。(3,5)"},
      {"endless reply", kTlsNone, {std::string(ConnectionProbe::kMaxReply + 1, 'x')}, 0, 0,
       "サーバーの応答が大きすぎるため、中断しました。(3,7)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConnectionProbe p = Probe(Account(c.tls_mode));
    std::string sent;
    for (const std::string& reply : c.replies) sent += p.OnReceive(reply).send;
    if (c.phase) p.OnError(c.phase, c.code);
    EXPECT_TRUE(p.done());
    EXPECT_FALSE(p.succeeded());
    const std::string r = p.Report();
    EXPECT_EQ(r.rfind("接続テストに失敗しました。\r\n", 0), 0u) << r;
    EXPECT_NE(r.find(c.text), std::string::npos) << r;
    if (c.tls_mode != kTlsNone) EXPECT_EQ(sent.find("PASS"), std::string::npos);
    // After the end nothing more is sent.
    EXPECT_EQ(p.OnReceive("+OK\r\n").send, "");
  }
}

}  // namespace
}  // namespace tidewell
