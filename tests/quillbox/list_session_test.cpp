// The list library's POP3 session against an in-memory server: the view
// fetch into the cache file, the delete run (recognising each mail by UIDL or
// header before DELE), every error code and the bounded buffers.
#include "quillbox/list_session.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core_list_codec.h"
#include "fake_pop3.h"
#include "inkwell2/codec.h"
#include "quillbox/delete_run.h"

namespace tidewell {
namespace {

using testing::CoreListCodec;
using testing::FakeMail;
using testing::FakePop3;
using testing::Mail;

class MemoryCache : public CacheWriter {
 public:
  bool Begin(const std::string& path) override {
    if (fail_begin) return false;
    ++begun;
    path_ = path;
    pending_.clear();
    open_ = true;
    return true;
  }
  bool Append(std::string_view bytes) override {
    pending_.append(bytes);
    return true;
  }
  bool Commit() override {
    files[path_] = pending_;
    open_ = false;
    return true;
  }
  void Discard() override {
    open_ = false;
    ++discarded;
  }
  bool open() const { return open_; }
  std::map<std::string, std::string> files;
  bool fail_begin = false;
  int discarded = 0;
  int begun = 0;

 private:
  std::string path_, pending_;
  bool open_ = false;
};

// Account mail files and the day file in memory.
class MemoryFiles : public DeleteFiles {
 public:
  bool Read(const std::string& path, std::string& out) override {
    if (!files.count(path)) return false;
    out = files[path];
    return true;
  }
  bool Write(const std::string& path, std::string_view bytes) override {
    files[path] = std::string(bytes);
    return true;
  }
  Appended Append(const std::string& path, std::string_view bytes) override {
    files[path] += std::string(bytes);
    return Appended::kDone;
  }
  std::map<std::string, std::string> files;
};

// Runs sessions the way the list window's messages would: one queue holds
// what the socket delivers and what the session posts to itself. At the end
// of a delete run the finishing step runs on the account files as they were
// when the rows were built.
class Harness {
 public:
  Harness() : session(codec, cache) {}

  ListLogin Login(const std::string& password = "secret", bool apop = false) {
    ListLogin l;
    l.user = "taro";
    l.password = password;
    l.server = "127.0.0.1";
    l.apop = apop;
    return l;
  }

  // Rows of the list for an account, as the list builds them from the file
  // the tray program wrote.
  std::vector<MailRow> Rows(const std::string& account) {
    const std::string file = servers[account].AccountFile();
    disk.files[AccountMailPath(codec, "data", account)] = file;
    std::vector<MailRow> rows = BuildAccountRows(codec, file, account, static_cast<int>(next_item_));
    next_item_ += rows.size();
    return rows;
  }

  // Rows of several accounts in account order (item data over all of them).
  std::vector<MailRow> AllRows(const std::vector<std::string>& accounts) {
    std::vector<MailRow> all;
    for (const std::string& account : accounts)
      for (MailRow& row : Rows(account)) all.push_back(std::move(row));
    return all;
  }

  // Subjects the list shows for an account after the run.
  std::vector<std::string> Listed(const std::string& account) {
    std::vector<std::string> subjects;
    for (const MailRow& row : BuildAccountRows(codec, disk.files[AccountMailPath(codec, "data", account)], account, 0))
      subjects.push_back(row.columns[kColSubject]);
    return subjects;
  }
  std::string DayFile() { return disk.files[DeletedHeaderFilePath("data", "20261207")]; }

  void Connect(const std::string& account) {
    // The driver's check before connecting: no connection, the error posted.
    int phase = 0, detail = 0;
    if (ListStartFailure(LoginOf(account), phase, detail)) {
      current_ = &servers[account];
      current_name_ = account;
      closed_ = true;
      Push(Event{Event::kError, {}, phase, detail});
      return;
    }
    ++connections;
    current_ = &servers[account];
    current_name_ = account;
    closed_ = false;
    current_tls_ = tls_failure.count(account) ? tls_failure[account] : 0;
    // TLS on connect: the driver's handshake comes before any server text.
    if (LoginOf(account).tls == ListTls::kOnConnect && !greeting_before_handshake) Handshake();
    Push(Event{Event::kData, current_->greeting});
  }

  ListLogin LoginOf(const std::string& account) { return logins.count(account) ? logins[account] : Login(); }

  // The driver's TLS handshake: it succeeds (OnSecured) or fails with the
  // detail set for the account. "<TLS>" in `sent` marks where it ran.
  void Handshake() {
    sent.push_back("<TLS>");
    if (current_tls_ != 0) Push(Event{Event::kError, {}, kListTlsPhase, current_tls_});
    else Push(Event{Event::kSecured, {}});
  }

  void Dispatch(const ListActions& actions) {
    for (const ListAction& a : actions) {
      switch (a.kind) {
        case ListAction::Kind::kSend:
          sent.push_back(a.text);
          if (!closed_ && current_name_ == cut_account && a.text.rfind(cut_verb, 0) == 0) {
            // The connection ends before the server saw the command.
            closed_ = true;
            if (cut_by_user) {
              Dispatch(session.Disconnect());
              Push(Event{Event::kNextAccount, {}});
            } else {
              Push(Event{Event::kError, {}, 3, 9});
            }
            break;
          }
          if (!closed_)
            for (const std::string& part : current_->Handle(a.text)) Push(Event{Event::kData, part});
          break;
        case ListAction::Kind::kPostContinue: Push(Event{Event::kContinue, {}}); break;
        case ListAction::Kind::kPostError: Push(Event{Event::kError, {}, a.phase, a.detail}); break;
        case ListAction::Kind::kCloseConnection: closed_ = true; break;
        case ListAction::Kind::kAccountDone:
          results[a.text] = a.phase;
          Push(Event{Event::kNextAccount, {}});
          break;
        case ListAction::Kind::kViewError: view_errors.push_back(a.text); break;
        case ListAction::Kind::kViewDone: ++view_done; break;
        case ListAction::Kind::kStartTls: Handshake(); break;
        case ListAction::Kind::kRefreshToken:
          ++refreshes;
          Push(Event{Event::kRefresh, {}});
          break;
      }
    }
  }

  void Pump() {
    while (!queue_.empty()) {
      Event e = queue_.front();
      queue_.pop_front();
      switch (e.kind) {
        case Event::kData:
          if (!closed_) Dispatch(session.OnReceive(e.text));
          break;
        case Event::kContinue: Dispatch(session.OnContinue()); break;
        case Event::kError: Dispatch(session.OnError(e.phase, e.detail)); break;
        case Event::kNextAccount: NextAccount(); break;
        case Event::kSecured: Dispatch(session.OnSecured()); break;
        case Event::kRefresh: {
          if (token_answers.empty()) break;  // the refresh is still under way
          const auto [token, failure] = token_answers.front();
          token_answers.pop_front();
          Dispatch(token.empty() ? session.OnTokenFailure(failure) : session.OnToken(token));
          break;
        }
      }
    }
  }

  void NextAccount() {
    std::string account;
    if (!session.NextAccount(account)) {
      finished = true;
      Finish();
      session.EndRun();
      return;
    }
    session.BeginAccount(LoginOf(account));
    Connect(account);
  }

  // The finishing step over the rows left in the run.
  void Finish() {
    std::vector<MailRow> done(session.rows().begin(),
                              session.rows().begin() + static_cast<std::ptrdiff_t>(session.row_count()));
    std::vector<AccountResult> table;
    for (const auto& [name, server] : servers) table.push_back(AccountResult{name, results[name]});
    FinishDeleteRun(codec, disk, "data", done, table, true, "20261207");
  }

  void RunDelete(std::vector<MailRow> rows, bool full_search = true) {
    ASSERT_TRUE(session.StartDeleteRun(std::move(rows), full_search));
    NextAccount();
    Pump();
  }

  void View(const MailRow& row, int lines, const std::string& account) {
    ASSERT_TRUE(session.StartView(row, LoginOf(account), "cache", lines));
    Connect(account);
    Pump();
  }

  CoreListCodec codec;
  MemoryCache cache;
  ListSession session;
  std::map<std::string, FakePop3> servers;
  std::map<std::string, ListLogin> logins;
  std::map<std::string, int> results;
  std::map<std::string, int> tls_failure;  // account -> TLS detail its handshake fails with
  bool greeting_before_handshake = false;  // a TLS-on-connect server that talks in clear
  // The connection of cut_account ends when the session sends a command
  // starting with cut_verb: the server drops it, or the user disconnects.
  std::string cut_account, cut_verb;
  bool cut_by_user = false;
  MemoryFiles disk;
  std::vector<std::string> sent, view_errors;
  int view_done = 0;
  int connections = 0;
  // What each token request gives: a fresh token, or "" and the failure.
  std::deque<std::pair<std::string, int>> token_answers;
  int refreshes = 0;
  bool finished = false;

 private:
  struct Event {
    enum Kind { kData, kContinue, kError, kNextAccount, kSecured, kRefresh } kind;
    std::string text;
    int phase = 0, detail = 0;
  };
  void Push(Event e) { queue_.push_back(std::move(e)); }
  std::deque<Event> queue_;
  FakePop3* current_ = nullptr;
  std::string current_name_;
  int current_tls_ = 0;
  bool closed_ = false;
  std::size_t next_item_ = 0;
};

std::vector<FakeMail> FiveMails(const std::string& tag, bool with_uidl = false) {
  std::vector<FakeMail> mails;
  for (int i = 1; i <= 5; ++i) {
    const std::string s = tag + std::to_string(i);
    mails.push_back(Mail(s, with_uidl ? "u-" + s : ""));
  }
  return mails;
}

// ---- view session ---------------------------------------------------------------

TEST(ListSessionView, TopReplySplitAnywhereIsWrittenWholeAndOnlyWhenComplete) {
  for (std::size_t chunk : {0u, 1u, 3u, 7u}) {
    Harness h;
    FakePop3& srv = h.servers["会社"];
    srv.mails = FiveMails("m");
    for (int i = 0; i < 30; ++i) srv.mails[1].body += "body line " + std::to_string(i) + "\r\n";
    srv.chunk = chunk;
    const std::vector<MailRow> rows = h.Rows("会社");
    h.View(rows[1], 10, "会社");
    EXPECT_EQ(h.cache.files["cache"], srv.Top(2, 10)) << "chunk " << chunk;
    EXPECT_EQ(h.sent.back(), "QUIT\r\n");
    EXPECT_NE(std::find(h.sent.begin(), h.sent.end(), "TOP 2 10\r\n"), h.sent.end());
    EXPECT_TRUE(h.view_errors.empty());
    EXPECT_EQ(h.view_done, 1);
    EXPECT_EQ(h.session.error_code(), 0);
    EXPECT_FALSE(h.session.busy());
  }
}

TEST(ListSessionView, NegativeLineCountRetrievesTheWholeMessage) {
  Harness h;
  h.servers["a"].mails = FiveMails("m");
  h.View(h.Rows("a")[0], -1, "a");
  EXPECT_EQ(h.sent[2], "RETR 1\r\n");
  EXPECT_EQ(h.cache.files["cache"], h.servers["a"].Top(1, 1 << 20));
}

TEST(ListSessionView, LongRetrievalKeepsOnlyASmallWindowInMemory) {
  Harness h;
  FakePop3& srv = h.servers["a"];
  srv.mails = {Mail("big")};
  for (int i = 0; i < 30000; ++i) srv.mails[0].body += "0123456789\r\n";
  srv.chunk = kListChunk;
  h.View(h.Rows("a")[0], -1, "a");
  EXPECT_EQ(h.cache.files["cache"].size(), srv.Top(1, 1 << 20).size());
  EXPECT_EQ(h.view_done, 1);
}

struct ViewFailure {
  const char* name;
  std::string verb;     // command whose reply is replaced ("" = greeting)
  std::string reply;
  int code;
  const char* text;
};

TEST(ListSessionView, EveryFailureIsShownWithItsCodeAndNothingIsCached) {
  const std::vector<ViewFailure> cases = {
      {"negative greeting", "", "-ERR busy\r\n", 71, "a:接続に失敗しました。(71)\n"},
      {"USER refused", "USER", "-ERR\r\n", 22, "a:認証に失敗しました。(22)\n"},
      {"PASS refused", "PASS", "-ERR\r\n", 25, "a:認証に失敗しました。(25)\n"},
      {"TOP refused", "TOP", "-ERR\r\n", 16, "a:接続中にエラーが発生しました。(16)\n"},
  };
  for (const ViewFailure& c : cases) {
    Harness h;
    FakePop3& srv = h.servers["a"];
    srv.mails = FiveMails("m");
    if (c.verb.empty()) srv.greeting = c.reply;
    else srv.override_reply[c.verb] = c.reply;
    h.View(h.Rows("a")[0], 10, "a");
    EXPECT_EQ(h.session.error_code(), c.code) << c.name;
    ASSERT_EQ(h.view_errors.size(), 1u) << c.name;
    EXPECT_EQ(h.view_errors[0], c.text) << c.name;
    EXPECT_TRUE(h.cache.files.empty()) << c.name;
    EXPECT_EQ(h.view_done, 1) << c.name;
    EXPECT_FALSE(h.session.busy()) << c.name;
  }
}

TEST(ListSessionView, ConnectionErrorsByStateAndBrokenReadsEndAtOnce) {
  ListLogin login;
  login.user = "u";
  struct Case {
    int feeds;  // server chunks before the error
    int phase, detail, code;
  };
  // OnConnectError in Greeting -> (1,6); in UserSent -> (5,1); in RetrieveSent -> (3,1).
  for (const Case& c : std::vector<Case>{{0, 1, 6, 61}, {1, 5, 1, 15}, {3, 3, 1, 13}}) {
    CoreListCodec codec;
    MemoryCache cache;
    ListSession s(codec, cache);
    MailRow row;
    row.columns[kColName] = "a";
    row.columns[kColNumber] = "1";
    ASSERT_TRUE(s.StartView(row, login, "cache", 10));
    const char* replies[] = {"+OK hi\r\n", "+OK\r\n", "+OK\r\n"};
    for (int i = 0; i < c.feeds; ++i) s.OnReceive(replies[i]);
    const ListActions error = s.OnConnectError();
    ASSERT_EQ(error, (ListActions{ListAction{ListAction::Kind::kPostError, {}, c.phase, c.detail}}));
    const ListActions after = s.OnError(c.phase, c.detail);
    EXPECT_EQ(s.error_code(), c.code);
    // Nothing is sent on a broken connection: the session ends through the continue.
    for (const ListAction& a : after) EXPECT_NE(a.kind, ListAction::Kind::kSend) << c.code;
    const ListActions end = s.OnContinue();
    EXPECT_EQ(end.front().kind, ListAction::Kind::kCloseConnection);
    EXPECT_EQ(end.back().kind, ListAction::Kind::kViewDone);
    EXPECT_FALSE(s.busy());
  }
}

TEST(ListSessionView, ReadFailureMidReplyDiscardsThePartialCacheFile) {
  CoreListCodec codec;
  MemoryCache cache;
  ListSession s(codec, cache);
  MailRow row;
  row.columns[kColName] = "a";
  row.columns[kColNumber] = "1";
  row.columns[kColHash] = inkwell2::md5_hex("Subject: half\r\n\r\n.\r\n");
  ASSERT_TRUE(s.StartView(row, ListLogin{}, "cache", 10));
  s.OnReceive("+OK\r\n");
  s.OnReceive("+OK\r\n");
  s.OnReceive("+OK\r\n");
  s.OnReceive("+OK\r\nSubject: half\r\n");
  EXPECT_FALSE(cache.open());  // nothing is written before the header is known to be the row's
  s.OnReceive("\r\nbody li");
  EXPECT_TRUE(cache.open());
  EXPECT_TRUE(s.OnError(3, 9) == ListActions{ListAction::Kind::kPostContinue});
  const ListActions end = s.OnContinue();
  EXPECT_EQ(s.error_code(), 93);
  EXPECT_FALSE(cache.open());
  EXPECT_EQ(cache.discarded, 1);
  EXPECT_TRUE(cache.files.empty());
  EXPECT_EQ(end[1], (ListAction{ListAction::Kind::kViewError, "a:接続中にエラーが発生しました。(93)\n"}));
}

TEST(ListSessionView, CacheFileThatCannotBeCreatedIsAnError) {
  Harness h;
  h.servers["a"].mails = FiveMails("m");
  h.cache.fail_begin = true;
  h.View(h.Rows("a")[0], 10, "a");
  EXPECT_EQ(h.session.error_code(), kCodeCacheWrite);
  EXPECT_EQ(h.sent.back(), "QUIT\r\n");
  ASSERT_EQ(h.view_errors.size(), 1u);
}

TEST(ListSessionView, ApopSignsTheGreetingTimeStamp) {
  Harness h;
  h.servers["a"].mails = FiveMails("m");
  h.logins["a"] = h.Login("tanstaaf", true);
  h.servers["a"].password = "tanstaaf";
  h.View(h.Rows("a")[0], 10, "a");
  // RFC 1939's example digest.
  EXPECT_EQ(h.sent[0], "APOP taro c4c9334bac560ecc979e58001b3e22fb\r\n");
  EXPECT_EQ(h.session.error_code(), 0);
  EXPECT_EQ(h.view_done, 1);
}

TEST(ListSessionView, ApopWithoutTimeStampFailsWithoutSendingADigest) {
  Harness h;
  h.servers["a"].mails = FiveMails("m");
  h.servers["a"].greeting = "+OK no stamp here\r\n";
  h.logins["a"] = h.Login("secret", true);
  h.View(h.Rows("a")[0], 10, "a");
  EXPECT_EQ(h.session.error_code(), kCodeApopNoStamp);
  for (const std::string& s : h.sent) EXPECT_NE(s.substr(0, 4), "APOP");
  EXPECT_EQ(h.view_errors, std::vector<std::string>{"a:認証に失敗しました。(25)\n"});
}

TEST(ListSessionView, RefusedQuitAfterAGoodFetchIsShownAsFailedDisconnect) {
  Harness h;
  h.servers["a"].mails = FiveMails("m");
  h.servers["a"].override_reply["QUIT"] = "-ERR\r\n";
  h.View(h.Rows("a")[0], 10, "a");
  EXPECT_EQ(h.view_errors, std::vector<std::string>{"a:切断に失敗しました。(0)\n"});
  EXPECT_EQ(h.session.error_code(), 0);  // the message is still shown
  EXPECT_EQ(h.cache.files.size(), 1u);
}

// Fault 6: the view fetch takes the row's number only as where to look
// first; what it writes must be the row's mail.
TEST(ListSessionView, CacheFileHoldsTheRowsMailOrNothing) {
  struct Case {
    const char* name;
    std::vector<FakeMail> mails;
    std::vector<int> gone;  // numbers that left the mailbox after the list was built
    int row;
    int lines;
    std::size_t chunk;
    int code;
    int fetched;  // number whose reply is the cache file (0: no file)
  };
  const FakeMail t = Mail("twin");
  const std::vector<Case> cases = {
      {"in place", FiveMails("m"), {}, 2, 10, 0, 0, 3},
      {"renumbered", FiveMails("m"), {1}, 2, 10, 0, 0, 2},
      {"renumbered, whole message in small pieces", FiveMails("m"), {1}, 2, -1, 3, 0, 2},
      {"renumbered, header only", FiveMails("m"), {1}, 2, 0, 0, 0, 2},
      {"own number past the mailbox", FiveMails("m"), {1}, 4, 10, 0, 0, 4},
      {"vanished", FiveMails("m"), {3}, 2, 10, 0, kCodeNotFound, 0},
      {"twins moved", {Mail("x"), t, Mail("y"), t}, {1}, 3, 10, 0, kCodeAmbiguous, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    FakePop3& srv = h.servers["a"];
    srv.mails = c.mails;
    for (FakeMail& m : srv.mails)
      for (int i = 0; i < 20; ++i) m.body += "body " + std::to_string(i) + "\r\n";
    const std::vector<MailRow> rows = h.Rows("a");
    for (auto it = c.gone.rbegin(); it != c.gone.rend(); ++it) srv.mails.erase(srv.mails.begin() + (*it - 1));
    srv.chunk = c.chunk;
    h.View(rows[c.row], c.lines, "a");
    EXPECT_EQ(h.session.error_code(), c.code);
    EXPECT_EQ(h.view_done, 1);
    EXPECT_FALSE(h.session.busy());
    if (c.fetched == 0) {
      EXPECT_TRUE(h.cache.files.empty());
      EXPECT_EQ(h.cache.begun, 0);
      EXPECT_EQ(h.view_errors, std::vector<std::string>{ListErrorText(c.code, "a", true)});
    } else {
      EXPECT_EQ(h.cache.files["cache"], srv.Top(c.fetched, c.lines < 0 ? 1 << 20 : c.lines));
      EXPECT_EQ(h.cache.begun, 1);  // another mail's reply never reached a file
      EXPECT_TRUE(h.view_errors.empty());
    }
  }
}

TEST(ListSessionView, SecondSessionIsRefusedWhileOneRuns) {
  CoreListCodec codec;
  MemoryCache cache;
  ListSession s(codec, cache);
  MailRow row;
  row.columns[kColName] = "a";
  row.columns[kColNumber] = "1";
  ASSERT_TRUE(s.StartView(row, ListLogin{}, "one", 10));
  EXPECT_FALSE(s.StartView(row, ListLogin{}, "two", 10));
  EXPECT_FALSE(s.StartDeleteRun({row}, true));
  s.Disconnect();
  EXPECT_TRUE(s.StartDeleteRun({row}, true));
  EXPECT_FALSE(s.StartView(row, ListLogin{}, "two", 10));  // a run holds the session between accounts
  s.EndRun();
  EXPECT_TRUE(s.StartView(row, ListLogin{}, "two", 10));
}

// ---- delete run -------------------------------------------------------------------

// The run's row list: selected rows put in order as the delete command does.
std::vector<MailRow> RunRows(const std::vector<MailRow>& all, const std::vector<int>& selected_in_list_order) {
  std::vector<SelectedRow> selected;
  for (int i : selected_in_list_order)
    selected.push_back(SelectedRow{i, all[i].item, all[i].columns[kColNumber]});
  std::vector<MailRow> rows;
  for (int index : DeleteOrder(selected)) rows.push_back(all[index]);
  return rows;
}

TEST(ListSessionDelete, RowsOfTwoAccountsUseOneConnectionEachAndDeleteExactlyThem) {
  Harness h;
  h.servers["A"].mails = FiveMails("a");
  h.servers["B"].mails = FiveMails("b");
  std::vector<MailRow> all = h.Rows("A");
  for (MailRow r : h.Rows("B")) {
    r.item += 5;
    all.push_back(r);
  }
  // Selected in another order than the accounts'.
  h.RunDelete(RunRows(all, {5, 3, 1}));
  EXPECT_TRUE(h.finished);
  EXPECT_EQ(h.connections, 2);
  EXPECT_EQ(h.servers["A"].removed, (std::set<int>{2, 4}));
  EXPECT_EQ(h.servers["B"].removed, (std::set<int>{1}));
  EXPECT_EQ(h.results, (std::map<std::string, int>{{"A", 0}, {"B", 0}}));
  // Each row was checked by its header before DELE.
  const std::vector<std::string> a_log = h.servers["A"].log;
  EXPECT_EQ(a_log, (std::vector<std::string>{"USER taro\r\n", "PASS secret\r\n", "TOP 2 0\r\n", "DELE 2\r\n",
                                             "TOP 4 0\r\n", "DELE 4\r\n", "QUIT\r\n"}));
}

TEST(ListSessionDelete, WrongPasswordGivesCode25AndOtherAccountsGoOn) {
  Harness h;
  h.servers["A"].mails = FiveMails("a");
  h.servers["B"].mails = FiveMails("b");
  h.logins["A"] = h.Login("wrong");
  std::vector<MailRow> all = h.Rows("A");
  for (MailRow r : h.Rows("B")) {
    r.item += 5;
    all.push_back(r);
  }
  h.RunDelete(RunRows(all, {0, 1, 6}));
  EXPECT_EQ(h.results["A"], 25);
  EXPECT_EQ(h.results["B"], 0);
  EXPECT_TRUE(h.servers["A"].removed.empty());
  EXPECT_EQ(h.servers["B"].removed, (std::set<int>{2}));
  EXPECT_EQ(DeleteErrorSummary({{"A", 25}, {"B", 0}}), "A:認証に失敗しました。(25)\n");
}

TEST(ListSessionDelete, RenumberedMailIsFoundByUidlAndProvenUniqueByItsHeader) {
  Harness h;
  h.servers["A"].mails = FiveMails("a", true);
  const std::vector<MailRow> all = h.Rows("A");
  // Mail 1 went away behind the list's back: mail 4 is now number 3.
  h.servers["A"].mails.erase(h.servers["A"].mails.begin());
  h.RunDelete(RunRows(all, {3}));
  EXPECT_EQ(h.servers["A"].log,
            (std::vector<std::string>{"USER taro\r\n", "PASS secret\r\n", "UIDL\r\n", "TOP 3 0\r\n", "TOP 4 0\r\n",
                                      "STAT\r\n", "TOP 2 0\r\n", "TOP 1 0\r\n", "DELE 3\r\n", "QUIT\r\n"}));
  EXPECT_EQ(h.servers["A"].removed, (std::set<int>{3}));
  EXPECT_EQ(h.results["A"], 0);
}

TEST(ListSessionDelete, RenumberedMailWithoutUidlIsFoundByProbingEveryHeader) {
  Harness h;
  h.servers["A"].mails = FiveMails("a");
  const std::vector<MailRow> all = h.Rows("A");
  h.servers["A"].mails.erase(h.servers["A"].mails.begin());
  h.servers["A"].chunk = 5;
  h.RunDelete(RunRows(all, {3}));  // was 4, now 3
  // From the row's own number down, every other number compared once.
  EXPECT_EQ(h.servers["A"].log,
            (std::vector<std::string>{"USER taro\r\n", "PASS secret\r\n", "TOP 4 0\r\n", "STAT\r\n", "TOP 3 0\r\n",
                                      "TOP 2 0\r\n", "TOP 1 0\r\n", "DELE 3\r\n", "QUIT\r\n"}));
  EXPECT_EQ(h.servers["A"].removed, (std::set<int>{3}));
}

TEST(ListSessionDelete, NumberPastTheShrunkMailboxIsLookedForByHeader) {
  Harness h;
  h.servers["A"].mails = FiveMails("a");
  const std::vector<MailRow> all = h.Rows("A");
  h.servers["A"].mails.erase(h.servers["A"].mails.begin());
  h.RunDelete(RunRows(all, {4}));  // was 5, now 4: "TOP 5 0" is refused
  // The walk starts at the own number clamped to the mailbox.
  EXPECT_EQ(h.servers["A"].log,
            (std::vector<std::string>{"USER taro\r\n", "PASS secret\r\n", "TOP 5 0\r\n", "STAT\r\n", "TOP 4 0\r\n",
                                      "TOP 3 0\r\n", "TOP 2 0\r\n", "TOP 1 0\r\n", "DELE 4\r\n", "QUIT\r\n"}));
  EXPECT_EQ(h.servers["A"].removed, (std::set<int>{4}));
  EXPECT_EQ(h.results["A"], 0);
}

TEST(ListSessionDelete, RefusedUidlFallsBackToTheHeaderAtTheRowsNumber) {
  Harness h;
  h.servers["A"].mails = FiveMails("a", true);
  h.servers["A"].uidl_supported = false;
  h.RunDelete(RunRows(h.Rows("A"), {1}));
  EXPECT_EQ(h.servers["A"].log, (std::vector<std::string>{"USER taro\r\n", "PASS secret\r\n", "UIDL\r\n",
                                                          "TOP 2 0\r\n", "DELE 2\r\n", "QUIT\r\n"}));
  EXPECT_EQ(h.servers["A"].removed, (std::set<int>{2}));
}

TEST(ListSessionDelete, VanishedMailIsNotDeletedAndTheAccountKeepsEveryMail) {
  for (bool with_uidl : {false, true}) {
    Harness h;
    h.servers["A"].mails = FiveMails("a", with_uidl);
    const std::vector<MailRow> all = h.Rows("A");
    h.servers["A"].mails.erase(h.servers["A"].mails.begin() + 3);  // mail 4 is gone
    h.RunDelete(RunRows(all, {1, 3}));
    EXPECT_EQ(h.results["A"], kCodeNotFound) << with_uidl;
    // Mail 2 was marked in the same connection: RSET takes that back too.
    EXPECT_TRUE(h.servers["A"].removed.empty()) << with_uidl;
    EXPECT_EQ(h.sent[h.sent.size() - 2], "RSET\r\n");
    EXPECT_EQ(h.sent.back(), "QUIT\r\n");
    EXPECT_EQ(DeleteErrorSummary({{"A", kCodeNotFound}}), "A:接続中にエラーが発生しました。(3)\n");
  }
}

TEST(ListSessionDelete, WithoutFullSearchAMismatchEndsTheAccountAtOnce) {
  Harness h;
  h.servers["A"].mails = FiveMails("a");
  const std::vector<MailRow> all = h.Rows("A");
  h.servers["A"].mails.erase(h.servers["A"].mails.begin());
  h.RunDelete(RunRows(all, {3}), false);
  EXPECT_EQ(h.results["A"], kCodeNotFound);
  EXPECT_EQ(h.servers["A"].log,
            (std::vector<std::string>{"USER taro\r\n", "PASS secret\r\n", "TOP 4 0\r\n", "RSET\r\n", "QUIT\r\n"}));
}

TEST(ListSessionDelete, ReDecodedSubjectMatchesNoHeader) {
  Harness h;
  h.servers["A"].mails = FiveMails("a");
  std::vector<MailRow> all = h.Rows("A");
  all[2].columns[kColSubject] = "re-decoded";
  h.RunDelete(RunRows(all, {2}));
  EXPECT_EQ(h.results["A"], kCodeNotFound);
  EXPECT_TRUE(h.servers["A"].removed.empty());
}

struct DeleteFailure {
  const char* name;
  std::string verb;
  std::string reply;
  int code;
  bool rset;  // the session resets before QUIT
};

TEST(ListSessionDelete, EveryProtocolFailureIsRecordedForTheAccountAndNothingIsDeleted) {
  const std::vector<DeleteFailure> cases = {
      {"negative greeting", "", "-ERR\r\n", 71, false},
      {"USER refused", "USER", "-ERR\r\n", 22, false},
      {"PASS refused", "PASS", "-ERR\r\n", 25, false},
      {"TOP refused", "TOP", "-ERR\r\n", 63, true},
      {"DELE refused", "DELE", "-ERR\r\n", 73, true},
      {"STAT refused", "STAT", "-ERR\r\n", 83, true},
      {"QUIT refused", "QUIT", "-ERR cannot update\r\n", kCodeQuitRefused, false},
  };
  for (const DeleteFailure& c : cases) {
    Harness h;
    FakePop3& srv = h.servers["A"];
    srv.mails = FiveMails("a");
    std::vector<MailRow> all = h.Rows("A");
    if (c.verb == "STAT") all[1].columns[kColSubject] = "changed";  // forces the full search
    if (c.verb.empty()) srv.greeting = c.reply;
    else srv.override_reply[c.verb] = c.reply;
    h.RunDelete(RunRows(all, {1}));
    EXPECT_EQ(h.results["A"], c.code) << c.name;
    EXPECT_TRUE(srv.removed.empty()) << c.name;
    const bool reset = std::find(h.sent.begin(), h.sent.end(), "RSET\r\n") != h.sent.end();
    EXPECT_EQ(reset, c.rset) << c.name;
    EXPECT_TRUE(h.finished) << c.name;
  }
}

TEST(ListSessionDelete, OverlongTopReplyFailsTheAccountWithBoundedMemory) {
  CoreListCodec codec;
  MemoryCache cache;
  ListSession s(codec, cache);
  MailRow row;
  row.columns[kColName] = "a";
  row.columns[kColNumber] = "1";
  ASSERT_TRUE(s.StartDeleteRun({row}, true));
  s.BeginAccount(ListLogin{});
  s.OnReceive("+OK\r\n");
  s.OnReceive("+OK\r\n");
  EXPECT_EQ(s.OnReceive("+OK\r\n"), (ListActions{ListAction{ListAction::Kind::kSend, "TOP 1 0\r\n"}}));
  const std::string chunk(kListChunk, 'x');
  ListActions last;
  std::size_t fed = 0;
  while (fed < 2 * kListReplyCap && last.empty()) {
    last = s.OnReceive(fed == 0 ? "+OK\r\n" + chunk : chunk);
    fed += chunk.size();
  }
  EXPECT_EQ(last, (ListActions{ListAction{ListAction::Kind::kPostError, {}, 3, 11}}));
  EXPECT_LE(fed, kListReplyCap + kListChunk);
  EXPECT_TRUE(s.OnReceive(chunk).empty());  // ignored until the error is handled
  EXPECT_EQ(s.OnError(3, 11), (ListActions{ListAction{ListAction::Kind::kSend, "RSET\r\n"}}));
  EXPECT_EQ(s.error_code(), kCodeReplyTooLong);
}

TEST(ListSessionDelete, DisconnectInTheFirstAccountCutsTheWholeRun) {
  Harness h;
  h.servers["A"].mails = FiveMails("a");
  h.servers["B"].mails = FiveMails("b");
  std::vector<MailRow> all = h.Rows("A");
  for (MailRow r : h.Rows("B")) {
    r.item += 5;
    all.push_back(r);
  }
  ListSession& s = h.session;
  ASSERT_TRUE(s.StartDeleteRun(RunRows(all, {0, 1, 5, 6}), true));
  EXPECT_EQ(s.row_count(), 4u);
  s.BeginAccount(h.Login());
  for (const char* r : {"+OK\r\n", "+OK\r\n", "+OK\r\n"}) s.OnReceive(r);
  EXPECT_TRUE(s.busy());
  EXPECT_EQ(s.Disconnect(), (ListActions{ListAction::Kind::kCloseConnection}));
  EXPECT_EQ(s.row_count(), 0u);  // every row so far belongs to the interrupted account
  EXPECT_FALSE(s.busy());
  std::string next;
  EXPECT_FALSE(s.NextAccount(next));
}

TEST(ListSessionDelete, DisconnectInTheSecondAccountKeepsTheFirstOnesRows) {
  Harness h;
  h.servers["A"].mails = FiveMails("a");
  h.servers["B"].mails = FiveMails("b");
  std::vector<MailRow> all = h.Rows("A");
  for (MailRow r : h.Rows("B")) {
    r.item += 5;
    all.push_back(r);
  }
  ListSession& s = h.session;
  ASSERT_TRUE(s.StartDeleteRun(RunRows(all, {0, 1, 5, 6}), true));
  s.BeginAccount(h.Login());
  // Drive account A by hand through the fake server.
  FakePop3& a = h.servers["A"];
  std::deque<std::string> in{a.greeting};
  bool done = false;
  while (!in.empty() && !done) {
    std::string text = in.front();
    in.pop_front();
    for (const ListAction& act : text == "\x01" ? s.OnContinue() : s.OnReceive(text)) {
      if (act.kind == ListAction::Kind::kSend)
        for (const std::string& p : a.Handle(act.text)) in.push_back(p);
      if (act.kind == ListAction::Kind::kPostContinue) in.push_back("\x01");
      if (act.kind == ListAction::Kind::kAccountDone) done = true;
    }
  }
  ASSERT_TRUE(done);
  EXPECT_EQ(s.position(), 2u);
  s.BeginAccount(h.Login());
  s.OnReceive("+OK\r\n");
  EXPECT_EQ(s.Disconnect(), (ListActions{ListAction::Kind::kCloseConnection}));
  EXPECT_EQ(s.row_count(), 2u);  // A's two rows stay in the run and get marked
  std::string next;
  EXPECT_FALSE(s.NextAccount(next));
}

// ---- recognising the row's mail: the faults a server can provoke -----------------

// A mail carrying another mail's unique id in its X-UIDL header.
FakeMail Forger(const std::string& subject, const std::string& victim_uid) {
  FakeMail m = Mail(subject, victim_uid);
  m.uidl = "own-" + subject;
  return m;
}

struct RecognitionCase {
  const char* name;
  std::vector<FakeMail> mails;   // the mailbox when the list was built
  std::vector<int> gone;         // numbers (1-based) that left the mailbox before the run
  std::vector<int> selected;     // rows deleted
  std::set<int> removed;         // numbers the server really deletes (after the renumbering)
  int code;
  std::vector<std::string> listed;  // subjects the list shows after the run
};

TEST(ListSessionRecognition, OnlyTheChosenMailIsEverDeleted) {
  const FakeMail t = Mail("twin");
  const std::vector<RecognitionCase> cases = {
      // Fault 1: the X-UIDL of mail 2 names mail 1; mail 1 must stay.
      {"forged X-UIDL", {Mail("victim", "uid-v"), Forger("forger", "uid-v"), Mail("c", "uid-c")}, {}, {1},
       {2}, 0, {"victim", "c"}},
      {"forged X-UIDL, renumbered", {Mail("x"), Mail("victim", "uid-v"), Forger("forger", "uid-v")}, {1}, {2},
       {2}, 0, {"x", "victim"}},
      // A stale X-UIDL (not in the listing) falls back to the header.
      {"X-UIDL not listed", {Forger("a", "gone-id"), Mail("b")}, {}, {0}, {1}, 0, {"b"}},
      // Fault 2: twins moved; the row's own number holds another mail: the
      // row cannot be told from its twin.
      {"twins moved", {Mail("x"), t, Mail("y"), t}, {1}, {3}, {}, kCodeAmbiguous,
       {"x", "twin", "y", "twin"}},
      // The row's own number holding one of the twins decides.
      {"twin at its own number", {t, Mail("x"), t}, {}, {2}, {3}, 0, {"twin", "x"}},
      // A mail moves down only: the walk from the own number down finds it
      // first, and every other number proves it unique.
      {"moved down by two", FiveMails("m"), {1, 2}, {4}, {3}, 0, {"m1", "m2", "m3", "m4"}},
      {"vanished", FiveMails("m"), {3}, {2}, {}, kCodeNotFound, {"m1", "m2", "m3", "m4", "m5"}},
      // Fault 5: after DELE 1 the STAT count leaves mail 1 out; the highest
      // number is still probed.
      {"probe past the STAT count", FiveMails("m"), {3}, {0, 4}, {1, 4}, 0, {"m2", "m3", "m4"}},
  };
  for (const RecognitionCase& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    FakePop3& srv = h.servers["A"];
    srv.mails = c.mails;
    const std::vector<MailRow> all = h.Rows("A");
    for (auto it = c.gone.rbegin(); it != c.gone.rend(); ++it) srv.mails.erase(srv.mails.begin() + (*it - 1));
    h.RunDelete(RunRows(all, c.selected));
    EXPECT_TRUE(h.finished);
    EXPECT_EQ(h.results["A"], c.code);
    EXPECT_EQ(srv.removed, c.removed);
    EXPECT_EQ(h.Listed("A"), c.listed);
    // Every DELE went to a number whose header this connection compared and
    // found to be the row's.
    for (std::size_t i = 0; i < srv.log.size(); ++i) {
      if (srv.log[i].rfind("DELE ", 0) != 0) continue;
      const std::string top = "TOP " + srv.log[i].substr(5, srv.log[i].size() - 7) + " 0\r\n";
      EXPECT_NE(std::find(srv.log.begin(), srv.log.begin() + static_cast<std::ptrdiff_t>(i), top),
                srv.log.begin() + static_cast<std::ptrdiff_t>(i))
          << srv.log[i];
    }
  }
}

TEST(ListSessionRecognition, AmbiguityHasItsOwnCodeAndWords) {
  EXPECT_EQ(ListErrorText(kCodeAmbiguous, "A", false),
            "A:同じヘッダーのメールが複数あるため、メールを特定できませんでした。(123)\n");
  EXPECT_EQ(DeleteErrorSummary({{"A", kCodeAmbiguous}}), ListErrorText(kCodeAmbiguous, "A", false));
}

TEST(ListSessionRecognition, HeadersOfOneConnectionAreAskedForOnce) {
  Harness h;
  h.servers["A"].mails = FiveMails("m");
  const std::vector<MailRow> all = h.Rows("A");
  h.servers["A"].mails.erase(h.servers["A"].mails.begin());  // every row moved down by one
  h.RunDelete(RunRows(all, {2, 3, 4}));
  EXPECT_EQ(h.results["A"], 0);
  EXPECT_EQ(h.servers["A"].removed, (std::set<int>{2, 3, 4}));
  std::map<std::string, int> tops;
  for (const std::string& line : h.servers["A"].log)
    if (line.rfind("TOP ", 0) == 0) ++tops[line];
  for (const auto& [line, count] : tops) EXPECT_EQ(count, 1) << line;
}

// Faults 3 and 4: a connection that ends before the reply to QUIT leaves the
// account's mails on the server, so none of its rows is marked, whether
// another account follows or not; accounts whose QUIT was answered are
// marked and logged, also when the run is cut later (the list closed).
TEST(ListSessionRecognition, OnlyAnsweredQuitsMarkAndLog) {
  struct Case {
    const char* name;
    std::string account;  // whose connection ends
    std::string verb;     // at which command
    bool by_user;         // disconnect (or the list closed) instead of a drop
    std::vector<std::string> listed_a, listed_b;
    std::set<int> removed_a, removed_b;
  };
  const std::vector<Case> cases = {
      {"A dropped at QUIT, B follows", "A", "QUIT", false, {"a1", "a2", "a3"}, {"b2"}, {}, {1}},
      {"A disconnected at QUIT, B follows", "A", "QUIT", true, {"a1", "a2", "a3"}, {"b1", "b2"}, {}, {}},
      {"B dropped at QUIT, last", "B", "QUIT", false, {"a1"}, {"b1", "b2"}, {2, 3}, {}},
      {"B disconnected at QUIT, last", "B", "QUIT", true, {"a1"}, {"b1", "b2"}, {2, 3}, {}},
      {"list closed during B", "B", "TOP", true, {"a1"}, {"b1", "b2"}, {2, 3}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.servers["A"].mails = {Mail("a1"), Mail("a2"), Mail("a3")};
    h.servers["B"].mails = {Mail("b1"), Mail("b2")};
    const std::vector<MailRow> all = h.AllRows({"A", "B"});
    h.cut_account = c.account;
    h.cut_verb = c.verb;
    h.cut_by_user = c.by_user;
    h.RunDelete(RunRows(all, {1, 2, 3}));
    EXPECT_TRUE(h.finished);
    EXPECT_EQ(h.servers["A"].removed, c.removed_a);
    EXPECT_EQ(h.servers["B"].removed, c.removed_b);
    EXPECT_EQ(h.Listed("A"), c.listed_a);
    EXPECT_EQ(h.Listed("B"), c.listed_b);
    // The day file holds exactly the headers of the mails the servers deleted.
    std::string day;
    for (int n : c.removed_a) day += h.servers["A"].Top(n, 0).substr(5);
    for (int n : c.removed_b) day += h.servers["B"].Top(n, 0).substr(5);
    EXPECT_EQ(h.DayFile(), day);
  }
}

// Three accounts in one run: a forger, twins and a renumbering.
TEST(ListSessionRecognition, MixedRunOverThreeAccounts) {
  Harness h;
  const FakeMail t = Mail("twin");
  h.servers["A"].mails = {Mail("victim", "uid-v"), Forger("forger", "uid-v"), Mail("a3", "uid-a3")};
  h.servers["B"].mails = {t, Mail("b2"), t, Mail("b4")};
  h.servers["C"].mails = FiveMails("c");
  const std::vector<MailRow> all = h.AllRows({"A", "B", "C"});
  // C: mail 1 left the mailbox; B is as it was.
  h.servers["C"].mails.erase(h.servers["C"].mails.begin());
  // A: the forger and a3; B: the second twin and b4; C: c3 and c5.
  h.RunDelete(RunRows(all, {11, 9, 1, 2, 5, 6}));
  EXPECT_EQ(h.connections, 3);
  EXPECT_EQ(h.results, (std::map<std::string, int>{{"A", 0}, {"B", 0}, {"C", 0}}));
  EXPECT_EQ(h.servers["A"].removed, (std::set<int>{2, 3}));
  EXPECT_EQ(h.servers["B"].removed, (std::set<int>{3, 4}));
  EXPECT_EQ(h.servers["C"].removed, (std::set<int>{2, 4}));
  EXPECT_EQ(h.Listed("A"), (std::vector<std::string>{"victim"}));
  EXPECT_EQ(h.Listed("B"), (std::vector<std::string>{"twin", "b2"}));
  EXPECT_EQ(h.Listed("C"), (std::vector<std::string>{"c1", "c2", "c4"}));
}

// ---- UIDL listing -----------------------------------------------------------------

TEST(UidlLookup, FindsTheWholeIdOnAListingLine) {
  struct Case {
    const char* name;
    std::string listing;
    std::string uid;
    int want;
  };
  const std::vector<Case> cases = {
      {"plain", "+OK\r\n1 aaa\r\n2 bbb\r\n3 ccc\r\n.\r\n", "bbb", 2},
      {"first occurrence", "+OK\r\n4 dup\r\n7 dup\r\n.\r\n", "dup", 4},
      {"absent", "+OK\r\n1 aaa\r\n.\r\n", "zzz", 0},
      {"in the status line only", "+OK bbb follows\r\n1 aaa\r\n.\r\n", "bbb", 0},
      {"part of another id", "+OK\r\n1 xbbbx\r\n2 bbbb\r\n3 bbb\r\n.\r\n", "bbb", 3},
      {"number part", "+OK\r\n12 1\r\n.\r\n", "2", 0},
      {"after the terminator", "+OK\r\n1 aaa\r\n.\r\n2 bbb\r\n", "bbb", 0},
      {"empty id", "+OK\r\n1 aaa\r\n.\r\n", "", 0},
      {"over-long line skipped", "+OK\r\n1 " + std::string(5000, 'q') + " bbb\r\n2 bbb\r\n.\r\n", "bbb", 2},
      {"bare LF lines", "+OK\n5 bbb\n.\n", "bbb", 5},
      {"number zero", "+OK\r\n0 bbb\r\n.\r\n", "bbb", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindUidl(c.listing, c.uid), c.want) << c.name;
    // The same split into single bytes.
    UidlLookup lookup(c.uid);
    for (char ch : c.listing) lookup.Feed(std::string_view(&ch, 1));
    EXPECT_EQ(lookup.found(), c.want) << c.name << " (bytewise)";
  }
  UidlLookup lookup("x");
  EXPECT_FALSE(lookup.Feed("+OK\r\n1 x\r\n."));
  EXPECT_TRUE(lookup.Feed("\r\n"));
}

// ---- header match -------------------------------------------------------------------

TEST(HeaderMatch, FreshHeaderAgainstTheRow) {
  CoreListCodec codec;
  FakePop3 srv;
  srv.mails = {Mail("=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=", "", "Status: RO\r\n")};
  const MailRow row = BuildAccountRows(codec, srv.AccountFile(), "a", 0)[0];
  ASSERT_EQ(row.columns[kColSubject], "テスト");
  EXPECT_TRUE(HeaderMatchesRow(codec, srv.Top(1, 0), row));
  // A Status field that changed since the check does not matter.
  FakePop3 seen = srv;
  seen.mails[0].header.replace(seen.mails[0].header.find("Status: RO"), 10, "Status: R ");
  EXPECT_TRUE(HeaderMatchesRow(codec, seen.Top(1, 0), row));

  struct Case {
    const char* name;
    int column;
    std::string value;
  };
  for (const Case& c : std::vector<Case>{{"hash", kColHash, "0123"},
                                         {"subject", kColSubject, "テスト2"},
                                         {"date", kColDate, "2007/1/3 03:46:21"},
                                         {"from", kColFrom, "other@example.jp"}}) {
    MailRow changed = row;
    changed.columns[c.column] = c.value;
    EXPECT_FALSE(HeaderMatchesRow(codec, srv.Top(1, 0), changed)) << c.name;
  }
  EXPECT_FALSE(HeaderMatchesRow(codec, "+OK no line break", row));
  EXPECT_FALSE(HeaderMatchesRow(codec, "+OK\r\nSubject: unterminated\r\n", row));
  FakePop3 other = srv;
  other.mails[0].header += "Received: by another hop\r\n";
  EXPECT_FALSE(HeaderMatchesRow(codec, other.Top(1, 0), row));
}

// ---- secured connections -------------------------------------------------------------

ListLogin TlsLogin(ListTls tls, bool apop = false) {
  ListLogin l;
  l.user = "taro";
  l.password = "secret";
  l.server = "localhost";
  l.apop = apop;
  l.tls = tls;
  return l;
}

TEST(ListSessionTls, ViewLogsInOnlyOverTheSecuredConnection) {
  struct Case {
    const char* name;
    ListTls tls;
    bool apop;
    std::vector<std::string> sent;
  };
  const std::string digest = inkwell2::md5_hex("<1896.697170952@dbc.mtview.ca.us>secret");
  const std::vector<Case> cases = {
      {"STLS", ListTls::kStls, false,
       {"STLS\r\n", "<TLS>", "USER taro\r\n", "PASS secret\r\n", "TOP 2 10\r\n", "QUIT\r\n"}},
      // APOP signs the time stamp of the clear greeting: no second one comes.
      {"STLS + APOP", ListTls::kStls, true, {"STLS\r\n", "<TLS>", "APOP taro " + digest + "\r\n", "TOP 2 10\r\n", "QUIT\r\n"}},
      {"TLS on connect", ListTls::kOnConnect, false,
       {"<TLS>", "USER taro\r\n", "PASS secret\r\n", "TOP 2 10\r\n", "QUIT\r\n"}},
  };
  for (const Case& c : cases) {
    for (std::size_t chunk : {0u, 1u}) {
      Harness h;
      FakePop3& srv = h.servers["a"];
      srv.mails = FiveMails("m");
      srv.override_reply["STLS"] = "+OK begin TLS\r\n";
      srv.chunk = chunk;
      h.logins["a"] = TlsLogin(c.tls, c.apop);
      h.View(h.Rows("a")[1], 10, "a");
      EXPECT_EQ(h.sent, c.sent) << c.name << " chunk " << chunk;
      EXPECT_EQ(h.cache.files["cache"], srv.Top(2, 10)) << c.name;
      EXPECT_TRUE(h.view_errors.empty()) << c.name;
      EXPECT_EQ(h.view_done, 1) << c.name;
      EXPECT_FALSE(h.session.busy()) << c.name;
    }
  }
}

TEST(ListSessionTls, EveryTlsFailureEndsTheSessionBeforeAnyLogin) {
  struct Case {
    const char* name;
    ListTls tls;
    std::string stls_reply;  // "" = the STLS reply is not reached
    int handshake;           // detail the handshake fails with, 0 = it succeeds
    bool clear_greeting;     // TLS on connect, but the server talks before the handshake
    int code;
    std::vector<std::string> sent;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"STLS refused", ListTls::kStls, "-ERR not supported\r\n", 0, false, 57, {"STLS\r\n"},
       "a:サーバーがSTLSに対応していないため、接続を中止しました。(57)\n"},
      {"text after +OK", ListTls::kStls, "+OK\r\n+OK ready\r\n", 0, false, 67, {"STLS\r\n"},
       "a:STLSの応答の後に不正なデータを受信したため、接続を中止しました。(67)\n"},
      {"STLS reply without end", ListTls::kStls, "+OK" + std::string(2000, 'x'), 0, false, 67, {"STLS\r\n"},
       "a:STLSの応答の後に不正なデータを受信したため、接続を中止しました。(67)\n"},
      {"STLS, untrusted", ListTls::kStls, "+OK\r\n", kListTlsUntrusted, false, 27, {"STLS\r\n", "<TLS>"},
       "a:サーバー証明書が信頼できないため、接続を中止しました。(27)\n"},
      {"STLS, wrong name", ListTls::kStls, "+OK\r\n", kListTlsNameMismatch, false, 37, {"STLS\r\n", "<TLS>"},
       "a:サーバー証明書の名前がサーバー名と一致しないため、接続を中止しました。(37)\n"},
      {"on connect, expired", ListTls::kOnConnect, "", kListTlsExpired, false, 47, {"<TLS>"},
       "a:サーバー証明書の有効期限が切れているため、接続を中止しました。(47)\n"},
      {"on connect, handshake", ListTls::kOnConnect, "", kListTlsHandshake, false, 17, {"<TLS>"},
       "a:SSL/TLSの接続に失敗しました。(17)\n"},
      {"on connect, broken record", ListTls::kOnConnect, "", kListTlsChannel, false, 77, {"<TLS>"},
       "a:暗号化された通信でエラーが発生しました。(77)\n"},
      {"on connect, clear text first", ListTls::kOnConnect, "", 0, true, 17, {},
       "a:SSL/TLSの接続に失敗しました。(17)\n"},
  };
  for (const Case& c : cases) {
    Harness h;
    FakePop3& srv = h.servers["a"];
    srv.mails = FiveMails("m");
    if (!c.stls_reply.empty()) srv.override_reply["STLS"] = c.stls_reply;
    if (c.handshake) h.tls_failure["a"] = c.handshake;
    h.greeting_before_handshake = c.clear_greeting;
    h.logins["a"] = TlsLogin(c.tls);
    h.View(h.Rows("a")[0], 10, "a");
    EXPECT_EQ(h.session.error_code(), c.code) << c.name;
    EXPECT_EQ(h.sent, c.sent) << c.name;
    ASSERT_EQ(h.view_errors.size(), 1u) << c.name;
    EXPECT_EQ(h.view_errors[0], c.text) << c.name;
    EXPECT_TRUE(h.cache.files.empty()) << c.name;
    EXPECT_EQ(h.view_done, 1) << c.name;
    EXPECT_FALSE(h.session.busy()) << c.name;
  }
}

TEST(ListSessionTls, SecuredBeforeItsTimeIsIgnored) {
  // A handshake report while the session still waits for the reply to STLS
  // (or none was asked for) must not start the login.
  CoreListCodec codec;
  MemoryCache cache;
  ListSession s(codec, cache);
  MailRow row;
  row.columns[kColName] = "a";
  row.columns[kColNumber] = "1";
  ASSERT_TRUE(s.StartView(row, TlsLogin(ListTls::kStls), "cache", 10));
  EXPECT_TRUE(s.OnSecured().empty());
  EXPECT_EQ(s.OnReceive("+OK ready\r\n"), (ListActions{ListAction{ListAction::Kind::kSend, "STLS\r\n"}}));
  EXPECT_TRUE(s.OnSecured().empty());
  EXPECT_EQ(s.OnReceive("+OK go\r\n"), (ListActions{ListAction{ListAction::Kind::kStartTls}}));
  // Text during the handshake is the TLS layer's; it never reaches the login.
  EXPECT_TRUE(s.OnReceive("+OK\r\n").empty());
  EXPECT_EQ(s.OnSecured(), (ListActions{ListAction{ListAction::Kind::kSend, "USER taro\r\n"}}));
  EXPECT_TRUE(s.OnSecured().empty());

  CoreListCodec codec2;
  MemoryCache cache2;
  ListSession clear(codec2, cache2);
  ASSERT_TRUE(clear.StartView(row, TlsLogin(ListTls::kNone), "cache", 10));
  EXPECT_TRUE(clear.OnSecured().empty());
  EXPECT_EQ(clear.OnReceive("+OK ready\r\n"), (ListActions{ListAction{ListAction::Kind::kSend, "USER taro\r\n"}}));
}

TEST(ListSessionTls, DeleteRunSecuresEachAccountsConnectionOnce) {
  Harness h;
  h.servers["A"].mails = FiveMails("a");
  h.servers["A"].override_reply["STLS"] = "+OK\r\n";
  h.servers["B"].mails = FiveMails("b");
  h.logins["A"] = TlsLogin(ListTls::kStls);
  h.logins["B"] = TlsLogin(ListTls::kOnConnect);
  std::vector<MailRow> all = h.Rows("A");
  for (MailRow r : h.Rows("B")) {
    r.item += 5;
    all.push_back(r);
  }
  h.RunDelete(RunRows(all, {5, 3, 1}));
  EXPECT_TRUE(h.finished);
  EXPECT_EQ(h.servers["A"].removed, (std::set<int>{2, 4}));
  EXPECT_EQ(h.servers["B"].removed, (std::set<int>{1}));
  EXPECT_EQ(h.results, (std::map<std::string, int>{{"A", 0}, {"B", 0}}));
  EXPECT_EQ(h.sent, (std::vector<std::string>{"STLS\r\n", "<TLS>", "USER taro\r\n", "PASS secret\r\n",
                                              "TOP 2 0\r\n", "DELE 2\r\n", "TOP 4 0\r\n", "DELE 4\r\n", "QUIT\r\n",
                                              "<TLS>", "USER taro\r\n", "PASS secret\r\n", "TOP 1 0\r\n",
                                              "DELE 1\r\n", "QUIT\r\n"}));
}

TEST(ListSessionTls, FailedAccountIsSummarisedAndTheNextGoesOn) {
  Harness h;
  h.servers["A"].mails = FiveMails("a");
  h.servers["B"].mails = FiveMails("b");
  h.logins["A"] = TlsLogin(ListTls::kOnConnect);
  h.tls_failure["A"] = kListTlsNameMismatch;
  std::vector<MailRow> all = h.Rows("A");
  for (MailRow r : h.Rows("B")) {
    r.item += 5;
    all.push_back(r);
  }
  h.RunDelete(RunRows(all, {1, 5}));
  EXPECT_TRUE(h.finished);
  EXPECT_TRUE(h.servers["A"].log.empty());
  EXPECT_TRUE(h.servers["A"].removed.empty());
  EXPECT_EQ(h.servers["B"].removed, (std::set<int>{1}));
  EXPECT_EQ(h.results, (std::map<std::string, int>{{"A", 37}, {"B", 0}}));
  EXPECT_EQ(ListErrorText(37, "A", false),
            "A:サーバー証明書の名前がサーバー名と一致しないため、接続を中止しました。(37)\n");
}

// ---- OAuth sign-in ----------------------------------------------------------------

ListLogin OAuthLogin(const std::string& token, ListTls tls = ListTls::kOnConnect) {
  ListLogin l = TlsLogin(tls, /*apop=*/true);  // APOP is not used for OAuth
  l.user = "taro@example.com";
  l.password = "";
  l.oauth = true;
  l.access_token = token;
  return l;
}

const std::string kLongToken = "eyJ0eXAiOiJKV1QifQ." + std::string(300, 'z');

std::string SignInText(const std::string& account, int detail) {
  return account + ":" + SignInErrorWords(detail) + "(" + std::to_string(kListSignInPhase + 10 * detail) + ")\n";
}

// Whether a text holds a token as it is (it only ever goes Base64-coded in
// the AUTH exchange).
bool HoldsToken(const std::string& text) {
  for (const std::string& t : {std::string("tok-old"), std::string("tok-new"), kLongToken})
    if (text.find(t) != std::string::npos) return true;
  return false;
}

TEST(ListSessionOAuth, ViewSignsInAsRows) {
  struct Row {
    const char* name;
    std::string capa;
    std::string token;
    bool fresh;
    std::vector<std::pair<std::string, int>> answers;
    std::set<std::string> server_takes;
    const char* auth;                      // the AUTH command's start
    std::vector<std::string> auth_tokens;  // the tokens the server saw, in order
    int refreshes;
    int detail;                            // 0: the mail is shown
  };
  const std::string plain = "+OK\r\nSASL PLAIN XOAUTH2\r\n.\r\n";
  const std::vector<Row> rows = {
      {"XOAUTH2 with the response in the command", plain, "tok-old", false, {}, {"tok-old"}, "AUTH XOAUTH2 ",
       {"tok-old"}, 0, 0},
      {"OAUTHBEARER when announced", "+OK\r\nSASL XOAUTH2 OAUTHBEARER\r\n.\r\n", "tok-old", false, {}, {"tok-old"},
       "AUTH OAUTHBEARER ", {"tok-old"}, 0, 0},
      {"CAPA refused: XOAUTH2", "-ERR what\r\n", "tok-old", false, {}, {"tok-old"}, "AUTH XOAUTH2 ", {"tok-old"}, 0,
       0},
      {"a long token after the + continuation", plain, kLongToken, false, {}, {kLongToken}, "AUTH XOAUTH2\r\n",
       {kLongToken}, 0, 0},
      {"a refused token is refreshed, the retry succeeds", plain, "tok-old", false, {{"tok-new", 0}}, {"tok-new"},
       "AUTH XOAUTH2 ", {"tok-old", "tok-new"}, 1, 0},
      {"no token yet: one is asked for first", plain, "", false, {{"tok-new", 0}}, {"tok-new"}, "AUTH XOAUTH2 ",
       {"tok-new"}, 1, 0},
      {"the refresh fails: sign in again", plain, "tok-old", false, {{"", kSignInNeeded}}, {}, "AUTH XOAUTH2 ",
       {"tok-old"}, 1, kSignInNeeded},
      {"the refresh fails: no answer", plain, "tok-old", false, {{"", kSignInRefreshFailed}}, {}, "AUTH XOAUTH2 ",
       {"tok-old"}, 1, kSignInRefreshFailed},
      {"the fresh token refused too", plain, "tok-old", false, {{"tok-new", 0}}, {}, "AUTH XOAUTH2 ",
       {"tok-old", "tok-new"}, 1, kSignInTokenRefused},
      {"a token just had is not refreshed again", plain, "tok-old", true, {}, {}, "AUTH XOAUTH2 ", {"tok-old"}, 0,
       kSignInTokenRefused},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Harness h;
    FakePop3& srv = h.servers["a"];
    srv.mails = FiveMails("m");
    srv.capa = r.capa;
    srv.tokens = r.server_takes;
    ListLogin login = OAuthLogin(r.token);
    login.token_fresh = r.fresh;
    h.logins["a"] = login;
    for (const auto& a : r.answers) h.token_answers.push_back(a);
    h.View(h.Rows("a")[1], 10, "a");
    ASSERT_GE(h.sent.size(), 3u);
    EXPECT_EQ(h.sent[0], "<TLS>");
    EXPECT_EQ(h.sent[1], "CAPA\r\n");
    EXPECT_EQ(h.sent[2].rfind(r.auth, 0), 0u) << h.sent[2];
    EXPECT_EQ(srv.auth_tokens, r.auth_tokens);
    EXPECT_EQ(h.refreshes, r.refreshes);
    EXPECT_EQ(h.sent.back(), "QUIT\r\n");
    EXPECT_EQ(h.view_done, 1);
    EXPECT_FALSE(h.session.busy());
    if (r.detail == 0) {
      EXPECT_EQ(h.cache.files["cache"], srv.Top(2, 10));
      EXPECT_TRUE(h.view_errors.empty());
      EXPECT_EQ(h.session.error_code(), 0);
    } else {
      EXPECT_TRUE(h.cache.files.empty());
      EXPECT_EQ(h.session.error_code(), kListSignInPhase + 10 * r.detail);
      EXPECT_EQ(h.view_errors, std::vector<std::string>{SignInText("a", r.detail)});
    }
    for (const std::string& s : h.sent) EXPECT_FALSE(HoldsToken(s)) << s;
    for (const std::string& s : h.view_errors) EXPECT_FALSE(HoldsToken(s));
  }
}

// Before any connection: OAuth without TLS, or a sign-in failure the driver
// met getting a token. Nothing reaches the server, even a greeting that
// arrives anyway gets no command.
TEST(ListSessionOAuth, StartFailuresSendNothing) {
  struct Case {
    const char* name;
    ListTls tls;
    int signin_failure;
    int code;
  };
  for (const Case& c : {Case{"no TLS", ListTls::kNone, 0, 48}, Case{"no TLS first", ListTls::kNone, kSignInNeeded, 48},
                        Case{"no refresh token", ListTls::kOnConnect, kSignInNeeded, 18},
                        Case{"no client id", ListTls::kStls, kSignInNoClientId, 58}}) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.servers["a"].mails = FiveMails("m");
    ListLogin login = OAuthLogin("tok-old", c.tls);
    login.signin_failure = c.signin_failure;
    h.logins["a"] = login;
    h.View(h.Rows("a")[0], 10, "a");
    EXPECT_TRUE(h.sent.empty());
    EXPECT_TRUE(h.servers["a"].log.empty());
    EXPECT_EQ(h.session.error_code(), c.code);
    EXPECT_EQ(h.view_errors, std::vector<std::string>{SignInText("a", c.code / 10)});
    EXPECT_EQ(h.view_done, 1);

    // The same login meeting a greeting: still nothing.
    CoreListCodec codec;
    MemoryCache cache;
    ListSession s(codec, cache);
    ASSERT_TRUE(s.StartView(h.Rows("a")[0], login, "cache", 10));
    if (c.tls == ListTls::kOnConnect) EXPECT_TRUE(s.OnSecured().empty());
    const ListActions a = s.OnReceive("+OK ready\r\n");
    EXPECT_EQ(a, (ListActions{ListAction{ListAction::Kind::kPostError, {}, kListSignInPhase, c.code / 10}}));
  }
  EXPECT_EQ(SignInText("a", kSignInNotSecured),
            "a:暗号化されていない接続ではアクセストークンを送れないため、接続を中止しました。"
            "設定のアカウントで接続の保護を「SSL/TLS」か「STLS」にしてください。(48)\n");
  // A password login is not held up by the OAuth fields.
  ListLogin password = TlsLogin(ListTls::kNone);
  password.signin_failure = kSignInNeeded;
  int phase = 0, detail = 0;
  EXPECT_FALSE(ListStartFailure(password, phase, detail));
}

// STLS: CAPA and AUTH only once the handshake is reported done.
TEST(ListSessionOAuth, TheTokenWaitsForTheHandshake) {
  Harness h;
  FakePop3& srv = h.servers["a"];
  srv.mails = FiveMails("m");
  srv.override_reply["STLS"] = "+OK\r\n";
  srv.tokens = {"tok-old"};
  h.logins["a"] = OAuthLogin("tok-old", ListTls::kStls);
  h.View(h.Rows("a")[0], 10, "a");
  ASSERT_GE(h.sent.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(h.sent.begin(), h.sent.begin() + 3),
            (std::vector<std::string>{"STLS\r\n", "<TLS>", "CAPA\r\n"}));
  EXPECT_EQ(h.sent[3].rfind("AUTH XOAUTH2 ", 0), 0u);
  EXPECT_EQ(h.cache.files["cache"], srv.Top(1, 10));
}

// A delete run signs in once per account: the refreshed token serves every
// row of its account; an account whose refresh fails keeps its mails and
// is summarised with the sign-in text, and the next account goes on.
TEST(ListSessionOAuth, DeleteRunSignsInPerAccount) {
  Harness h;
  h.servers["A"].mails = FiveMails("a");
  h.servers["A"].tokens = {"tok-new"};
  h.servers["B"].mails = FiveMails("b");
  h.servers["C"].mails = FiveMails("c");
  h.servers["C"].tokens = {"tok-old"};
  h.logins["A"] = OAuthLogin("tok-old");
  h.logins["B"] = OAuthLogin("tok-old");
  h.logins["C"] = OAuthLogin("tok-old");
  h.token_answers = {{"tok-new", 0}, {"", kSignInNeeded}};
  std::vector<MailRow> all = h.AllRows({"A", "B", "C"});
  h.RunDelete(RunRows(all, {1, 3, 6, 12}));
  EXPECT_TRUE(h.finished);
  EXPECT_EQ(h.refreshes, 2);
  EXPECT_EQ(h.servers["A"].removed, (std::set<int>{2, 4}));
  EXPECT_EQ(h.servers["A"].auth_tokens, (std::vector<std::string>{"tok-old", "tok-new"}));
  EXPECT_TRUE(h.servers["B"].removed.empty());
  EXPECT_EQ(h.servers["B"].log.back(), "QUIT\r\n");
  EXPECT_EQ(h.servers["C"].removed, (std::set<int>{3}));
  EXPECT_EQ(h.results, (std::map<std::string, int>{{"A", 0}, {"B", 18}, {"C", 0}}));
  EXPECT_EQ(DeleteErrorSummary({{"B", 18}}), SignInText("B", kSignInNeeded));
  for (const std::string& s : h.sent) EXPECT_FALSE(HoldsToken(s)) << s;
}

// A late token answer after the connection broke or was cut sends nothing.
TEST(ListSessionOAuth, ALateTokenIsIgnored) {
  CoreListCodec codec;
  MemoryCache cache;
  ListSession s(codec, cache);
  MailRow row;
  row.columns[kColName] = "a";
  row.columns[kColNumber] = "1";
  ASSERT_TRUE(s.StartView(row, OAuthLogin("tok-old"), "cache", 10));
  EXPECT_TRUE(s.OnToken("tok-new").empty()) << "nobody asked";
  EXPECT_TRUE(s.OnSecured().empty());
  ASSERT_EQ(s.OnReceive("+OK ready\r\n"), (ListActions{ListAction{ListAction::Kind::kSend, "CAPA\r\n"}}));
  ASSERT_EQ(s.OnReceive("-ERR\r\n").size(), 1u);  // AUTH XOAUTH2 ...
  EXPECT_EQ(s.OnReceive("-ERR expired\r\n"), (ListActions{ListAction{ListAction::Kind::kRefreshToken}}));
  EXPECT_TRUE(s.OnReceive("+OK stray\r\n").empty());
  EXPECT_FALSE(s.Disconnect().empty());
  EXPECT_TRUE(s.OnToken("tok-new").empty());
  EXPECT_TRUE(s.OnTokenFailure(kSignInNeeded).empty());
  EXPECT_FALSE(s.busy());
}

}  // namespace
}  // namespace tidewell
