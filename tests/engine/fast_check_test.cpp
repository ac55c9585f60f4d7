// The fast check (CAPA, pipelined LIST/TOP batches, the unique-id cache)
// against a simulated server: every scenario is run once one by one and once
// fast, with replies delivered whole, split into small pieces and merged into
// large chunks, and the files and counts must come out the same. Then the
// cache file rules and the reply parsers.
#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inkwell2/codec.h"
#include "support/memory_store.h"
#include "tidewell/engine/pop3_session.h"
#include "tidewell/engine/uid_cache.h"

namespace tidewell {
namespace {

using testing::MemoryStore;
using Kind = SessionAction::Kind;

const char kFolder[] = "C:\\tw";
const char kName[] = "Account A";

std::string Md5(std::string_view s) { return inkwell2::md5_hex(s); }
std::string MailPath() { return std::string(kFolder) + "\\Mail\\" + Md5(kName); }
std::string CachePath() { return MailPath() + ".uid"; }
std::string HashPath() { return std::string(kFolder) + "\\Mail\\hash.dat"; }

struct Mail {
  std::string uid;
  std::string header;
};

Mail MakeMail(int i) {
  // Headers of different lengths, one with a Status field, one long enough
  // to span chunks.
  std::string h = "From: sender" + std::to_string(i) + "@example.com\r\nSubject: mail " + std::to_string(i) + "\r\n";
  if (i % 3 == 0) h += "Status: RO\r\n";
  if (i % 5 == 0) h += "X-Long: " + std::string(9000 + i, 'x') + "\r\n";
  return Mail{"uid-" + std::to_string(i * 7919), h};
}

std::vector<Mail> Mails(std::initializer_list<int> numbers) {
  std::vector<Mail> m;
  for (int i : numbers) m.push_back(MakeMail(i));
  return m;
}

// The server side: answers each command line, in order.
struct Server {
  std::vector<Mail> mails;
  bool capa = true;
  bool pipelining = true;
  bool uidl = true;
  int refuse_list = 0;  // LIST of this number answered -ERR
  int refuse_top = 0;   // TOP of this number answered -ERR
  int close_at_top = 0;  // hang up instead of answering TOP of this number
  bool ids_are_numbers = false;  // UIDL gives each mail its number as id
  SessionTls tls = SessionTls::kNone;  // how the account's connection is secured

  std::string Size(int n) const { return std::to_string(mails[n - 1].header.size() + 100); }
  // The reply, or "" with closed = true to hang up.
  std::string Answer(const std::string& line, bool& closed) const {
    const std::string verb = line.substr(0, line.find(' '));
    const int n = line.size() > verb.size() ? std::atoi(line.c_str() + verb.size() + 1) : 0;
    const int count = static_cast<int>(mails.size());
    if (verb == "USER" || verb == "PASS") return "+OK\r\n";
    if (verb == "STLS") return "+OK Begin TLS\r\n";
    if (verb == "STAT") return "+OK " + std::to_string(count) + " 4242\r\n";
    if (verb == "QUIT") return "+OK bye\r\n";
    if (verb == "CAPA") {
      if (!capa) return "-ERR unknown command\r\n";
      std::string r = "+OK Capability list follows\r\nTOP\r\nUSER\r\n";
      if (uidl) r += "UIDL\r\n";
      if (pipelining) r += "PIPELINING\r\n";
      return r + "RESP-CODES\r\n.\r\n";
    }
    if (verb == "UIDL") {
      if (!uidl) return "-ERR unknown command\r\n";
      std::string r = "+OK\r\n";
      for (int i = 1; i <= count; ++i)
        r += std::to_string(i) + " " + (ids_are_numbers ? std::to_string(i) : mails[i - 1].uid) + "\r\n";
      return r + ".\r\n";
    }
    if (verb == "LIST" && line == "LIST") {
      std::string r = "+OK " + std::to_string(count) + " messages\r\n";
      for (int i = 1; i <= count; ++i) r += std::to_string(i) + " " + Size(i) + "\r\n";
      return r + ".\r\n";
    }
    if (verb == "LIST") {
      if (n < 1 || n > count || n == refuse_list) return "-ERR no such message\r\n";
      return "+ok " + std::to_string(n) + " " + Size(n) + "\r\n";
    }
    if (verb == "TOP") {
      if (n == close_at_top) {
        closed = true;
        return {};
      }
      if (n < 1 || n > count || n == refuse_top) return "-ERR no such message\r\n";
      return "+OK\r\n" + mails[n - 1].header + "\r\n.\r\n";
    }
    return "-ERR what\r\n";
  }
};

enum class Delivery {
  kWhole,   // every reply in a chunk of its own (cut at kMaxChunk)
  kSplit,   // 7-byte pieces
  kMerged,  // everything pending in chunks of kMaxChunk
};

struct Outcome {
  std::string mail_file, hash_file;
  int new_count = 0, seen_count = 0, server_count = 0;
  bool error = false;
  bool operator==(const Outcome& o) const {
    return mail_file == o.mail_file && hash_file == o.hash_file && new_count == o.new_count &&
           seen_count == o.seen_count && server_count == o.server_count && error == o.error;
  }
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << "{new " << o.new_count << ", seen " << o.seen_count << ", server " << o.server_count
            << ", error " << o.error << ", file " << o.mail_file.size() << " bytes: "
            << o.mail_file.substr(0, 60) << ", hashes " << o.hash_file.size() << "}";
}

// Plays driver and server: posted messages first, then the server's output
// chunk by chunk, then the hang-up, like the message loop of the driver.
struct Client {
  MemoryStore store;
  EngineData data;
  Pop3Session session{Md5, store};
  std::vector<std::string> writes;  // every send, as one string
  int commands = 0;
  int tops = 0;  // TOP commands among them

  explicit Client(std::uint32_t flags) {
    data.data_folder = kFolder;
    data.flags = flags | kNewMessage;
    data.ResetAccounts(1);
  }

  Outcome Check(const Server& server, Delivery delivery) {
    data.new_count = data.seen_count = 0;
    data.hash_list.clear();
    data.Clear(kCheckError);
    writes.clear();
    session.Start(SessionAccount{"user", "secret", kName, "pop.example", 110, false, server.tls}, data, 0);
    std::deque<SessionAction> posted;
    std::deque<std::string> replies;  // whole replies not yet delivered
    bool closing = false, closed = false, done = false;
    auto run = [&](const SessionActions& actions) {
      for (const SessionAction& a : actions) {
        switch (a.kind) {
          case Kind::kSend: {
            writes.push_back(a.text);
            if (closing) break;
            std::size_t from = 0;
            for (std::size_t e; (e = a.text.find("\r\n", from)) != std::string::npos; from = e + 2) {
              ++commands;
              if (a.text.compare(from, 4, "TOP ") == 0) ++tops;
              bool hang_up = false;
              std::string r = server.Answer(a.text.substr(from, e - from), hang_up);
              if (hang_up) {
                closing = true;
                break;
              }
              replies.push_back(r);
            }
            break;
          }
          case Kind::kPostContinue:
          case Kind::kPostError: posted.push_back(a); break;
          case Kind::kAccountDone: done = true; break;
          case Kind::kStartTls: posted.push_back(a); break;  // the handshake, then OnSecured
          default: break;
        }
      }
    };
    run(session.OnReceive("+OK POP3 ready\r\n"));
    for (int guard = 0; !done && guard < 1000000; ++guard) {
      if (!posted.empty()) {
        const SessionAction m = posted.front();
        posted.pop_front();
        if (m.kind == Kind::kStartTls) run(session.OnSecured());
        else run(m.kind == Kind::kPostContinue ? session.OnContinue() : session.OnError(m.phase, m.code));
      } else if (!replies.empty()) {
        std::string chunk;
        if (delivery == Delivery::kWhole) {
          chunk = replies.front().substr(0, kMaxChunk);
          replies.front().erase(0, chunk.size());
        } else {
          const std::size_t limit = delivery == Delivery::kSplit ? 7 : kMaxChunk;
          while (!replies.empty() && chunk.size() < limit) {
            const std::size_t n = std::min(limit - chunk.size(), replies.front().size());
            chunk += replies.front().substr(0, n);
            replies.front().erase(0, n);
            if (replies.front().empty()) replies.pop_front();
          }
        }
        if (!replies.empty() && replies.front().empty()) replies.pop_front();
        run(session.OnReceive(chunk));
      } else if (closing && !closed) {
        closed = true;
        run(session.OnClosed());
      } else {
        break;
      }
    }
    EXPECT_TRUE(done) << "the session did not end";
    Outcome o;
    o.mail_file = store.files.count(MailPath()) ? store.files[MailPath()] : "<none>";
    o.hash_file = store.files.count(HashPath()) ? store.files[HashPath()] : "<none>";
    o.new_count = data.new_count;
    o.seen_count = data.seen_count;
    o.server_count = data.server_mail_count[0];
    o.error = data.Has(kCheckError);
    return o;
  }
};

struct Scenario {
  const char* name;
  Server first;   // the server at the first check
  Server second;  // ... and at the second
  // TOP commands the second fast check sends, when the row says (-1: any).
  int second_tops = -1;
  // Done to the fast check's cache file between the two checks.
  void (*spoil)(std::string& cache) = nullptr;
};

Server With(std::vector<Mail> mails, void (*tweak)(Server&) = nullptr) {
  Server s;
  s.mails = std::move(mails);
  if (tweak) tweak(s);
  return s;
}

// The mails of a box with a Status field added to mail `n` (its id kept), as
// a server does once another program has read the mail.
std::vector<Mail> WithStatusAdded(std::vector<Mail> mails, int n) {
  mails[n - 1].header += "Status: R\r\n";
  return mails;
}

// A cached entry rewritten whole (framing and checksum good) with a header
// that is not the one its stored hash was taken of.
void ForgeHeader(std::string& cache) {
  UidCacheMap map;
  const std::string key = UidCacheKey("pop.example", 110, "user", 0);
  ASSERT_TRUE(ParseUidCache(cache, key, map));
  std::vector<UidCacheRecord> records;
  for (auto& [uid, entry] : map) {
    const std::size_t at = entry.top_reply.find("Subject: mail 2\r\n");
    if (at != std::string::npos) entry.top_reply.replace(at, 15, "Subject: mail X");
    records.push_back(UidCacheRecord{uid, entry});
  }
  cache = SerializeUidCache(key, records);
}

std::vector<Scenario> Scenarios() {
  const auto box = [](int first, int last) {
    std::vector<Mail> m;
    for (int i = first; i <= last; ++i) m.push_back(MakeMail(i));
    return m;
  };
  return {
      // Ids that are the message numbers: after a deletion in front, id "1"
      // names another mail of the same size; nothing may come from the cache.
      {"ids that follow numbers", With(box(1, 4), [](Server& s) { s.ids_are_numbers = true; }),
       With(box(2, 5), [](Server& s) { s.ids_are_numbers = true; }), 4},
      {"a header changed under its id", With(box(1, 4)), With(WithStatusAdded(box(1, 4), 2)), 1},
      {"the security mode switched to STLS", With(box(1, 3)),
       With(box(1, 3), [](Server& s) { s.tls = SessionTls::kStls; }), 3},
      // A byte of a stored Status field changed, lengths intact: the header
      // hash leaves the Status field out, the entry's checksum does not.
      {"a damaged entry with good framing", With(box(1, 4)), With(box(1, 4)), 1,
       [](std::string& c) { c[c.find("Status: RO") + 9] = 'X'; }},
      {"an entry whose header is not that of its hash", With(box(1, 4)), With(box(1, 4)), 1, ForgeHeader},
      {"nothing changed", With(box(1, 4)), With(box(1, 4)), 0},
      {"new and seen mail", With(Mails({1, 2, 3})), With(Mails({1, 2, 3, 4, 5, 6}))},
      {"a mail deleted in front of others", With(Mails({1, 2, 3, 4, 5})), With(Mails({1, 3, 4, 5, 6}))},
      {"no new mail", With(Mails({1, 2, 3, 4, 5, 6, 7})), With(Mails({1, 2, 3, 4, 5, 6, 7}))},
      {"empty mailbox", With({}), With({})},
      {"mailbox emptied", With(Mails({1, 2})), With({})},
      {"LIST refused in the middle of a batch", With(Mails({1, 2})),
       With(Mails({1, 2, 3, 4, 5}), [](Server& s) { s.refuse_list = 4; })},
      {"TOP refused in the middle of a batch", With(Mails({1, 2, 3, 4, 5}), [](Server& s) { s.refuse_top = 3; }),
       With(Mails({1, 2, 3, 4, 5}), [](Server& s) { s.refuse_top = 3; })},
      {"hang-up in the middle of a batch", With(Mails({1, 2, 3, 4, 5, 6}), [](Server& s) { s.close_at_top = 4; }),
       With(Mails({1, 2, 3, 4, 5, 6, 7}), [](Server& s) { s.close_at_top = 7; })},
      {"CAPA refused", With(Mails({1, 2, 3}), [](Server& s) { s.capa = false; }),
       With(Mails({2, 3, 4}), [](Server& s) { s.capa = false; })},
      {"UIDL without PIPELINING", With(Mails({1, 2, 3}), [](Server& s) { s.pipelining = false; }),
       With(Mails({2, 3, 4}), [](Server& s) { s.pipelining = false; })},
      {"PIPELINING without UIDL", With(Mails({1, 2, 3}), [](Server& s) { s.uidl = false; }),
       With(Mails({2, 3, 4}), [](Server& s) { s.uidl = false; })},
      {"many mails", With([] { std::vector<Mail> m; for (int i = 1; i <= 700; ++i) m.push_back(MakeMail(i)); return m; }()),
       With([] { std::vector<Mail> m; for (int i = 2; i <= 760; ++i) m.push_back(MakeMail(i)); return m; }())},
  };
}

TEST(FastCheck, WritesWhatTheOneByOneSequenceWrites) {
  for (const Scenario& sc : Scenarios()) {
    for (Delivery d : {Delivery::kWhole, Delivery::kSplit, Delivery::kMerged}) {
      SCOPED_TRACE(std::string(sc.name) + " / delivery " + std::to_string(static_cast<int>(d)));
      Client slow(0), fast(kFastCheck);
      // Where the server offers nothing, the fast check falls back to the
      // one-by-one sequence with its chunk rules: then even replies split
      // into pieces must be taken as the one-by-one sequence takes them.
      const Delivery slow_d = sc.first.capa ? Delivery::kWhole : d;
      EXPECT_EQ(fast.Check(sc.first, d), slow.Check(sc.first, slow_d)) << "first check";
      if (sc.spoil) sc.spoil(fast.store.files[CachePath()]);
      fast.tops = 0;
      EXPECT_EQ(fast.Check(sc.second, d), slow.Check(sc.second, slow_d)) << "second check";
      if (sc.second_tops >= 0) EXPECT_EQ(fast.tops, sc.second_tops) << "mails fetched again";
      EXPECT_EQ(slow.store.files.count(CachePath()), 0u);
    }
  }
}

// The round trips: a check without new mail writes USER, PASS, CAPA,
// STAT+UIDL and QUIT, whatever the size of the mailbox; new mails cost one
// batch more; a first check sends all its commands in a few writes.
TEST(FastCheck, CostsWritesPerBatchNotPerMail) {
  std::vector<Mail> box;
  for (int i = 1; i <= 300; ++i) box.push_back(MakeMail(i));
  Client fast(kFastCheck);
  fast.Check(With(box), Delivery::kMerged);
  EXPECT_LE(fast.writes.size(), 5u + 5u) << "first check";
  EXPECT_EQ(fast.writes[2], "CAPA\r\n");
  EXPECT_EQ(fast.writes[3], "STAT\r\nUIDL\r\nLIST\r\n");
  ASSERT_TRUE(fast.store.files.count(CachePath()));

  fast.commands = 0;
  fast.Check(With(box), Delivery::kMerged);
  EXPECT_EQ(fast.writes, (std::vector<std::string>{"USER user\r\n", "PASS secret\r\n", "CAPA\r\n",
                                                   "STAT\r\nUIDL\r\nLIST\r\n", "QUIT\r\n"}));
  EXPECT_EQ(fast.data.seen_count, 300);
  EXPECT_EQ(fast.data.new_count, 0);

  for (int i = 301; i <= 310; ++i) box.push_back(MakeMail(i));
  fast.commands = 0;
  fast.Check(With(box), Delivery::kMerged);
  EXPECT_EQ(fast.writes.size(), 6u);
  EXPECT_EQ(fast.commands, 7 + 20);  // 10 LIST n and 10 TOP
  EXPECT_EQ(fast.data.new_count, 10);
}

// Without PIPELINING one command waits for the other; with neither UIDL nor
// PIPELINING (or CAPA refused) the sequence after CAPA is the one-by-one one.
TEST(FastCheck, WithoutPipeliningOneCommandAtATime) {
  struct Case { const char* name; void (*tweak)(Server&); std::vector<std::string> tail; };
  const Case cases[] = {
      {"CAPA refused", [](Server& s) { s.capa = false; },
       {"STAT\r\n", "LIST 1\r\n", "TOP 1 0\r\n", "LIST 2\r\n", "TOP 2 0\r\n", "QUIT\r\n"}},
      {"neither", [](Server& s) { s.uidl = s.pipelining = false; },
       {"STAT\r\n", "LIST 1\r\n", "TOP 1 0\r\n", "LIST 2\r\n", "TOP 2 0\r\n", "QUIT\r\n"}},
      {"UIDL only", [](Server& s) { s.pipelining = false; },
       {"STAT\r\n", "UIDL\r\n", "LIST\r\n", "LIST 1\r\n", "TOP 1 0\r\n", "LIST 2\r\n", "TOP 2 0\r\n", "QUIT\r\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Client fast(kFastCheck);
    fast.Check(With(Mails({1, 2}), c.tweak), Delivery::kMerged);
    std::vector<std::string> expected{"USER user\r\n", "PASS secret\r\n", "CAPA\r\n"};
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(fast.writes, expected);
  }
}

// MsgCheck counts with STAT alone: no CAPA.
TEST(FastCheck, MsgCheckAsksNoCapabilities) {
  Client fast(kFastCheck | kMsgCheck);
  fast.Check(With(Mails({1, 2})), Delivery::kWhole);
  EXPECT_EQ(fast.writes, (std::vector<std::string>{"USER user\r\n", "PASS secret\r\n", "STAT\r\n", "QUIT\r\n"}));
  EXPECT_EQ(fast.store.files.count(CachePath()), 0u);
}

// The cache is used only when it reads back whole and names this mailbox; a
// failed check leaves the previous one.
TEST(FastCheck, CacheThatCannotBeUsedGivesAFullCheck) {
  const Server box = With(Mails({1, 2, 3}));
  struct Case { const char* name; void (*spoil)(std::string&); };
  const Case cases[] = {
      {"truncated", [](std::string& c) { c.resize(c.size() - 3); }},
      {"trailing byte", [](std::string& c) { c += "x"; }},
      {"other server", [](std::string& c) {
         const std::string key = UidCacheKey("pop.example", 110, "user", 0);
         c.replace(c.find(key), key.size(), UidCacheKey("pop.other.example", 110, "user", 0));
       }},
      {"empty", [](std::string& c) { c.clear(); }},
      // A forged TOP reply under a real id would be believed: the length
      // fields guard only the shape. Left out on purpose.
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Client fast(kFastCheck), slow(0);
    fast.Check(box, Delivery::kMerged);
    slow.Check(box, Delivery::kWhole);
    c.spoil(fast.store.files[CachePath()]);
    fast.commands = 0;
    EXPECT_EQ(fast.Check(box, Delivery::kMerged), slow.Check(box, Delivery::kWhole));
    EXPECT_EQ(fast.commands, 7 + 6) << "every mail fetched again";
    UidCacheMap map;
    EXPECT_TRUE(ParseUidCache(fast.store.files[CachePath()], UidCacheKey("pop.example", 110, "user", 0), map));
    EXPECT_EQ(map.size(), 3u);
  }
  // A failed check keeps the cache it found.
  Client fast(kFastCheck);
  fast.Check(box, Delivery::kMerged);
  const std::string cache = fast.store.files[CachePath()];
  fast.Check(With(Mails({1, 2, 3, 4}), [](Server& s) { s.refuse_top = 4; }), Delivery::kMerged);
  EXPECT_TRUE(fast.data.Has(kCheckError));
  EXPECT_EQ(fast.store.files[CachePath()], cache);
}

TEST(UidCache, RoundTripsAndRefusesDamage) {
  std::vector<UidCacheRecord> records(2);
  records[0].uid = "a1";
  records[0].entry = {1, "+OK 1 10\r\n", "+OK\r\nA: b\r\n\r\n.\r\n", Md5("A: b\r\n\r\n.\r\n"), 4000000000u};
  records[1].uid = "~z";
  records[1].entry = {2, "+OK 2 20\r\n", std::string("+OK\r\nB: \0c\r\n\r\n.\r\n", 16)};
  const std::string key = UidCacheKey("host", 110, "me", 1);
  const std::string text = SerializeUidCache(key, records);
  UidCacheMap map;
  ASSERT_TRUE(ParseUidCache(text, key, map));
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map["~z"].top_reply, records[1].entry.top_reply);
  EXPECT_EQ(map["a1"].number, 1);
  EXPECT_EQ(map["a1"].list_line, "+OK 1 10\r\n");
  EXPECT_EQ(map["a1"].hash, records[0].entry.hash);
  EXPECT_EQ(map["a1"].size, 4000000000u);
  EXPECT_EQ(map["a1"].check, EntryChecksum("+OK 1 10\r\n", records[0].entry.top_reply));
  EXPECT_EQ(map["~z"].hash, "") << "a mail without a hash stays without";

  EXPECT_FALSE(ParseUidCache(text, UidCacheKey("host", 111, "me", 1), map));
  EXPECT_FALSE(ParseUidCache(text, UidCacheKey("host", 110, "me", 2), map)) << "another security mode";
  EXPECT_TRUE(map.empty());
  // Every cut of the file is refused.
  for (std::size_t n = 0; n < text.size(); ++n) EXPECT_FALSE(ParseUidCache(text.substr(0, n), key, map)) << n;
  std::vector<UidCacheRecord> twice{records[0], records[0]};
  EXPECT_FALSE(ParseUidCache(SerializeUidCache(key, twice), key, map)) << "an id twice";
  std::string bad_uid = text;
  bad_uid.replace(bad_uid.find("a1 "), 3, "a\x01 ");
  EXPECT_FALSE(ParseUidCache(bad_uid, key, map));
  std::string bad_hash = text;
  bad_hash.replace(bad_hash.find(records[0].entry.hash), 1, "G");
  EXPECT_FALSE(ParseUidCache(bad_hash, key, map)) << "a hash that is not MD5 text";
}

TEST(UidCache, UidlListingMustNameEveryMailOnce) {
  struct Case { const char* name; std::string reply; int count; bool ok; };
  const Case cases[] = {
      {"good", "+OK\r\n1 aa\r\n2 bb\r\n.\r\n", 2, true},
      {"empty", "+OK\r\n.\r\n", 0, true},
      {"fewer than STAT", "+OK\r\n1 aa\r\n.\r\n", 2, false},
      {"more than STAT", "+OK\r\n1 aa\r\n2 bb\r\n.\r\n", 1, false},
      {"out of order", "+OK\r\n2 bb\r\n1 aa\r\n.\r\n", 2, false},
      {"id twice", "+OK\r\n1 aa\r\n2 aa\r\n.\r\n", 2, false},
      {"id too long", "+OK\r\n1 " + std::string(71, 'a') + "\r\n.\r\n", 1, false},
      {"longest id", "+OK\r\n1 " + std::string(70, 'a') + "\r\n.\r\n", 1, true},
      {"no id", "+OK\r\n1\r\n.\r\n", 1, false},
      {"space in id", "+OK\r\n1 a b\r\n.\r\n", 1, false},
      {"refused", "-ERR no\r\n", 0, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> ids;
    EXPECT_EQ(ParseUidlListing(c.reply, c.count, ids), c.ok) << c.name;
    if (c.ok) EXPECT_EQ(static_cast<int>(ids.size()), c.count) << c.name;
  }
}

TEST(UidCache, CapabilitiesByNameWithoutCase) {
  Capabilities caps = ParseCapabilities("+OK\r\nTOP\r\npipelining\r\nUidl\r\n.\r\n");
  EXPECT_TRUE(caps.pipelining);
  EXPECT_TRUE(caps.uidl);
  caps = ParseCapabilities("+OK\r\nPIPELININGX\r\nSASL UIDL\r\n.\r\n");
  EXPECT_FALSE(caps.pipelining);
  EXPECT_FALSE(caps.uidl);
  caps = ParseCapabilities("-ERR PIPELINING\r\n");
  EXPECT_FALSE(caps.pipelining);
}

}  // namespace
}  // namespace tidewell
