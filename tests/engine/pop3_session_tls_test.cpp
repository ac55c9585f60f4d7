// The check session with TLS: STLS after the greeting and the login only
// after the driver reports the handshake done and the certificate checked;
// TLS on connect; a refused STLS, text slipped in after the +OK of STLS, and
// the TLS error entries. No credential is ever sent before OnSecured.
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inkwell2/codec.h"
#include "support/memory_store.h"
#include "tidewell/engine/pop3_session.h"

namespace tidewell {
namespace {

using testing::MemoryStore;
using Kind = SessionAction::Kind;

const char kFolder[] = "C:\\tw";
const char kName[] = "secure";
const char kGreeting[] = "+OK ready <7.8@host>\r\n";

std::string Md5(std::string_view s) { return inkwell2::md5_hex(s); }

// Plays the driver: runs actions in order, posted messages one at a time.
struct Harness {
  Harness(SessionTls tls, bool apop = false) {
    data.data_folder = kFolder;
    data.ResetAccounts(1);
    account = SessionAccount{"user", "secret", kName, "pop.example", 110, apop, tls};
    session.Start(account, data, 0);
  }
  void Run(const SessionActions& actions) {
    for (const auto& a : actions) {
      switch (a.kind) {
        case Kind::kSend: sent.push_back(a.text); break;
        case Kind::kStartTls: ++tls_starts; break;
        case Kind::kKillWatchdog: break;
        case Kind::kCloseConnection: ++closes; break;
        default: queue.push_back(a); break;
      }
    }
    while (!queue.empty()) {
      SessionAction m = queue.front();
      queue.pop_front();
      if (m.kind == Kind::kPostContinue) Run(session.OnContinue());
      else if (m.kind == Kind::kPostError) {
        errors.emplace_back(m.phase, m.code);
        Run(session.OnError(m.phase, m.code));
      } else ++account_done;
    }
  }
  void Reply(std::string_view chunk) { Run(session.OnReceive(chunk)); }
  std::string MailFile() const {
    auto it = store.files.find(std::string(kFolder) + "\\Mail\\" + Md5(kName));
    return it == store.files.end() ? "<none>" : it->second;
  }
  bool SentSecret() const {
    for (const std::string& s : sent)
      if (s.find("USER") != std::string::npos || s.find("PASS") != std::string::npos ||
          s.find("APOP") != std::string::npos)
        return true;
    return false;
  }

  MemoryStore store;
  EngineData data;
  SessionAccount account;
  Pop3Session session{Md5, store};
  std::deque<SessionAction> queue;
  std::vector<std::string> sent;
  std::vector<std::pair<int, int>> errors;
  int account_done = 0, closes = 0, tls_starts = 0;
};

TEST(Pop3SessionTls, StlsThenHandshakeThenTheLogin) {
  Harness h(SessionTls::kStls);
  h.Reply(kGreeting);
  EXPECT_EQ(h.sent, std::vector<std::string>{"STLS\r\n"});
  EXPECT_EQ(h.session.state(), SessionState::kAwaitStls);
  h.Reply("+OK Begin TLS negotiation now.\r\n");
  EXPECT_EQ(h.tls_starts, 1);
  EXPECT_EQ(h.session.state(), SessionState::kAwaitHandshake);
  // Whatever text reaches the session during the handshake does nothing.
  h.Reply("+OK\r\n");
  h.Run(h.session.OnContinue());
  EXPECT_FALSE(h.SentSecret());
  h.Run(h.session.OnSecured());
  EXPECT_EQ(h.sent, (std::vector<std::string>{"STLS\r\n", "USER user\r\n"}));
  h.Reply("+OK\r\n");
  h.Reply("+OK\r\n");
  h.Reply("+OK 0 0\r\n");
  h.Reply("+OK bye\r\n");
  EXPECT_EQ(h.sent.back(), "QUIT\r\n");
  EXPECT_EQ(h.sent[2], "PASS secret\r\n");
  EXPECT_EQ(h.account_done, 1);
  EXPECT_EQ(h.MailFile(), "");
  EXPECT_TRUE(h.errors.empty());
  // A second OnSecured (a late report) sends nothing more.
  Harness late(SessionTls::kStls);
  late.Reply(kGreeting);
  late.Reply("+OK\r\n");
  late.Run(late.session.OnSecured());
  late.Run(late.session.OnSecured());
  EXPECT_EQ(late.sent.size(), 2u);
}

TEST(Pop3SessionTls, ApopOverStlsUsesTheTimestampOfTheClearGreeting) {
  Harness h(SessionTls::kStls, true);
  h.Reply(kGreeting);
  h.Reply("+OK\r\n");
  h.Run(h.session.OnSecured());
  ASSERT_EQ(h.sent.size(), 2u);
  EXPECT_EQ(h.sent[1], "APOP user " + Md5("<7.8@host>secret") + "\r\n");
}

// A server that keeps sending after a bad reply to STLS, before the error is
// handled: nothing more is kept, and the error is posted once.
TEST(Pop3SessionTls, TextAfterAJudgedStlsReplyIsNotKept) {
  Harness h(SessionTls::kStls);
  h.Reply(kGreeting);
  SessionActions first = h.session.OnReceive("+OK\r\nX");
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0], SessionAction(Kind::kPostError, "", 4, 5));
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(h.session.OnReceive(std::string(kMaxChunk, 'y')).empty());
  h.Run(h.session.OnError(4, 5));
  EXPECT_EQ(h.account_done, 1);
  EXPECT_EQ(h.MailFile(), ErrorEntry(4, 5));
}

TEST(Pop3SessionTls, TheReplyToStlsIsJoinedUntilItsLineEnd) {
  Harness h(SessionTls::kStls);
  h.Reply(kGreeting);
  h.Reply("+O");
  h.Reply("K go ahead");
  EXPECT_EQ(h.tls_starts, 0);
  h.Reply("\r\n");
  EXPECT_EQ(h.tls_starts, 1);
  EXPECT_TRUE(h.errors.empty());
}

// Every way STLS can go wrong fails the account with its entry, and no
// USER, PASS or APOP is ever sent.
TEST(Pop3SessionTls, StlsFailuresNeverFallBackToClearText) {
  struct Case {
    const char* what;
    std::vector<std::string> replies;
    std::pair<int, int> error;
    bool quit;  // QUIT follows the refusal (in clear: nothing secret)
  };
  const Case cases[] = {
      {"refused", {"-ERR TLS support isn't enabled.\r\n"}, {2, 7}, true},
      {"refused in pieces", {"-", "ERR no\r\n"}, {2, 7}, true},
      {"text after the +OK", {"+OK\r\nUSER evil\r\n"}, {4, 5}, false},
      {"text after the +OK, in a second piece", {"+OK", "\r\n+OK\r\n"}, {4, 5}, false},
      {"no line end within 512 bytes", {"+OK" + std::string(600, 'x')}, {4, 5}, false},
      {"line end right after 512 bytes", {"+OK" + std::string(509, 'x'), "\r\n"}, {4, 5}, false},
      {"text after a line end at the limit", {"+OK" + std::string(507, 'x') + "\r\nX"}, {4, 5}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h(SessionTls::kStls);
    h.Reply(kGreeting);
    for (const std::string& r : c.replies) h.Reply(r);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.errors[0], c.error);
    EXPECT_EQ(h.tls_starts, 0);
    if (c.quit) {
      EXPECT_EQ(h.sent.back(), "QUIT\r\n");
      h.Reply("+OK\r\n");
    }
    EXPECT_EQ(h.account_done, 1);
    EXPECT_EQ(h.MailFile(), ErrorEntry(c.error.first, c.error.second));
    EXPECT_TRUE(h.data.Has(kCheckError));
    EXPECT_FALSE(h.SentSecret());
  }
}

TEST(Pop3SessionTls, TlsOnConnectWaitsForTheHandshakeBeforeTheGreeting) {
  Harness h(SessionTls::kOnConnect);
  h.Run(h.session.OnSecured());
  h.Reply(kGreeting);
  EXPECT_EQ(h.sent, std::vector<std::string>{"USER user\r\n"});
  EXPECT_EQ(h.tls_starts, 0);  // the driver started TLS itself at the connect

  // A greeting handed on before the handshake fails the account.
  Harness early(SessionTls::kOnConnect);
  early.Reply(kGreeting);
  ASSERT_EQ(early.errors.size(), 1u);
  EXPECT_EQ(early.errors[0], std::make_pair(4, 1));
  EXPECT_FALSE(early.SentSecret());
  EXPECT_EQ(early.account_done, 1);
}

// Errors the driver posts for the TLS layer end the session at once without
// QUIT (the channel cannot carry it), each with its own entry.
TEST(Pop3SessionTls, TlsErrorsEndTheSessionWithTheirEntries) {
  for (int code = 1; code <= 6; ++code) {
    SCOPED_TRACE(code);
    Harness h(SessionTls::kOnConnect);
    h.Run(h.session.OnError(4, code));
    EXPECT_TRUE(h.sent.empty());
    EXPECT_EQ(h.account_done, 1);
    EXPECT_EQ(h.closes, 1);
    EXPECT_EQ(h.MailFile(), ErrorEntry(4, code));
  }
  // The connection dropping during the handshake after STLS.
  Harness h(SessionTls::kStls);
  h.Reply(kGreeting);
  h.Reply("+OK\r\n");
  EXPECT_EQ(h.session.OnConnectError(), SessionActions{SessionAction(Kind::kPostError, "", 3, 1)});
}

TEST(Pop3SessionTls, EntriesAreDistinctShiftJisTexts) {
  EXPECT_EQ(ErrorEntry(2, 7), "*ERR\r\nサーバーがSTLSに対応していないため、接続を中止しました。(2,7)\r\n.\r\n");
  EXPECT_EQ(ErrorEntry(4, 2), "*ERR\r\nサーバー証明書が信頼できないため、接続を中止しました。(4,2)\r\n.\r\n");
  EXPECT_EQ(ErrorEntry(4, 3),
            "*ERR\r\nサーバー証明書の名前がサーバー名と一致しないため、接続を中止しました。(4,3)\r\n.\r\n");
  // "証" is 0x8F 0xD8 in Shift_JIS: the file text is not UTF-8.
  EXPECT_NE(ErrorEntry(4, 2).find("\x8f\xd8"), std::string::npos);
  std::vector<std::string> texts;
  for (int code = 1; code <= 6; ++code) texts.push_back(ErrorEntry(4, code));
  texts.push_back(ErrorEntry(2, 7));
  for (std::size_t i = 0; i < texts.size(); ++i)
    for (std::size_t j = i + 1; j < texts.size(); ++j) EXPECT_NE(texts[i], texts[j]);
  // The phase 2 refusal of an unrelated command keeps its old text.
  EXPECT_EQ(ErrorEntry(2, 6), "*ERR\r\n接続中にエラーが発生しました。(2,6)\r\n.\r\n");
}

}  // namespace
}  // namespace tidewell
