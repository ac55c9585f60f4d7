// The check session driven over real sockets: against Dovecot (USER/PASS and
// APOP accounts, an empty mailbox, Japanese mail) and against the scripted
// server for every failure it can stage. The Dovecot tests need root and
// dovecot; they skip otherwise.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inkwell2/codec.h"
#include "support/memory_store.h"
#include "support/pop3_socket_driver.h"
#include "tidewell/engine/pop3_session.h"

namespace tidewell {
namespace {

using testing::DriveOutcome;
using testing::DriveSession;
using testing::MemoryStore;
using testing::ServerProcess;

const std::string kServers = std::string(TIDEWELL_SOURCE_DIR) + "/tests/servers";
const char kFolder[] = "C:\\tw";

std::string Md5(std::string_view s) { return inkwell2::md5_hex(s); }
std::string MailPath(const std::string& name) { return std::string(kFolder) + "\\Mail\\" + Md5(name); }
std::string HashPath() { return std::string(kFolder) + "\\Mail\\hash.dat"; }

// One account run through one session with its own engine data and store.
struct AccountRun {
  MemoryStore store;
  EngineData data;
  Pop3Session session{Md5, store};
  DriveOutcome outcome;

  AccountRun() {
    data.data_folder = kFolder;
    data.ResetAccounts(1);
  }
  void Go(const SessionAccount& account, int tick_ms = 60000) {
    outcome = DriveSession(session, account, data, 0, tick_ms);
  }
  std::string File(const std::string& name) const {
    auto it = store.files.find(MailPath(name));
    return it == store.files.end() ? "<none>" : it->second;
  }
  std::string Hashes() const {
    auto it = store.files.find(HashPath());
    return it == store.files.end() ? "<none>" : it->second;
  }
};

// ---------------------------------------------------------------- Dovecot

// The account mail file and hash list Dovecot must give for the fixture
// mails: LIST with the size in CRLF form, TOP with the header in CRLF form.
struct Expected {
  std::string file, hashes;
  int mails = 0;
};

Expected FromFixtures() {
  Expected e;
  const char* names[] = {"01-iso2022jp.eml", "02-shiftjis.eml", "03-utf8-b.eml", "04-utf8-q.eml",
                         "05-status.eml"};
  for (const char* n : names) {
    std::ifstream in(kServers + "/mail/" + n, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string crlf;
    for (char c : ss.str()) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    const std::string header = crlf.substr(0, crlf.find("\r\n\r\n") + 2);
    ++e.mails;
    e.file += "+OK " + std::to_string(e.mails) + " " + std::to_string(crlf.size()) + "\r\n";
    e.file += "+OK\r\n" + header + "\r\n.\r\n";
    std::string hashed = header + "\r\n.\r\n";
    const std::size_t s = hashed.find("\r\nStatus: RO");
    if (s != std::string::npos) hashed.erase(s, 12);
    e.hashes += Md5(hashed) + "\n";
  }
  return e;
}

class DovecotTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testing::IsRoot() || !testing::HaveProgram("/usr/sbin/dovecot")) return;
    char tmpl[] = "/tmp/tw-dovecot-test-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    dir_ = tmpl;
    const std::string mail = kServers + "/mail";
    const std::string out = testing::RunCommand(
        {"python3", kServers + "/dovecot.py", "start", "--dir", dir_, "--user", "taro:pw1:" + mail,
         "--user", "hanako:pw2:" + mail, "--user", "empty:pw3:-"});
    port_ = std::atoi(out.c_str());
  }
  static void TearDownTestSuite() {
    if (!dir_.empty()) testing::RunCommand({"python3", kServers + "/dovecot.py", "stop", "--dir", dir_});
    if (!dir_.empty()) std::remove((dir_).c_str());
  }
  void SetUp() override {
    if (!testing::IsRoot() || !testing::HaveProgram("/usr/sbin/dovecot"))
      GTEST_SKIP() << "needs root and dovecot";
    ASSERT_GT(port_, 0) << "dovecot did not start";
  }
  SessionAccount Account(const char* user, const char* password, bool apop) {
    return SessionAccount{user, password, std::string("Account ") + user, "127.0.0.1", port_, apop};
  }

  static std::string dir_;
  static int port_;
};

std::string DovecotTest::dir_;
int DovecotTest::port_ = 0;

TEST_F(DovecotTest, UserPassAndApopAccountsRecordEveryMail) {
  const Expected e = FromFixtures();
  for (bool apop : {false, true}) {
    SCOPED_TRACE(apop ? "APOP" : "USER/PASS");
    AccountRun r;
    const SessionAccount a = apop ? Account("hanako", "pw2", true) : Account("taro", "pw1", false);
    r.Go(a);
    ASSERT_TRUE(r.outcome.finished);
    EXPECT_EQ(r.outcome.errors.size(), 0u);
    EXPECT_EQ(r.outcome.sent[0].substr(0, 5), apop ? "APOP " : "USER ");
    EXPECT_EQ(r.File(a.display_name), e.file);
    EXPECT_EQ(r.Hashes(), e.hashes);
    EXPECT_EQ(r.data.new_count, e.mails);
    EXPECT_EQ(r.data.server_mail_count[0], e.mails);
    EXPECT_FALSE(r.data.Has(kCheckError));
  }
}

TEST_F(DovecotTest, SecondCheckInNewMessageModeSeesEveryMail) {
  AccountRun r;
  r.data.Set(kNewMessage);
  const SessionAccount a = Account("taro", "pw1", false);
  r.Go(a);
  ASSERT_TRUE(r.outcome.finished);
  EXPECT_EQ(r.data.new_count, 5);
  EXPECT_EQ(r.data.seen_count, 0);
  const std::string first = r.File(a.display_name);
  r.data.new_count = r.data.seen_count = 0;
  r.data.hash_list.clear();
  r.Go(a);
  ASSERT_TRUE(r.outcome.finished);
  EXPECT_EQ(r.data.new_count, 0);
  EXPECT_EQ(r.data.seen_count, 5);
  EXPECT_EQ(r.data.server_mail_count[0], 0);
  EXPECT_EQ(r.File(a.display_name), first);
}

// Dovecot announces PIPELINING and UIDL: the first fast check sends its
// LIST/TOP commands in one batch, the second none, and both write what the
// one-by-one sequence writes.
TEST_F(DovecotTest, FastCheckBatchesThenReusesTheCache) {
  const Expected e = FromFixtures();
  AccountRun r;
  r.data.Set(kNewMessage | kFastCheck);
  const SessionAccount a = Account("taro", "pw1", false);
  r.Go(a);
  ASSERT_TRUE(r.outcome.finished);
  EXPECT_EQ(r.outcome.errors.size(), 0u);
  EXPECT_EQ(r.File(a.display_name), e.file);
  EXPECT_EQ(r.Hashes(), e.hashes);
  EXPECT_EQ(r.data.new_count, e.mails);
  ASSERT_GE(r.outcome.sent.size(), 6u);
  EXPECT_EQ(r.outcome.sent[2], "CAPA\r\n");
  EXPECT_EQ(r.outcome.sent[3], "STAT\r\nUIDL\r\nLIST\r\n");
  EXPECT_EQ(r.outcome.sent[4], "LIST 1\r\nTOP 1 0\r\nLIST 2\r\nTOP 2 0\r\nLIST 3\r\nTOP 3 0\r\nLIST 4\r\nTOP 4 0\r\n"
                               "LIST 5\r\nTOP 5 0\r\n");
  EXPECT_EQ(r.store.files.count(MailPath(a.display_name) + ".uid"), 1u);

  r.data.new_count = r.data.seen_count = 0;
  r.data.hash_list.clear();
  r.Go(a);
  ASSERT_TRUE(r.outcome.finished);
  EXPECT_EQ(r.outcome.sent, (std::vector<std::string>{"USER taro\r\n", "PASS pw1\r\n", "CAPA\r\n",
                                                       "STAT\r\nUIDL\r\nLIST\r\n", "QUIT\r\n"}));
  EXPECT_EQ(r.File(a.display_name), e.file);
  EXPECT_EQ(r.Hashes(), e.hashes);
  EXPECT_EQ(r.data.new_count, 0);
  EXPECT_EQ(r.data.seen_count, e.mails);
}

TEST_F(DovecotTest, EmptyMailboxAndWrongPassword) {
  AccountRun empty;
  empty.Go(Account("empty", "pw3", false));
  ASSERT_TRUE(empty.outcome.finished);
  EXPECT_EQ(empty.File("Account empty"), "");
  EXPECT_EQ(empty.Hashes(), "");
  EXPECT_EQ(empty.outcome.sent.back(), "QUIT\r\n");

  AccountRun wrong;
  wrong.Go(Account("taro", "nope", false));
  ASSERT_TRUE(wrong.outcome.finished);
  EXPECT_EQ(wrong.outcome.errors, (std::vector<std::pair<int, int>>{{3, 3}}));
  EXPECT_EQ(wrong.File("Account taro"), "*ERR\r\n認証に失敗しました。\r\n.\r\n");
  EXPECT_EQ(wrong.outcome.sent.back(), "PASS nope\r\n") << "no QUIT after a refused password";
}

// ------------------------------------------------------- scripted server

class ScriptedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveProgram("/usr/bin/python3")) GTEST_SKIP() << "needs python3";
  }
  // Runs one scenario with account user/pass on the scripted server.
  static void RunScenario(AccountRun& r, const char* scenario, bool apop = false, int tick_ms = 60000) {
    ServerProcess server({"python3", kServers + "/scripted_pop3.py", scenario, "--lifetime", "20"});
    ASSERT_GT(server.port(), 0);
    r.Go(SessionAccount{"user", "pass", "Scripted", "127.0.0.1", server.port(), apop}, tick_ms);
  }
};

TEST_F(ScriptedTest, FailuresEndInTheirErrorEntries) {
  struct Row { const char* scenario; bool apop; std::pair<int, int> error; const char* entry; };
  const Row rows[] = {
      {"greeting-err", false, {2, 1}, "*ERR\r\n接続に失敗しました。\r\n.\r\n"},
      {"user-err", false, {2, 2}, "*ERR\r\n認証に失敗しました。\r\n.\r\n"},
      {"pass-err", false, {3, 3}, "*ERR\r\n認証に失敗しました。\r\n.\r\n"},
      {"apop-err", true, {3, 3}, "*ERR\r\n認証に失敗しました。\r\n.\r\n"},
      {"stat-err", false, {2, 4}, "*ERR\r\n接続中にエラーが発生しました。(2,4)\r\n.\r\n"},
      {"list-err", false, {2, 5}, "*ERR\r\n接続中にエラーが発生しました。(2,5)\r\n.\r\n"},
      {"top-err", false, {2, 6}, "*ERR\r\n接続中にエラーが発生しました。(2,6)\r\n.\r\n"},
      {"close", false, {3, 1}, "*ERR\r\n接続中にエラーが発生しました。(3,1)\r\n.\r\n"},
      {"silent", false, {3, 5}, "*ERR\r\nサーバーより応答がないため、タイムアウトしました。(3,5)\r\n.\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.scenario);
    AccountRun r;
    r.data.timeout = 2;  // two quiet ticks of 300 ms for the silent server
    RunScenario(r, row.scenario, row.apop, 300);
    ASSERT_TRUE(r.outcome.finished);
    ASSERT_FALSE(r.outcome.errors.empty());
    EXPECT_EQ(r.outcome.errors[0], row.error);
    EXPECT_EQ(r.File("Scripted"), row.entry);
    EXPECT_TRUE(r.data.Has(kCheckError));
  }
}

// Servers that never end a reply: the session stops at the reply cap with its
// own error entry, long before the watchdog, and the connection is closed
// although the server is still sending.
TEST_F(ScriptedTest, EndlessRepliesEndTheAccountAtTheCap) {
  for (const char* scenario : {"endless-header", "endless-line"}) {
    SCOPED_TRACE(scenario);
    AccountRun r;
    const auto start = std::chrono::steady_clock::now();
    RunScenario(r, scenario);
    ASSERT_TRUE(r.outcome.finished);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_EQ(r.File("Scripted"), "*ERR\r\nサーバーの応答が大きすぎるため、中断しました。(3,7)\r\n.\r\n");
    EXPECT_TRUE(r.data.Has(kCheckError));
    std::size_t received = 0;
    for (std::size_t n : r.outcome.chunks) received += n;
    EXPECT_GE(received, kMaxReply - 2 * kMaxChunk);
    EXPECT_LE(received, kMaxReply + 2 * kMaxChunk);
  }
}

// A server that hangs up instead of answering QUIT: every mail was fetched,
// so the account keeps them; one that hangs up inside a TOP reply fails it.
TEST_F(ScriptedTest, HangUpAfterQuitKeepsTheMailsAndInsideTopFails) {
  AccountRun ok;
  RunScenario(ok, "ok");
  ASSERT_TRUE(ok.outcome.finished);
  AccountRun r;
  RunScenario(r, "quit-close");
  ASSERT_TRUE(r.outcome.finished);
  EXPECT_EQ(r.File("Scripted"), ok.File("Scripted"));
  EXPECT_EQ(r.Hashes(), ok.Hashes());
  EXPECT_FALSE(r.data.Has(kCheckError));

  AccountRun cut;
  RunScenario(cut, "close-top");
  ASSERT_TRUE(cut.outcome.finished);
  EXPECT_EQ(cut.File("Scripted"), "*ERR\r\n接続中にエラーが発生しました。(3,1)\r\n.\r\n");
}

TEST_F(ScriptedTest, RefusedConnectionIsAConnectionFailure) {
  AccountRun r;
  int port;
  {
    // A port that was just free and has no listener.
    ServerProcess server({"python3", "-c", "import socket;s=socket.socket();s.bind(('127.0.0.1',0));"
                                           "print(s.getsockname()[1],flush=True)"});
    port = server.port();
  }
  r.Go(SessionAccount{"user", "pass", "Scripted", "127.0.0.1", port, false});
  ASSERT_TRUE(r.outcome.finished);
  EXPECT_EQ(r.outcome.errors, (std::vector<std::pair<int, int>>{{1, 5}}));
  EXPECT_EQ(r.File("Scripted"), "*ERR\r\n接続に失敗しました。\r\n.\r\n");
}

TEST_F(ScriptedTest, SplitLowerCaseAndFullChunkRepliesGiveTheUsualFile) {
  AccountRun ok;
  RunScenario(ok, "ok");
  ASSERT_TRUE(ok.outcome.finished);
  const std::string file = ok.File("Scripted");
  ASSERT_EQ(file.substr(0, 6), "+OK 1 ");
  EXPECT_NE(file.find("\r\n.\r\n+OK 2 "), std::string::npos);
  EXPECT_EQ(ok.Hashes().size(), 2u * 33);

  for (const char* scenario : {"top-split", "lower-ok"}) {
    SCOPED_TRACE(scenario);
    AccountRun r;
    RunScenario(r, scenario);
    ASSERT_TRUE(r.outcome.finished);
    EXPECT_TRUE(r.outcome.errors.empty());
    EXPECT_EQ(r.File("Scripted"), file);
    EXPECT_EQ(r.Hashes(), ok.Hashes());
  }

  AccountRun full;
  RunScenario(full, "chunk-8192");
  ASSERT_TRUE(full.outcome.finished);
  EXPECT_TRUE(full.outcome.errors.empty());
  bool saw_full_chunk = false;
  for (std::size_t n : full.outcome.chunks) saw_full_chunk |= n == kMaxChunk;
  EXPECT_TRUE(saw_full_chunk);
  const std::string big = full.File("Scripted");
  const std::size_t second = big.find("\r\n.\r\n+OK 2 ");
  ASSERT_NE(second, std::string::npos);
  // First entry: the LIST line and the whole 8194-byte TOP reply.
  EXPECT_EQ(second + 5 - big.find("\r\n") - 2, kMaxChunk + 2);
  EXPECT_EQ(full.Hashes().size(), 2u * 33);
}

}  // namespace
}  // namespace tidewell
