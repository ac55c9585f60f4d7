// The check session's OAuth sign-in: CAPA, then AUTH XOAUTH2 or OAUTHBEARER
// with the access token in the command (when the line fits) or after the "+"
// continuation; one refresh for a refused token; the sign-in error entries;
// no token before the connection is secured, and none anywhere but AUTH.
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/oauth/base64.h"
#include "inkwell2/codec.h"
#include "support/memory_store.h"
#include "tidewell/engine/pop3_session.h"

namespace tidewell {
namespace {

using testing::MemoryStore;
using Kind = SessionAction::Kind;

const char kFolder[] = "C:\\tw";
const char kName[] = "outlook";
const char kUser[] = "taro@example.com";
const char kGreeting[] = "+OK ready <1.2@host>\r\n";

std::string Md5(std::string_view s) { return inkwell2::md5_hex(s); }

// The client responses, written out from RFC 7628 and Google's XOAUTH2 text.
std::string XOAuth2(const std::string& token) {
  return oauth::Base64Encode(std::string("user=") + kUser + "\x01" + "auth=Bearer " + token + "\x01\x01");
}
std::string Bearer(const std::string& token) {
  return oauth::Base64Encode(std::string("n,a=") + kUser + ",\x01" + "host=pop.example\x01port=995\x01" +
                             "auth=Bearer " + token + "\x01\x01");
}
// A token long enough that the AUTH line with it passes 255 octets.
const std::string kLongToken = "eyJ0eXAiOiJKV1QiLCJub25jZSI6" + std::string(300, 'x');

struct TokenAnswer {
  std::string token;  // the fresh token; empty: the refresh failed with `failure`
  int failure = 0;
};

// Plays the driver: runs actions in order, posted messages one at a time;
// a token request takes the next scripted answer.
struct Harness {
  explicit Harness(SessionTls tls = SessionTls::kOnConnect, std::uint32_t flags = 0) {
    data.data_folder = kFolder;
    data.flags = flags;
    data.ResetAccounts(1);
    data.server_mail_count = {4};
    account = SessionAccount{kUser, "", kName, "pop.example", 995, false, tls};
    account.oauth = true;
    account.access_token = "tok-1";
  }
  // Start, and what the driver does before the greeting: post the start
  // failure in place of connecting; with TLS on connect, the handshake.
  void Begin() {
    session.Start(account, data, 0);
    if (const StartFailure f = SessionStartFailure(account)) {
      queue.push_back(SessionAction(Kind::kPostError, "", f.phase, f.code));
      Run({});
      return;
    }
    if (account.tls == SessionTls::kOnConnect) Run(session.OnSecured());
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
      if (m.kind == Kind::kPostContinue) {
        Run(session.OnContinue());
      } else if (m.kind == Kind::kPostError) {
        errors.emplace_back(m.phase, m.code);
        Run(session.OnError(m.phase, m.code));
      } else if (m.kind == Kind::kRefreshToken) {
        ++refreshes;
        if (answers.empty()) continue;  // the refresh is still under way
        TokenAnswer t = answers.front();
        answers.pop_front();
        Run(t.token.empty() ? session.OnTokenFailure(t.failure) : session.OnToken(t.token));
      } else {
        ++account_done;
      }
    }
  }
  void Reply(std::string_view chunk) { Run(session.OnReceive(chunk)); }
  std::string MailFile() const {
    auto it = store.files.find(std::string(kFolder) + "\\Mail\\" + Md5(kName));
    return it == store.files.end() ? "<none>" : it->second;
  }

  MemoryStore store;
  EngineData data;
  SessionAccount account;
  Pop3Session session{Md5, store};
  std::deque<SessionAction> queue;
  std::deque<TokenAnswer> answers;
  std::vector<std::string> sent;
  std::vector<std::pair<int, int>> errors;
  int account_done = 0, closes = 0, tls_starts = 0, refreshes = 0;
};

// One row per way through the AUTH step, from the reply to CAPA on.
struct AuthRow {
  const char* name;
  std::string capa;                   // the reply to CAPA
  std::string token;                  // the account's token at the start
  bool fresh;                         // ... just had from the token endpoint
  std::vector<TokenAnswer> answers;   // what each token request gives
  std::vector<std::string> replies;   // the server's further replies, one per command
  std::vector<std::string> sent;      // every command after CAPA
  int refreshes;
  int signin_error;                   // 0: logged in, STAT counted the mail
};

const std::string kCapaPlain = "+OK\r\nUIDL\r\nTOP\r\n.\r\n";
const std::string kCapaBearer = "+OK capabilities\r\nSASL PLAIN XOAUTH2 OAUTHBEARER\r\nUSER\r\n.\r\n";
const std::string kStatOk = "+OK 1 300\r\n";
// The RFC 7628 error challenge: {"status":"invalid_token"} and
// {"status":"insufficient_scope"}.
const std::string kInvalidToken = "+ " + oauth::Base64Encode("{\"status\":\"invalid_token\"}") + "\r\n";
const std::string kBadScope = "+ " + oauth::Base64Encode("{\"status\":\"insufficient_scope\",\"scope\":\"x\"}") + "\r\n";

// After a good AUTH: STAT (one mail), then the mail itself.
std::vector<std::string> Counted(std::vector<std::string> v) {
  for (const char* s : {"STAT\r\n", "LIST 1\r\n", "TOP 1 0\r\n", "QUIT\r\n"}) v.push_back(s);
  return v;
}
std::vector<std::string> CountedReplies(std::vector<std::string> v) {
  for (const char* s : {"+OK\r\n", "+OK 1 300\r\n", "+OK 1 300\r\n", "+OK\r\nSubject: a\r\n\r\n.\r\n", "+OK bye\r\n"})
    v.push_back(s);
  return v;
}

std::vector<AuthRow> AuthRows() {
  const std::string ir = "AUTH XOAUTH2 " + XOAuth2("tok-1") + "\r\n";
  const std::string ir2 = "AUTH XOAUTH2 " + XOAuth2("tok-2") + "\r\n";
  return {
      {"XOAUTH2 with the response in the command", kCapaPlain, "tok-1", false, {},
       CountedReplies({}), Counted({ir}), 0, 0},
      {"OAUTHBEARER chosen when announced", kCapaBearer, "tok-1", false, {},
       CountedReplies({}), Counted({"AUTH OAUTHBEARER " + Bearer("tok-1") + "\r\n"}), 0, 0},
      {"CAPA refused: XOAUTH2", "-ERR unknown command\r\n", "tok-1", false, {},
       CountedReplies({}), Counted({ir}), 0, 0},
      {"a long token after the + continuation", kCapaPlain, kLongToken, false, {},
       CountedReplies({"+ \r\n"}), Counted({"AUTH XOAUTH2\r\n", XOAuth2(kLongToken) + "\r\n"}), 0, 0},
      {"a refused token is refreshed and the retry succeeds", kCapaPlain, "tok-1", false, {{"tok-2"}},
       CountedReplies({"-ERR [AUTH] Authentication failed.\r\n"}), Counted({ir, ir2}), 1, 0},
      {"an OAUTHBEARER error challenge: ^A, then refresh and retry", kCapaBearer, "tok-1", false, {{"tok-2"}},
       CountedReplies({kInvalidToken, "-ERR\r\n"}),
       Counted({"AUTH OAUTHBEARER " + Bearer("tok-1") + "\r\n", "AQ==\r\n",
                "AUTH OAUTHBEARER " + Bearer("tok-2") + "\r\n"}),
       1, 0},
      {"no token yet: one is asked for before AUTH", kCapaPlain, "", false, {{"tok-2"}},
       CountedReplies({}), Counted({ir2}), 1, 0},
      {"the refresh fails: the provider wants a new sign-in", kCapaPlain, "tok-1", false,
       {{"", kSignInNeeded}}, {"-ERR no\r\n", "+OK bye\r\n"}, {ir, "QUIT\r\n"}, 1, kSignInNeeded},
      {"the refresh fails: no token endpoint", kCapaPlain, "tok-1", false, {{"", kSignInRefreshFailed}},
       {"-ERR no\r\n", "+OK bye\r\n"}, {ir, "QUIT\r\n"}, 1, kSignInRefreshFailed},
      {"a code the session does not know reads as a failed refresh", kCapaPlain, "tok-1", false,
       {{"", 99}}, {"-ERR no\r\n", "+OK bye\r\n"}, {ir, "QUIT\r\n"}, 1, kSignInRefreshFailed},
      {"the fresh token refused too", kCapaPlain, "tok-1", false, {{"tok-2"}},
       {"-ERR no\r\n", "-ERR still no\r\n", "+OK bye\r\n"}, {ir, ir2, "QUIT\r\n"}, 1, kSignInTokenRefused},
      {"a token just had is not refreshed again", kCapaPlain, "tok-1", true, {},
       {"-ERR no\r\n", "+OK bye\r\n"}, {ir, "QUIT\r\n"}, 0, kSignInTokenRefused},
      {"a scope refusal is not mended by a token", kCapaBearer, "tok-1", false, {},
       {kBadScope, "-ERR\r\n", "+OK bye\r\n"},
       {"AUTH OAUTHBEARER " + Bearer("tok-1") + "\r\n", "AQ==\r\n", "QUIT\r\n"}, 0, kSignInTokenRefused},
      {"a SASL line without either mechanism", "+OK\r\nSASL PLAIN LOGIN\r\n.\r\n", "tok-1", false, {},
       {"-ERR unknown mechanism\r\n", "+OK bye\r\n"}, {ir, "QUIT\r\n"}, 0, kSignInTokenRefused},
      {"+OK before the response was sent", kCapaPlain, kLongToken, false, {},
       {"+OK\r\n", "+OK bye\r\n"}, {"AUTH XOAUTH2\r\n", "QUIT\r\n"}, 0, kSignInTokenRefused},
  };
}

TEST(Pop3SessionOAuth, AuthStepsAsRows) {
  for (const AuthRow& row : AuthRows()) {
    SCOPED_TRACE(row.name);
    Harness h;
    h.account.access_token = row.token;
    h.account.token_fresh = row.fresh;
    h.account.apop = true;  // not used for OAuth
    for (const TokenAnswer& a : row.answers) h.answers.push_back(a);
    h.Begin();
    h.Reply(kGreeting);
    ASSERT_EQ(h.sent, std::vector<std::string>{"CAPA\r\n"});
    h.sent.clear();
    h.Reply(row.capa);
    for (const std::string& reply : row.replies) h.Reply(reply);
    EXPECT_EQ(h.sent, row.sent);
    EXPECT_EQ(h.refreshes, row.refreshes);
    EXPECT_EQ(h.account_done, 1);
    EXPECT_EQ(h.session.state(), SessionState::kIdle);
    if (row.signin_error == 0) {
      EXPECT_EQ(h.MailFile(), "+OK 1 300\r\n+OK\r\nSubject: a\r\n\r\n.\r\n");
      EXPECT_FALSE(h.data.Has(kCheckError));
      EXPECT_EQ(h.data.server_mail_count[0], 1);
    } else {
      EXPECT_EQ(h.MailFile(), ErrorEntry(kSignInErrorPhase, row.signin_error));
      EXPECT_TRUE(h.data.Has(kCheckError));
      EXPECT_EQ(h.data.server_mail_count[0], 4);
    }
    // The token goes only Base64-coded in the AUTH exchange (the rows list
    // every command): never as it is in a command, never into a file.
    for (const std::string& token : {std::string("tok-1"), std::string("tok-2"), kLongToken}) {
      for (const std::string& s : h.sent) EXPECT_EQ(s.find(token), std::string::npos) << s;
      for (const auto& [path, bytes] : h.store.files) {
        EXPECT_EQ(bytes.find(token), std::string::npos) << path;
        EXPECT_EQ(bytes.find(XOAuth2(token)), std::string::npos) << path;
        EXPECT_EQ(bytes.find(Bearer(token)), std::string::npos) << path;
      }
    }
  }
}

// The AUTH exchange read from replies cut anywhere: the CAPA listing, the
// continuation and the final +OK in pieces, or two lines in one chunk.
TEST(Pop3SessionOAuth, RepliesSplitOrJoinedAreReadLineByLine) {
  Harness h;
  h.account.access_token = kLongToken;
  h.Begin();
  h.Reply(kGreeting);
  for (std::string_view piece : {"+OK\r\nSASL XOAU", "TH2\r\n.", "\r\n"}) h.Reply(piece);
  ASSERT_EQ(h.sent.back(), "AUTH XOAUTH2\r\n");
  h.Reply("+");
  EXPECT_EQ(h.sent.size(), 2u) << "nothing before the line end";
  h.Reply(" \r\n");
  ASSERT_EQ(h.sent.back(), XOAuth2(kLongToken) + "\r\n");
  h.Reply("+O");
  h.Reply("K welcome\r\n");
  EXPECT_EQ(h.sent.back(), "STAT\r\n");
  EXPECT_EQ(h.session.state(), SessionState::kAwaitStat);
}

// A CAPA listing or an AUTH line without end is not kept for ever: the
// account ends like any reply past its cap, and nothing more is sent.
TEST(Pop3SessionOAuth, AnEndlessSignInReplyEndsTheAccount) {
  for (bool in_capa : {true, false}) {
    SCOPED_TRACE(in_capa ? "CAPA" : "AUTH");
    Harness h;
    h.account.access_token = kLongToken;
    h.Begin();
    h.Reply(kGreeting);
    if (!in_capa) h.Reply(kCapaPlain);
    const std::size_t sent = h.sent.size();
    h.Reply(in_capa ? "+OK\r\n" : "+ ");
    const std::string filler(kMaxChunk, 'x');
    for (int i = 0; i < 10 && h.account_done == 0; ++i) h.Reply(filler);
    EXPECT_EQ(h.account_done, 1);
    EXPECT_EQ(h.MailFile(), ErrorEntry(kReplyTooLargePhase, kReplyTooLargeCode));
    EXPECT_EQ(h.sent.size(), sent);
  }
}

// Before any connection: OAuth without TLS ends with (6,4), a failure the
// driver met getting a token with its own entry; nothing is ever sent, even
// should a greeting arrive.
TEST(Pop3SessionOAuth, StartFailuresEndAtOnceWithNothingSent) {
  struct Case {
    const char* name;
    SessionTls tls;
    int signin_failure;
    bool password_unreadable;
    int code;
  };
  const Case cases[] = {
      {"no TLS", SessionTls::kNone, 0, false, kSignInNotSecured},
      {"no TLS wins over a sign-in failure", SessionTls::kNone, kSignInNeeded, false, kSignInNotSecured},
      {"no refresh token", SessionTls::kOnConnect, kSignInNeeded, false, kSignInNeeded},
      {"no client id", SessionTls::kStls, kSignInNoClientId, false, kSignInNoClientId},
      {"token endpoint unreachable", SessionTls::kOnConnect, kSignInRefreshFailed, false, kSignInRefreshFailed},
  };
  for (const Case& c : cases) {
    for (bool greeting_anyway : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (greeting_anyway ? ", a greeting anyway" : ""));
      Harness h(c.tls);
      h.account.signin_failure = c.signin_failure;
      h.account.password_unreadable = c.password_unreadable;
      const StartFailure f = SessionStartFailure(h.account);
      EXPECT_EQ(f.phase, kSignInErrorPhase);
      EXPECT_EQ(f.code, c.code);
      if (greeting_anyway) {
        h.session.Start(h.account, h.data, 0);
        if (c.tls == SessionTls::kOnConnect) h.Run(h.session.OnSecured());
        h.Reply(kGreeting);
      } else {
        h.Begin();
      }
      EXPECT_TRUE(h.sent.empty());
      EXPECT_EQ(h.refreshes, 0);
      EXPECT_EQ(h.account_done, 1);
      EXPECT_EQ(h.MailFile(), ErrorEntry(kSignInErrorPhase, c.code));
    }
  }
  // A password account is not held up by OAuth fields; an OAuth one by an
  // unreadable password it does not use.
  SessionAccount password{kUser, "pw", kName, "pop.example", 110, false, SessionTls::kNone};
  password.signin_failure = kSignInNeeded;
  EXPECT_FALSE(SessionStartFailure(password));
  Harness oauth;
  oauth.account.password_unreadable = true;
  EXPECT_FALSE(SessionStartFailure(oauth.account));
}

TEST(Pop3SessionOAuth, SignInEntriesTellWhatToDo) {
  EXPECT_EQ(ErrorEntry(6, kSignInNotSecured),
            "*ERR\r\n暗号化されていない接続ではアクセストークンを送れないため、接続を中止しました。"
            "設定のアカウントで接続の保護を「SSL/TLS」か「STLS」にしてください。(6,4)\r\n.\r\n");
  struct Case { int code; const char* says; };
  for (const Case& c : {Case{kSignInNeeded, "「サインイン」"}, Case{kSignInRefreshFailed, "もう一度チェック"},
                        Case{kSignInTokenRefused, "サインインし直して"},
                        Case{kSignInNoClientId, "[OAuth.Microsoft]"}}) {
    const std::string entry = ErrorEntry(kSignInErrorPhase, c.code);
    EXPECT_NE(entry.find(c.says), std::string::npos) << c.code;
    EXPECT_NE(entry.find("(6," + std::to_string(c.code) + ")\r\n.\r\n"), std::string::npos) << c.code;
  }
  EXPECT_EQ(SignInErrorWords(0), nullptr);
  EXPECT_EQ(SignInErrorWords(6), nullptr);
}

// STLS: CAPA and AUTH only after the handshake is reported done; the token
// never goes before OnSecured, and a greeting in clear with TLS on connect
// gets nothing.
TEST(Pop3SessionOAuth, TheTokenWaitsForTheSecuredConnection) {
  Harness h(SessionTls::kStls);
  h.Begin();
  h.Reply(kGreeting);
  EXPECT_EQ(h.sent, std::vector<std::string>{"STLS\r\n"});
  h.Reply("+OK begin TLS\r\n");
  EXPECT_EQ(h.tls_starts, 1);
  EXPECT_EQ(h.sent.size(), 1u) << "nothing before the handshake";
  h.Run(h.session.OnToken("tok-x"));  // a stray token answer changes nothing
  EXPECT_EQ(h.sent.size(), 1u);
  h.Run(h.session.OnSecured());
  ASSERT_EQ(h.sent.back(), "CAPA\r\n");
  h.Reply(kCapaPlain);
  EXPECT_EQ(h.sent.back(), "AUTH XOAUTH2 " + XOAuth2("tok-1") + "\r\n");

  Harness clear(SessionTls::kOnConnect);
  clear.session.Start(clear.account, clear.data, 0);
  clear.Reply(kGreeting);  // before OnSecured
  for (const std::string& s : clear.sent) EXPECT_EQ(s.find("AUTH"), std::string::npos);
}

// Waiting for the token: the connection may break or time out; a late
// answer then finds the session over and sends nothing.
TEST(Pop3SessionOAuth, ALateTokenAfterTheSessionEndedIsIgnored) {
  Harness h;
  h.Begin();
  h.Reply(kGreeting);
  h.Reply(kCapaPlain);
  h.Reply("-ERR expired\r\n");
  ASSERT_EQ(h.refreshes, 1);
  EXPECT_EQ(h.session.state(), SessionState::kAwaitToken);
  h.Reply("+OK stray\r\n");  // not a reply to anything
  const std::size_t before = h.sent.size();
  h.Run(h.session.OnError(3, 1));
  EXPECT_EQ(h.account_done, 1);
  EXPECT_EQ(h.MailFile(), ErrorEntry(3, 1));
  h.Run(h.session.OnToken("tok-2"));
  h.Run(h.session.OnTokenFailure(kSignInNeeded));
  EXPECT_EQ(h.sent.size(), before);
  EXPECT_EQ(h.MailFile(), ErrorEntry(3, 1));
}

// After AUTH the check goes on as after PASS: with the fast check, CAPA
// again (capabilities may change with the login), then the pipelined STAT.
TEST(Pop3SessionOAuth, FastCheckAfterTheSignIn) {
  Harness h(SessionTls::kOnConnect, kFastCheck);
  h.Begin();
  h.Reply(kGreeting);
  h.Reply(kCapaPlain);
  h.Reply("+OK\r\n");
  EXPECT_EQ(h.sent.back(), "CAPA\r\n");
  EXPECT_EQ(h.session.state(), SessionState::kAwaitCapa);
  h.Reply("+OK\r\nPIPELINING\r\nUIDL\r\n.\r\n");
  EXPECT_EQ(h.sent.back(), "STAT\r\nUIDL\r\nLIST\r\n");
}

}  // namespace
}  // namespace tidewell
