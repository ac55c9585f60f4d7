// The check session fed scripted server replies: every row of the failure
// table, APOP time stamps, MsgCheck, empty mailboxes, split and 8192-byte TOP
// replies, the header hash rule and the seen-before test.
#include <algorithm>
#include <climits>
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
const char kName[] = "Account A";

std::string Md5(std::string_view s) { return inkwell2::md5_hex(s); }
std::string MailPath() { return std::string(kFolder) + "\\Mail\\" + Md5(kName); }
std::string HashPath() { return std::string(kFolder) + "\\Mail\\hash.dat"; }

std::string Top(const std::string& headers) { return "+OK\r\n" + headers + "\r\n.\r\n"; }
const std::string kHead1 = "From: a@example.com\r\nSubject: one\r\n";
const std::string kHead2 = "From: b@example.com\r\nSubject: two\r\n";

// Plays the driver: runs the actions in order and delivers posted messages
// one at a time, as the message loop would.
struct Harness {
  explicit Harness(std::uint32_t flags = 0, bool apop = false) {
    data.data_folder = kFolder;
    data.flags = flags;
    data.ResetAccounts(2);
    data.server_mail_count = {7, 7};
    account = SessionAccount{"user", "secret", kName, "pop.example", 110, apop};
    session.Start(account, data, 0);
  }
  void Run(const SessionActions& actions) {
    for (const auto& a : actions) {
      switch (a.kind) {
        case Kind::kSend: sent.push_back(a.text); break;
        case Kind::kPostContinue:
        case Kind::kPostError:
        case Kind::kAccountDone: queue.push_back(a); break;
        case Kind::kKillWatchdog: ++watchdog_kills; break;
        case Kind::kCloseConnection: ++closes; break;
        case Kind::kStartTls: ++tls_starts; break;
        case Kind::kRefreshToken: ADD_FAILURE() << "a password account asks for no token"; break;
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
  // Greeting, USER/PASS and a STAT of n mails.
  void LogIn(int n) {
    Reply("+OK ready <1.2@host>\r\n");
    Reply("+OK\r\n");
    Reply("+OK logged in\r\n");
    Reply("+OK " + std::to_string(n) + " 999\r\n");
  }
  std::string MailFile() const {
    auto it = store.files.find(MailPath());
    return it == store.files.end() ? "<none>" : it->second;
  }
  std::string HashFile() const {
    auto it = store.files.find(HashPath());
    return it == store.files.end() ? "<none>" : it->second;
  }

  MemoryStore store;
  EngineData data;
  SessionAccount account;
  Pop3Session session{Md5, store};
  std::deque<SessionAction> queue;
  std::vector<std::string> sent;
  std::vector<std::pair<int, int>> errors;
  int account_done = 0, watchdog_kills = 0, closes = 0, tls_starts = 0;
};

TEST(Pop3Session, GoodSessionWritesUpperCasedListAndTopRepliesAndHashes) {
  Harness h;
  h.LogIn(2);
  h.Reply("+ok 1 120\r\n");  // a lower-case LIST reply
  h.Reply(Top(kHead1));
  h.Reply("+OK 2 130\r\n");
  h.Reply(Top(kHead2));
  h.Reply("+OK bye\r\n");

  EXPECT_EQ(h.sent, (std::vector<std::string>{"USER user\r\n", "PASS secret\r\n", "STAT\r\n",
                                               "LIST 1\r\n", "TOP 1 0\r\n", "LIST 2\r\n",
                                               "TOP 2 0\r\n", "QUIT\r\n"}));
  EXPECT_EQ(h.MailFile(), "+OK 1 120\r\n" + Top(kHead1) + "+OK 2 130\r\n" + Top(kHead2));
  EXPECT_EQ(h.HashFile(), Md5(kHead1 + "\r\n.\r\n") + "\n" + Md5(kHead2 + "\r\n.\r\n") + "\n");
  EXPECT_EQ(h.account_done, 1);
  EXPECT_EQ(h.closes, 1);
  EXPECT_EQ(h.watchdog_kills, 1);
  EXPECT_EQ(h.data.new_count, 2);
  EXPECT_EQ(h.data.server_mail_count[0], 2);
  EXPECT_EQ(h.data.server_mail_count[1], 7);
  EXPECT_FALSE(h.data.Has(kCheckError));
  EXPECT_EQ(h.session.state(), SessionState::kIdle);
}

TEST(Pop3Session, EmptyMailboxAndMsgCheckQuitRightAfterStat) {
  struct Case { const char* name; std::uint32_t flags; int mails; };
  for (const Case& c : {Case{"empty mailbox", 0u, 0}, Case{"MsgCheck", kMsgCheck, 3}}) {
    SCOPED_TRACE(c.name);
    Harness h(c.flags);
    h.data.hash_list = "0123\n";  // an earlier account's hash stays
    h.LogIn(c.mails);
    ASSERT_EQ(h.sent.back(), "QUIT\r\n");
    EXPECT_EQ(h.sent.size(), 4u);
    h.Reply("+OK bye\r\n");
    EXPECT_EQ(h.MailFile(), "");
    EXPECT_EQ(h.HashFile(), "0123\n");
    EXPECT_EQ(h.data.new_count, c.mails);
    EXPECT_EQ(h.data.server_mail_count[0], c.mails);
    EXPECT_EQ(h.account_done, 1);
  }
}

// One row per source of an error: how far the session got, what broke it,
// what the account mail file holds and whether QUIT was sent for it.
struct FailureRow {
  const char* name;
  int replies_before;       // good replies fed first (greeting, USER, PASS, STAT 2, LIST, TOP...)
  const char* bad_reply;    // a refused reply, or null for an event
  int event_phase, event_code;  // posted by the driver when bad_reply is null
  int phase, code;          // the error the session ends with
  bool quit;                // QUIT sent after the error
  const char* entry;
};

const FailureRow kFailures[] = {
    {"greeting refused", 0, "-ERR busy\r\n", 0, 0, 2, 1, true,
     "*ERR\r\n接続に失敗しました。\r\n.\r\n"},
    {"USER refused", 1, "-ERR who\r\n", 0, 0, 2, 2, true, "*ERR\r\n認証に失敗しました。\r\n.\r\n"},
    {"PASS refused", 2, "-ERR bad\r\n", 0, 0, 3, 3, false, "*ERR\r\n認証に失敗しました。\r\n.\r\n"},
    {"STAT refused", 3, "-ERR no\r\n", 0, 0, 2, 4, true,
     "*ERR\r\n接続中にエラーが発生しました。(2,4)\r\n.\r\n"},
    {"LIST refused", 4, "-ERR no\r\n", 0, 0, 2, 5, true,
     "*ERR\r\n接続中にエラーが発生しました。(2,5)\r\n.\r\n"},
    {"TOP refused", 5, "-ERR no\r\n", 0, 0, 2, 6, true,
     "*ERR\r\n接続中にエラーが発生しました。(2,6)\r\n.\r\n"},
    {"second LIST refused after a fetched mail", 6, "-ERR no\r\n", 0, 0, 2, 5, true,
     "*ERR\r\n接続中にエラーが発生しました。(2,5)\r\n.\r\n"},
    {"foreign lookup handle", 0, nullptr, 1, 1, 1, 1, false, "*ERR\r\n接続に失敗しました。\r\n.\r\n"},
    {"lookup failed", 0, nullptr, 1, 2, 1, 2, false, "*ERR\r\n接続に失敗しました。\r\n.\r\n"},
    {"socket failed", 0, nullptr, 1, 3, 1, 3, false, "*ERR\r\n接続に失敗しました。\r\n.\r\n"},
    {"select failed", 0, nullptr, 1, 4, 1, 4, false, "*ERR\r\n接続に失敗しました。\r\n.\r\n"},
    {"connect failed", 0, nullptr, 1, 5, 1, 5, false, "*ERR\r\n接続に失敗しました。\r\n.\r\n"},
    {"recv failed during TOP", 5, nullptr, 3, 1, 3, 1, false,
     "*ERR\r\n接続中にエラーが発生しました。(3,1)\r\n.\r\n"},
};

std::vector<std::string> GoodReplies() {
  return {"+OK hi\r\n", "+OK\r\n", "+OK in\r\n", "+OK 2 300\r\n",
          "+OK 1 100\r\n", Top(kHead1), "+OK 2 200\r\n"};
}

TEST(Pop3Session, EveryFailureEndsWithItsErrorEntry) {
  for (const FailureRow& row : kFailures) {
    SCOPED_TRACE(row.name);
    Harness h;
    std::vector<std::string> good = GoodReplies();
    for (int i = 0; i < row.replies_before; ++i) h.Reply(good[i]);
    const std::size_t sent_before = h.sent.size();
    if (row.bad_reply) h.Reply(row.bad_reply);
    else h.Run(h.session.OnError(row.event_phase, row.event_code));
    if (row.bad_reply) {
      ASSERT_EQ(h.errors.size(), 1u);
      EXPECT_EQ(h.errors[0], std::make_pair(row.phase, row.code));
    }
    EXPECT_TRUE(h.data.Has(kCheckError));
    if (row.quit) {
      ASSERT_EQ(h.sent.size(), sent_before + 1);
      EXPECT_EQ(h.sent.back(), "QUIT\r\n");
      EXPECT_EQ(h.account_done, 0) << "waits for the reply to QUIT";
      h.Reply("+OK bye\r\n");
    } else {
      EXPECT_EQ(h.sent.size(), sent_before);
    }
    EXPECT_EQ(h.account_done, 1);
    EXPECT_EQ(h.MailFile(), row.entry);
    // Only STAT sets the server mail count.
    EXPECT_EQ(h.data.server_mail_count[0], row.replies_before >= 4 ? 2 : 7);
    EXPECT_EQ(h.session.state(), SessionState::kIdle);
  }
}

TEST(Pop3Session, ConnectErrorsDependOnTheState) {
  struct Case { int replies_before; std::pair<int, int> posted; };
  for (const Case& c : {Case{0, {1, 6}}, Case{2, {3, 3}}, Case{3, {3, 1}}, Case{5, {3, 1}}}) {
    Harness h;
    std::vector<std::string> good = GoodReplies();
    for (int i = 0; i < c.replies_before; ++i) h.Reply(good[i]);
    SessionActions a = h.session.OnConnectError();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0], SessionAction(Kind::kPostError, "", c.posted.first, c.posted.second));
  }
}

TEST(Pop3Session, ErrorEntriesAreShiftJis) {
  EXPECT_EQ(ErrorEntry(1, 1), "*ERR\r\n\x90\xda\x91\xb1\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc"
                              "\x82\xb5\x82\xbd\x81\x42\r\n.\r\n");
  EXPECT_EQ(ErrorEntry(3, 5),
            "*ERR\r\nサーバーより応答がないため、タイムアウトしました。(3,5)\r\n.\r\n");
  EXPECT_EQ(ErrorEntry(3, 2), "*ERR\r\n接続中にエラーが発生しました。(3,2)\r\n.\r\n");
}

// A password that could not be read from Account.dat: the driver reports the
// error without connecting; should a greeting come all the same, no login
// goes out. Either way the entry asks for the password.
TEST(Pop3Session, AnUnreadablePasswordEndsWithItsEntryAndNoLogin) {
  const std::string entry =
      "*ERR\r\nパスワードを読み取れないため、接続を中止しました。設定のアカウントでパスワードを入力し直してください。(5,1)"
      "\r\n.\r\n";
  EXPECT_EQ(ErrorEntry(kAccountErrorPhase, kPasswordUnreadableCode), entry);
  for (bool greeting_first : {false, true}) {
    SCOPED_TRACE(greeting_first);
    Harness h;
    h.account.password = "";
    h.account.password_unreadable = true;
    h.session.Start(h.account, h.data, 0);
    if (greeting_first) h.Reply("+OK hi\r\n");
    else h.Run(h.session.OnError(kAccountErrorPhase, kPasswordUnreadableCode));
    EXPECT_TRUE(h.sent.empty());
    EXPECT_EQ(h.account_done, 1);
    EXPECT_EQ(h.MailFile(), entry);
    EXPECT_TRUE(h.data.Has(kCheckError));
  }
}

TEST(Pop3Session, WatchdogGivesUpAfterTimeoutTicksWithoutSocketEvents) {
  struct Case { int timeout; int ticks_to_fire; int timeout_after; };
  for (const Case& c : {Case{3, 3, 3}, Case{0, 5, 5}, Case{-2, 5, 5}, Case{1, 1, 1}}) {
    SCOPED_TRACE(c.timeout);
    Harness h;
    h.data.timeout = c.timeout;
    h.LogIn(2);  // then silence
    h.Run(h.session.OnWatchdogTick());
    h.session.OnSocketEvent();  // resets the count
    for (int i = 1; i < c.ticks_to_fire; ++i) {
      h.Run(h.session.OnWatchdogTick());
      ASSERT_TRUE(h.errors.empty()) << "tick " << i;
    }
    h.Run(h.session.OnWatchdogTick());
    ASSERT_EQ(h.errors, (std::vector<std::pair<int, int>>{{3, 5}}));
    EXPECT_EQ(h.data.timeout, c.timeout_after);
    EXPECT_EQ(h.MailFile(), "*ERR\r\nサーバーより応答がないため、タイムアウトしました。(3,5)\r\n.\r\n");
    EXPECT_EQ(h.account_done, 1);
  }
}

TEST(Pop3Session, ApopTimestampRule) {
  struct Case { const char* greeting; const char* stamp; };
  const Case cases[] = {
      {"+OK ready <1896.697170952@dbc.mtview.ca.us>\r\n", "<1896.697170952@dbc.mtview.ca.us>"},
      {"+OK <a@b> trailing words\r\n", "<a@b> trailing words"},
      {"+OK x <a> <b>\r\n", "<a> <b>"},
      {"+OK no stamp here\r\n", ""},
      {"+OK <a@b>", ""},                       // no line break: empty
      {"+OK <a@b>\r\nmore", "<a@b>\r\nmo"},   // last two characters dropped, whatever they are
      {"<\r\n", "<"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.greeting);
    EXPECT_EQ(ApopTimestamp(c.greeting), c.stamp);
    Harness h(0, /*apop=*/true);
    h.Reply(c.greeting);
    ASSERT_EQ(h.sent.size(), 1u);
    EXPECT_EQ(h.sent[0], "APOP user " + Md5(std::string(c.stamp) + "secret") + "\r\n");
    EXPECT_EQ(h.session.state(), SessionState::kAwaitLogin);
  }
}

TEST(Pop3Session, StatCountReadLikeScanf) {
  struct Case { const char* reply; int count; };
  const Case cases[] = {
      {"+OK 3 1200\r\n", 3}, {"+OK\t4\t9\r\n", 4}, {"+OK\r\n", 0},     {"+OK abc 1\r\n", 0},
      {"+OK -2 5\r\n", 0},   {"+OK +5 1\r\n", 5},  {"  +OK 6\r\n", 6},  {"+OK 12abc\r\n", 12},
      {"+OK 99999999999 1\r\n", INT_MAX},        {"", 0},             {"+OK\r\n7 1\r\n", 7},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseStatCount(c.reply), c.count) << c.reply;
}

TEST(Pop3Session, MailsDifferingOnlyInStatusShareTheHashButStayNew) {
  Harness h(kNewMessage);
  const std::string read = "From: a@example.com\r\nStatus: RO\r\nSubject: one\r\n";
  h.store.files[MailPath()] = "+OK 1 120\r\n" + Top(read);
  h.LogIn(1);
  h.Reply("+OK 1 120\r\n");
  h.Reply(Top(kHead1));
  h.Reply("+OK\r\n");
  EXPECT_EQ(h.HashFile(), Md5(kHead1 + "\r\n.\r\n") + "\n");
  std::string text;
  ASSERT_TRUE(HeaderHashText("+OK 1 120\r\n" + Top(read), text));
  EXPECT_EQ(Md5(text), Md5(kHead1 + "\r\n.\r\n"));
  EXPECT_EQ(h.data.new_count, 1);
  EXPECT_EQ(h.data.seen_count, 0);
}

TEST(Pop3Session, NewMessageCountsMailsOfThePreviousFileAsSeenReadingItOnce) {
  Harness h(kNewMessage);
  const std::string head3 = "From: c@example.com\r\nSubject: three\r\n";
  // Mail 1 was there before under another number; mail 3 only as a prefix.
  h.store.files[MailPath()] = "+OK 4 120\r\n" + Top(kHead1) + "+OK 5 10\r\n+OK\r\n" + head3;
  h.data.new_count = 10;  // from an earlier account
  h.LogIn(3);
  for (const std::string& head : {kHead1, kHead2, head3}) {
    h.Reply("+OK 1 120\r\n");
    h.Reply(Top(head));
  }
  h.Reply("+OK\r\n");
  EXPECT_EQ(h.data.new_count, 12);
  EXPECT_EQ(h.data.seen_count, 1);
  EXPECT_EQ(h.data.server_mail_count[0], 2);
  EXPECT_EQ(h.store.ReadsOf(MailPath()), 1);
}

TEST(Pop3Session, TopRepliesSplitAnywhereAreJoined) {
  const std::string top = Top(kHead1);
  const std::size_t end = top.size();
  struct Case { const char* name; std::vector<std::size_t> cuts; };
  const Case cases[] = {
      {"one chunk", {}},
      {"terminator cut after CR LF", {end - 3}},
      {"terminator cut after the dot", {end - 2}},
      {"terminator cut after its first CR", {end - 4}},
      {"status line alone", {5}},
      {"a byte at a time", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::size_t> cuts = c.cuts;
    if (std::string(c.name) == "a byte at a time")
      for (std::size_t i = 1; i < end; ++i) cuts.push_back(i);
    Harness h;
    h.LogIn(1);
    h.Reply("+OK 1 120\r\n");
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
      h.Reply(top.substr(from, cut - from));
      EXPECT_EQ(h.session.state(), SessionState::kAwaitTop);
      from = cut;
    }
    h.Reply(top.substr(from));
    EXPECT_EQ(h.sent.back(), "QUIT\r\n");
    h.Reply("+OK\r\n");
    EXPECT_EQ(h.MailFile(), "+OK 1 120\r\n" + top);
  }
}

TEST(Pop3Session, SplitListReplyIsNotJoined) {
  Harness h;
  h.LogIn(1);
  h.Reply("+OK 1 ");
  EXPECT_EQ(h.sent.back(), "TOP 1 0\r\n");
  h.Reply("120\r\n");  // taken as the start of the TOP reply
  h.Reply(Top(kHead1));
  h.Reply("+OK\r\n");
  EXPECT_EQ(h.MailFile(), "+OK 1 120\r\n" + Top(kHead1));
  EXPECT_EQ(h.HashFile(), Md5(kHead1 + "\r\n.\r\n") + "\n");
}

TEST(Pop3Session, ChunkOfExactly8192BytesIsTakenWhole) {
  std::string head = "From: a@example.com\r\nSubject: big\r\n";
  const std::size_t filler = kMaxChunk - Top(head).size() - 10;
  head += "X-Fill: " + std::string(filler, 'x') + "\r\n";
  head[40] = '\0';  // a zero byte does not cut the chunk
  const std::string top = Top(head);
  ASSERT_EQ(top.size(), kMaxChunk);
  Harness h;
  h.LogIn(1);
  h.Reply("+OK 1 8192\r\n");
  h.Reply(top);
  h.Reply("+OK\r\n");
  EXPECT_EQ(h.MailFile(), "+OK 1 8192\r\n" + top);
  EXPECT_EQ(h.account_done, 1);
}

TEST(Pop3Session, StrayTextAndContinuesDoNotSkipSteps) {
  Harness h;
  h.LogIn(2);
  h.Reply("+OK 1 120\r\n");
  // The TOP reply completes; before its continue is delivered the server
  // sends more text, which must not run the internal steps.
  SessionActions a = h.session.OnReceive(Top(kHead1));
  EXPECT_TRUE(h.session.OnReceive("+OK junk\r\n").empty());
  EXPECT_EQ(h.session.state(), SessionState::kMessageFetched);
  h.Run(a);
  EXPECT_EQ(h.sent.back(), "LIST 2\r\n");
  // A continue while waiting for the server is not a reply.
  EXPECT_TRUE(h.session.OnContinue().empty());
  EXPECT_EQ(h.session.state(), SessionState::kAwaitList);
  h.Reply("+OK 2 130\r\n");
  h.Reply(Top(kHead2));
  h.Reply("+OK\r\n");
  // After the end a late continue or error changes nothing.
  EXPECT_TRUE(h.session.OnContinue().empty());
  EXPECT_TRUE(h.session.OnError(3, 1).empty());
  EXPECT_EQ(h.account_done, 1);
  EXPECT_EQ(h.store.WritesOf(MailPath()), 1);
  EXPECT_EQ(h.MailFile(), "+OK 1 120\r\n" + Top(kHead1) + "+OK 2 130\r\n" + Top(kHead2));
}

TEST(Pop3Session, SecondErrorKeepsTheFirstEntryAndEndsOnce) {
  Harness h;
  h.Reply("+OK hi\r\n");
  h.Reply("-ERR who\r\n");  // (2,2): QUIT sent, waiting for its reply
  h.Run(h.session.OnError(3, 1));  // the server hangs up instead
  EXPECT_EQ(h.account_done, 1);
  EXPECT_EQ(h.MailFile(), "*ERR\r\n認証に失敗しました。\r\n.\r\n");
  EXPECT_EQ(h.store.WritesOf(MailPath()), 1);
}

TEST(Pop3Session, AbortWritesNothing) {
  Harness h;
  h.LogIn(2);
  h.Reply("+OK 1 120\r\n");
  SessionActions pending = h.session.OnReceive(Top(kHead1));
  h.session.Abort();
  h.Run(pending);  // the continue still in the queue
  EXPECT_TRUE(h.store.writes.empty());
  EXPECT_EQ(h.account_done, 0);
  EXPECT_FALSE(h.session.active());
}

TEST(Pop3Session, WithoutDigestNoAccountFileIsWritten) {
  MemoryStore store;
  EngineData data;
  data.data_folder = kFolder;
  data.ResetAccounts(1);
  Pop3Session s([](std::string_view) { return std::string(); }, store);
  s.Start(SessionAccount{"u", "p", "name", "h", 110, false}, data, 0);
  for (const char* r : {"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK 0 0\r\n", "+OK\r\n"}) s.OnReceive(r);
  EXPECT_EQ(store.writes, (std::vector<std::string>{HashPath()}));
}

}  // namespace
}  // namespace tidewell

namespace tidewell {
namespace {

const char kTooLarge[] = "*ERR\r\nサーバーの応答が大きすぎるため、中断しました。(3,7)\r\n.\r\n";

// A server that never ends its reply: the message buffer never holds more than
// kMaxReply, the account ends with the too-large entry, and nothing the server
// sends afterwards changes it.
TEST(Pop3SessionHostile, EndlessRepliesStopAtTheCap) {
  struct Case { const char* name; const char* list_reply; };
  const Case cases[] = {
      {"header without terminator", "+OK 1 120\r\n"},
      {"LIST reply without line end", "+OK 1 "},
  };
  const std::string chunk(kMaxChunk, 'x');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.LogIn(2);
    h.Reply(c.list_reply);
    h.Reply("+OK\r\nX-Endless: ");
    std::size_t fed = 0;
    while (h.account_done == 0 && fed < 4 * kMaxReply) {
      h.Reply(chunk);
      fed += chunk.size();
      ASSERT_LE(h.session.message_buffer().size(), kMaxReply);
    }
    EXPECT_GT(fed, kMaxReply - 2 * kMaxChunk);
    EXPECT_LE(fed, kMaxReply + kMaxChunk);
    EXPECT_EQ(h.account_done, 1);
    EXPECT_EQ(h.MailFile(), kTooLarge);
    EXPECT_TRUE(h.data.Has(kCheckError));
    EXPECT_EQ(h.session.message_buffer().capacity() < kMaxChunk, true) << "memory given back";
    h.Reply(chunk);  // still arriving after the end
    EXPECT_EQ(h.account_done, 1);
    EXPECT_EQ(h.store.WritesOf(MailPath()), 1);
  }
}

TEST(Pop3SessionHostile, ReplyJustUnderTheCapIsKept) {
  Harness h;
  h.LogIn(1);
  const std::string list = "+OK 1 999\r\n";
  const std::string head = "X-Big: " + std::string(kMaxReply - list.size() - 7 - 2 - 10, 'y') + "\r\n";
  const std::string top = Top(head);
  ASSERT_EQ(list.size() + top.size(), kMaxReply);
  h.Reply(list);
  for (std::size_t at = 0; at < top.size(); at += kMaxChunk) h.Reply(top.substr(at, kMaxChunk));
  EXPECT_EQ(h.sent.back(), "QUIT\r\n");
  h.Reply("+OK\r\n");
  EXPECT_EQ(h.MailFile(), list + top);
  EXPECT_FALSE(h.data.Has(kCheckError));
}

// Plays a server that answers every command line the session sends with
// `answer`, in chunks of at most kMaxChunk, until the account is done or
// `limit` bytes went out. Returns the bytes sent. `watch` runs after every
// chunk.
template <typename Answer, typename Watch>
std::size_t Serve(Harness& h, Answer answer, std::size_t limit, Watch watch) {
  std::size_t answered = 0, fed = 0;
  std::string pending;
  while (h.account_done == 0 && fed < limit) {
    for (; answered < h.sent.size(); ++answered) {
      const std::string& batch = h.sent[answered];
      for (std::size_t from = 0, e; (e = batch.find("\r\n", from)) != std::string::npos; from = e + 2)
        pending += answer(batch.substr(from, e - from));
    }
    if (pending.empty()) break;
    const std::string chunk = pending.substr(0, kMaxChunk);
    pending.erase(0, chunk.size());
    h.Reply(chunk);
    fed += chunk.size();
    watch();
  }
  return fed;
}

// After an account ended at a cap the same session checks the next account
// (in a new check, when the cap was that of the whole check's hash list).
void NextAccountIsChecked(Harness& h, bool new_check = false) {
  if (new_check) h.data.hash_list.clear();
  h.sent.clear();
  h.errors.clear();
  h.account_done = 0;
  h.data.Clear(kCheckError);
  h.session.Start(SessionAccount{"user2", "pw", "Account B", "pop.example", 110, false}, h.data, 1);
  h.Reply("+OK ready\r\n");
  h.Reply("+OK\r\n");
  h.Reply("+OK logged in\r\n");
  if (h.data.Has(kFastCheck)) h.Reply("-ERR no CAPA\r\n");  // then the one-by-one sequence
  h.Reply("+OK 1 999\r\n");
  h.Reply("+OK 1 120\r\n");
  h.Reply(Top(kHead2));
  h.Reply("+OK bye\r\n");
  EXPECT_EQ(h.account_done, 1);
  EXPECT_FALSE(h.data.Has(kCheckError));
  EXPECT_EQ(h.store.files[std::string(kFolder) + "\\Mail\\" + Md5("Account B")], "+OK 1 120\r\n" + Top(kHead2));
}

// A server that claims millions of mails and sends a UIDL listing to match:
// the listing is kept up to its cap only, and the account ends with the
// too-large entry; a complete listing that names more mails than the cap
// ends it too, before anything is reserved for them.
TEST(Pop3SessionHostile, UidlFloodStopsAtTheListingCap) {
  struct Case { const char* name; int claimed; bool ends_listing; };
  const Case cases[] = {
      {"4.5 million ids without end", 4500000, false},
      {"a whole listing of more mails than the cap", kMaxListedMails + 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h(kFastCheck | kNewMessage);
    h.Reply("+OK ready\r\n");
    h.Reply("+OK\r\n");
    h.Reply("+OK logged in\r\n");
    ASSERT_EQ(h.sent.back(), "CAPA\r\n");
    h.Reply("+OK\r\nUIDL\r\nPIPELINING\r\n.\r\n");
    ASSERT_EQ(h.sent.back(), "STAT\r\nUIDL\r\nLIST\r\n");
    std::string listing = "+OK " + std::to_string(c.claimed) + " 999999999\r\n+OK\r\n";
    std::size_t fed = 0, most = 0;
    for (int n = 1; h.account_done == 0 && fed < 4 * kMaxListing; ++n) {
      listing += std::to_string(n) + " 0123456789abcdef" + std::to_string(n) + "\r\n";
      const bool last = c.ends_listing && n == c.claimed;
      if (last) listing += ".\r\n";
      if (listing.size() >= kMaxChunk || last) {
        h.Reply(listing);
        fed += listing.size();
        listing.clear();
        most = std::max(most, h.session.buffered());
      }
      if (last) break;
    }
    EXPECT_EQ(h.account_done, 1);
    EXPECT_LE(most, kMaxListing + kMaxChunk);
    if (!c.ends_listing) EXPECT_LE(fed, kMaxListing + 2 * kMaxChunk);
    EXPECT_EQ(h.MailFile(), kTooLarge);
    EXPECT_TRUE(h.data.Has(kCheckError));
    EXPECT_EQ(h.session.buffered(), 0u);
    NextAccountIsChecked(h);
  }
}

// STAT 2147483647 and then small replies without end: the session text stops
// at its cap, one by one and fast alike, and so does the hash list.
TEST(Pop3SessionHostile, StatFloodStopsAtTheSessionTextCap) {
  struct Case { const char* name; std::uint32_t flags; SessionLimits limits; std::size_t header; };
  SessionLimits small;
  small.session_text = 64 * 1024;
  SessionLimits few_hashes;
  few_hashes.hash_list = 33 * 40;
  const Case cases[] = {
      {"one by one, the real cap, 8 KiB headers", 0, SessionLimits{}, 8000},
      {"fast, the real cap, 8 KiB headers", kFastCheck, SessionLimits{}, 8000},
      {"one by one, tiny replies", 0, small, 0},
      {"fast, tiny replies", kFastCheck, small, 0},
      {"fast, the hash list full", kFastCheck, few_hashes, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h(c.flags | kNewMessage);
    h.session.set_limits(c.limits);
    const std::string head = "X: " + std::string(c.header, 'h') + "\r\n";
    auto answer = [&](const std::string& line) -> std::string {
      if (line == "CAPA") return "+OK\r\nPIPELINING\r\n.\r\n";  // no UIDL
      if (line == "STAT") return "+OK 2147483647 1\r\n";
      if (line.rfind("LIST ", 0) == 0) return "+OK " + line.substr(5) + " 1\r\n";
      if (line.rfind("TOP ", 0) == 0) return Top(head);
      return "+OK\r\n";
    };
    h.Reply("+OK ready\r\n");
    std::size_t most = 0;
    const std::size_t fed = Serve(h, answer, 4 * kMaxSessionText, [&] {
      most = std::max(most, h.session.session_text().size());
      ASSERT_LE(h.data.hash_list.size(), c.limits.hash_list);
    });
    EXPECT_EQ(h.account_done, 1);
    EXPECT_LE(most, c.limits.session_text);
    EXPECT_LE(fed, c.limits.session_text + 2 * kMaxReply);
    EXPECT_EQ(h.MailFile(), kTooLarge);
    const bool hashes_full = c.limits.hash_list < kMaxHashList;
    if (hashes_full) EXPECT_EQ(h.data.hash_list.size(), 33u * 40);
    NextAccountIsChecked(h, hashes_full);
  }
}

// A server that trickles (a byte a minute, each a socket event, so the
// watchdog's tick never comes due) is stopped by the overall deadline:
// kDeadlineFactor times the time-out, in ticks of its own timer.
TEST(Pop3SessionHostile, TrickleEndsAtTheOverallDeadline) {
  struct Case { int timeout; int ticks; };
  for (const Case& c : {Case{1, kDeadlineFactor}, Case{5, 5 * kDeadlineFactor}, Case{0, 5 * kDeadlineFactor}}) {
    SCOPED_TRACE(c.timeout);
    Harness h(kFastCheck);
    h.data.timeout = c.timeout;
    h.Reply("+OK ready\r\n");
    h.Reply("+OK\r\n");
    h.Reply("+OK logged in\r\n");
    for (int minute = 1; minute <= c.ticks; ++minute) {
      ASSERT_TRUE(h.errors.empty()) << "minute " << minute;
      h.session.OnSocketEvent();
      h.Reply(minute == 1 ? "+" : "x");  // a reply to CAPA that never ends
      h.Run(h.session.OnDeadlineTick());
    }
    EXPECT_EQ(h.errors, (std::vector<std::pair<int, int>>{{3, 5}}));
    EXPECT_EQ(h.account_done, 1);
    EXPECT_EQ(h.MailFile(), "*ERR\r\nサーバーより応答がないため、タイムアウトしました。(3,5)\r\n.\r\n");
    EXPECT_EQ(h.session.OnDeadlineTick(), (SessionActions{SessionAction::Kind::kKillWatchdog})) << "idle";
  }
}

// Once every mail is fetched and QUIT sent, the way the server lets go does
// not matter: the account mail file holds the mails, no error is set.
TEST(Pop3SessionHostile, AfterQuitTheFetchedResultIsKept) {
  enum class End { kReply, kHangUp, kRecvError, kWatchdog };
  struct Case { const char* name; std::uint32_t flags; End end; };
  const Case cases[] = {
      {"QUIT answered", 0, End::kReply},
      {"server closes without answering", 0, End::kHangUp},
      {"receive fails", 0, End::kRecvError},
      {"watchdog fires", 0, End::kWatchdog},
      {"MsgCheck, server closes", kMsgCheck, End::kHangUp},
      {"MsgCheck, watchdog fires", kMsgCheck, End::kWatchdog},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h(c.flags);
    h.data.timeout = 2;
    h.LogIn(1);
    std::string expected;
    if (!(c.flags & kMsgCheck)) {
      h.Reply("+OK 1 120\r\n");
      h.Reply(Top(kHead1));
      expected = "+OK 1 120\r\n" + Top(kHead1);
    }
    ASSERT_EQ(h.sent.back(), "QUIT\r\n");
    switch (c.end) {
      case End::kReply: h.Reply("+OK bye\r\n"); break;
      case End::kHangUp: h.Run(h.session.OnClosed()); break;
      case End::kRecvError: h.Run(h.session.OnError(3, 1)); break;
      case End::kWatchdog:
        h.Run(h.session.OnWatchdogTick());
        h.Run(h.session.OnWatchdogTick());
        break;
    }
    EXPECT_EQ(h.account_done, 1);
    EXPECT_EQ(h.MailFile(), expected);
    EXPECT_EQ(h.HashFile(), c.flags & kMsgCheck ? "" : Md5(kHead1 + "\r\n.\r\n") + "\n");
    EXPECT_FALSE(h.data.Has(kCheckError));
    EXPECT_EQ(h.store.WritesOf(MailPath()), 1);
  }
}

// A hang-up anywhere else is the receive error (3,1); while waiting for the
// reply to the QUIT sent after a refusal it just ends with the refusal.
TEST(Pop3SessionHostile, HangUpIsAReceiveErrorBeforeQuit) {
  std::vector<std::string> good = GoodReplies();
  for (int before = 0; before <= 6; ++before) {
    SCOPED_TRACE(before);
    Harness h;
    for (int i = 0; i < before; ++i) h.Reply(good[i]);
    h.Run(h.session.OnClosed());
    EXPECT_EQ(h.errors, (std::vector<std::pair<int, int>>{{3, 1}}));
    EXPECT_EQ(h.account_done, 1);
    EXPECT_EQ(h.MailFile(), "*ERR\r\n接続中にエラーが発生しました。(3,1)\r\n.\r\n");
  }
  Harness h;
  h.Reply("+OK hi\r\n");
  h.Reply("-ERR who\r\n");  // (2,2), QUIT sent
  h.Run(h.session.OnClosed());
  EXPECT_EQ(h.account_done, 1);
  EXPECT_EQ(h.MailFile(), "*ERR\r\n認証に失敗しました。\r\n.\r\n");
  EXPECT_TRUE(h.session.OnClosed().empty()) << "idle";
}

}  // namespace
}  // namespace tidewell
