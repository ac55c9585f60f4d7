// The POP3 check session driven by arbitrary events in arbitrary order:
// server chunks (also long runs of them, to reach the reply cap), the
// internal continue, errors, watchdog ticks, connect errors and hang-ups,
// with the posted messages delivered whenever the input says so.
//
// The caps are set small (as SessionLimits allows) so that floods of small
// replies, long listings and a huge STAT count reach them.
//
// Checked after every step: no reply ever holds more than kMaxReply bytes,
// the session text, the hash list and the text waiting to be taken apart
// stay within their caps;
// no USER, PASS or APOP goes out before a greeting was read, nor, for an
// account with STLS or TLS on connect, before the driver reported TLS set up
// (which it does only after STLS was accepted, or after the connect); STLS
// asks for the handshake at most once, and only for an STLS account; the session
// ends at most once, and, after the input is spent, forcing the end (the
// server hangs up, the watchdog runs out) ends it exactly once; the account
// mail file is written at most once per session.
//
// The account comes the way the engine gets it: a version-7 Account.dat with
// the password sealed (or scrambled, as tools/account_dat.py writes it), read
// back by its owner or by another user who cannot open it. Then, as the
// driver does, the session ends with the password error before any
// connection, and no login command ever goes out, whatever arrives.
//
// Or the account signs in with OAuth (bits of the account byte): a token,
// none yet, or one just had, or a sign-in failure the driver met. Checked:
// no USER, PASS or APOP at all; a start failure (no TLS, the driver's
// failure) sends nothing; AUTH only once the connection is secured; the
// token never goes as it is, and its Base64 responses only in AUTH or as
// the line after "+"; the session asks for a fresh token at most once, and
// the input answers it with a token or a failure; no token in any file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/oauth/sasl.h"
#include "inkwell2/codec.h"
#include "tests/common/stand_in_protector.h"
#include "tidewell/engine/pop3_session.h"
#include "tidewell/engine/session_account.h"
#include "tidewell/settings/account_file.h"

namespace {

using tidewell::SessionAction;
using tidewell::SessionActions;
using Kind = SessionAction::Kind;

void Check(bool ok) {
  if (!ok) std::abort();
}

class Store : public tidewell::SessionStore {
 public:
  bool Read(const std::string& path, std::string& out) override {
    auto it = files.find(path);
    if (it == files.end()) return false;
    out = it->second;
    return true;
  }
  bool Write(const std::string& path, std::string_view bytes) override {
    files[path] = std::string(bytes);
    ++writes[path];
    return true;
  }
  std::map<std::string, std::string> files;
  std::map<std::string, int> writes;
};

std::string Md5(std::string_view s) { return inkwell2::md5_hex(s); }

// Reads the input as a sequence of operations.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  bool empty() const { return p_ == end_; }
  std::uint8_t Byte() { return p_ == end_ ? 0 : *p_++; }
  std::string_view Bytes(std::size_t n) {
    const std::size_t left = static_cast<std::size_t>(end_ - p_);
    if (n > left) n = left;
    std::string_view out(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return out;
  }

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

constexpr tidewell::SessionLimits kLimits{64 * 1024, 2 * 1024, 16 * 1024, 200};

// Bits of `how`: 1 another user reads the file, 2 no password, 4 the file
// holds the password scrambled.
tidewell::SessionAccount AccountFromFile(std::uint8_t how, bool apop, tidewell::SessionTls tls) {
  tidewell::CAccount a;
  a.user_id = "user";
  a.password = (how & 2) ? "" : "secret";
  a.display_name = "acct";
  a.server = "h";
  a.apop = apop ? 1 : 0;
  a.tls_mode = static_cast<int>(tls);
  tidewell::StandInProtector owner("taro"), other("hanako");
  const std::string file = tidewell::EncodeAccountFile({a}, 7, (how & 4) ? nullptr : &owner);
  tidewell::AccountList list;
  Check(tidewell::ParseAccountFile(file, tidewell::AccountReader::kEngine, list, (how & 1) ? &other : &owner) ==
        tidewell::AccountFileStatus::kOk);
  Check(list.size() == 1);
  const tidewell::SessionAccount account = tidewell::ToSessionAccount(list[0]);
  // Only a sealed password of another user cannot be read.
  Check(account.password_unreadable == ((how & 7) == 1));
  Check(account.password == (account.password_unreadable ? "" : a.password.str()));
  return account;
}

const std::string kLongToken = "eyJ0eXAiOiJKV1QifQ." + std::string(300, 'q');

// Bits of the account byte beyond those of AccountFromFile: 8 OAuth, 16 no
// token yet / a long token (with OAuth), 32 the token is fresh, 64|128 the
// driver's sign-in failure (none, 1, 2, 5).
void MakeOAuth(std::uint8_t how, tidewell::SessionAccount& account) {
  if (!(how & 8)) return;
  account.oauth = true;
  account.access_token = (how & 16) ? ((how & 32) ? kLongToken : "") : "tok-first";
  account.token_fresh = (how & 32) != 0;
  static const int kFailures[] = {0, tidewell::kSignInNeeded, tidewell::kSignInRefreshFailed,
                                  tidewell::kSignInNoClientId};
  account.signin_failure = kFailures[how >> 6];
}

struct Harness {
  Harness(std::uint32_t flags, const tidewell::SessionAccount& account, int timeout, tidewell::SessionTls tls)
      : tls(tls), unreadable(account.password_unreadable), oauth(account.oauth),
        start_failure(static_cast<bool>(tidewell::SessionStartFailure(account))) {
    for (const std::string& token : {std::string("tok-first"), std::string("tok-fresh"), kLongToken}) {
      tokens.push_back(token);
      responses.push_back(tidewell::oauth::XOAuth2InitialResponse(account.user, token));
      responses.push_back(tidewell::oauth::OAuthBearerInitialResponse(account.user, account.server, account.port, token));
    }
    data.data_folder = "C:\\tw";
    data.flags = flags;
    data.timeout = timeout;
    data.ResetAccounts(1);
    // A previous account mail file, for the NewMessage comparison.
    store.files[tidewell::AccountMailFilePath(data.data_folder, Md5("acct"))] =
        "+OK 1 10\r\n+OK\r\nSubject: a\r\n\r\n.\r\n";
    // A unique-id cache naming mail "a", for the fast check.
    std::vector<tidewell::UidCacheRecord> cached(1);
    cached[0].uid = "a";
    cached[0].entry = {1, "+OK 1 10\r\n", "+OK\r\nSubject: a\r\n\r\n.\r\n", Md5("Subject: a\r\n\r\n.\r\n"), 10};
    store.files[tidewell::AccountMailFilePath(data.data_folder, Md5("acct")) + ".uid"] =
        tidewell::SerializeUidCache(tidewell::UidCacheKey("h", 110, "user", static_cast<int>(tls)), cached);
    session.set_limits(kLimits);
    session.Start(account, data, 0);
    // The driver makes no connection: it reports the error at once.
    if (const tidewell::StartFailure f = tidewell::SessionStartFailure(account)) {
      Check(unreadable || oauth);
      queue.push_back(SessionAction{Kind::kPostError, {}, f.phase, f.code});
    }
  }

  void CheckSent(const std::string& t) {
    // Nothing goes out after a start failure (a QUIT the input's stray
    // phase-2 error asks for carries nothing).
    if (start_failure) Check(t == "QUIT\r\n");
    if (t.rfind("USER ", 0) == 0 || t.rfind("PASS ", 0) == 0 || t.rfind("APOP ", 0) == 0)
      Check(!oauth && !unreadable && greeting_read && (tls == tidewell::SessionTls::kNone || secured));
    if (t.rfind("AUTH ", 0) == 0) Check(oauth && secured && tls != tidewell::SessionTls::kNone);
    for (const std::string& token : tokens) Check(t.find(token) == std::string::npos);
    for (const std::string& r : responses) {
      if (t.find(r) == std::string::npos) continue;
      Check(oauth && secured && tls != tidewell::SessionTls::kNone);
      Check(t.rfind("AUTH ", 0) == 0 || t == r + "\r\n");
    }
  }

  // The driver's answer to kRefreshToken: a fresh token or a failure.
  void AnswerRefresh(bool with_token, int code) {
    if (!refresh_pending) {
      // Unasked answers (a late one) change nothing.
      const std::size_t before = sent;
      Run(with_token ? session.OnToken("tok-fresh") : session.OnTokenFailure(code));
      Check(sent == before);
      return;
    }
    refresh_pending = false;
    Run(with_token ? session.OnToken("tok-fresh") : session.OnTokenFailure(code));
  }

  void Run(const SessionActions& actions) {
    for (const SessionAction& a : actions) {
      switch (a.kind) {
        case Kind::kSend:
          CheckSent(a.text);
          ++sent;
          break;
        case Kind::kRefreshToken:
          Check(oauth && secured && refreshes == 0 && !refresh_pending);
          ++refreshes;
          refresh_pending = true;
          break;
        case Kind::kStartTls:
          Check(tls == tidewell::SessionTls::kStls && !tls_started);
          tls_started = true;
          break;
        case Kind::kPostContinue:
        case Kind::kPostError: queue.push_back(a); break;
        case Kind::kAccountDone: ++account_done; break;
        case Kind::kKillWatchdog:
        case Kind::kCloseConnection: break;
      }
    }
    Check(account_done <= 1);
    Check(session.message_buffer().size() <= tidewell::kMaxReply);
    Check(session.session_text().size() <= kLimits.session_text);
    Check(data.hash_list.size() <= kLimits.hash_list);
    // A listing waits for its end up to its cap, a reply up to kMaxReply;
    // one chunk may come on top before the cap is seen.
    Check(session.buffered() <= tidewell::kMaxReply + tidewell::kMaxChunk);
    for (const auto& w : store.writes) Check(w.second <= 1);
    for (const auto& f : store.files)
      for (const std::string& token : tokens) Check(f.second.find(token) == std::string::npos);
  }

  void Receive(std::string_view chunk) {
    if (session.state() == tidewell::SessionState::kAwaitGreeting && !chunk.empty()) greeting_read = true;
    Run(session.OnReceive(chunk));
  }

  // The driver's report that TLS is set up and the certificate checked: it
  // comes only once the handshake has started.
  void Secured() {
    const bool started = tls == tidewell::SessionTls::kOnConnect ||
                         (tls == tidewell::SessionTls::kStls && tls_started);
    if (!started || secured) return;
    secured = true;
    Run(session.OnSecured());
  }

  // Delivers the oldest posted message, as the message loop would.
  void DeliverOne() {
    if (queue.empty()) return;
    const SessionAction m = queue.front();
    queue.pop_front();
    if (m.kind == Kind::kPostContinue) Run(session.OnContinue());
    else Run(session.OnError(m.phase, m.code));
  }
  void DeliverAll() {
    for (int guard = 0; !queue.empty() && guard < 100000; ++guard) DeliverOne();
    Check(queue.empty());
  }

  Store store;
  tidewell::EngineData data;
  tidewell::Pop3Session session{Md5, store};
  std::deque<SessionAction> queue;
  bool greeting_read = false;
  int account_done = 0;
  tidewell::SessionTls tls;
  bool unreadable;
  bool oauth;
  bool start_failure;
  bool tls_started = false;
  bool secured = false;
  bool refresh_pending = false;
  int refreshes = 0;
  std::size_t sent = 0;
  std::vector<std::string> tokens, responses;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint8_t setup = in.Byte();
  std::uint32_t flags = 0;
  if (setup & 1) flags |= tidewell::kMsgCheck;
  if (setup & 2) flags |= tidewell::kNewMessage;
  if (setup & 0x40) flags |= tidewell::kFastCheck;
  const int timeout = static_cast<int>((setup >> 3) & 7) - 1;  // -1..6: below 1 acts as 5
  const auto tls = static_cast<tidewell::SessionTls>((setup >> 6) % 3);
  const std::uint8_t how = in.Byte();
  tidewell::SessionAccount account = AccountFromFile(how, (setup & 4) != 0, tls);
  MakeOAuth(how, account);
  Harness h(flags, account, timeout, tls);

  static const std::string kFiller(tidewell::kMaxChunk, 'x');
  while (!in.empty()) {
    const std::uint8_t op = in.Byte();
    switch (op % 15) {
      case 0:
      case 1:
      case 2: {  // a chunk of up to 255 bytes taken from the input
        const std::size_t n = in.Byte();
        h.Receive(in.Bytes(n));
        break;
      }
      case 3: {  // a well-formed reply, to get deep into the session quickly
        static const char* const kReplies[] = {"+OK ready <1.2@h>\r\n", "+OK\r\n", "+OK 2 300\r\n",
                                               "+OK 1 100\r\n", "+OK\r\nSubject: a\r\n\r\n.\r\n",
                                               "-ERR no\r\n", "\r\n.\r\n", "+OK 0 0\r\n",
                                               "+OK\r\nPIPELINING\r\nUIDL\r\n.\r\n", "+OK\r\nUIDL\r\n.\r\n",
                                               "+OK\r\n1 a\r\n2 b\r\n.\r\n",
                                               "+OK 2 300\r\n+OK\r\n1 a\r\n2 b\r\n.\r\n+OK 2 20\r\n",
                                               "+OK\r\n1 10\r\n2 20\r\n.\r\n", "+OK\r\n1 1\r\n2 2\r\n.\r\n",
                                               "+OK 2147483647 0\r\n", "+OK 150 0\r\n",
                                               // the sign-in
                                               "+ \r\n", "+OK\r\nSASL PLAIN XOAUTH2 OAUTHBEARER\r\n.\r\n",
                                               "+OK\r\nSASL PLAIN\r\n.\r\n", "-ERR [AUTH] invalid\r\n",
                                               "+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\r\n"};
        h.Receive(kReplies[in.Byte() % (sizeof kReplies / sizeof kReplies[0])]);
        break;
      }
      case 4: {  // a run of full chunks: a reply without end
        const int chunks = 1 + in.Byte() % 160;
        for (int i = 0; i < chunks; ++i) h.Receive(kFiller);
        break;
      }
      case 5: h.DeliverOne(); break;
      case 6: {
        const int phase = 1 + in.Byte() % 4;
        const int code = in.Byte() % 8;
        h.Run(h.session.OnError(phase, code));
        break;
      }
      case 7:
        h.session.OnSocketEvent();
        h.Run(h.session.OnWatchdogTick());
        break;
      case 8: h.Run(h.session.OnConnectError()); break;
      case 9: h.Run(h.session.OnClosed()); break;
      case 10: h.Secured(); break;
      case 11: h.Run(h.session.OnDeadlineTick()); break;
      case 12: {  // a flood of small replies: "+OK n n" lines, short headers, listing lines
        static const char* const kSmall[] = {"+OK 1 10\r\n", "+OK\r\nA: b\r\n\r\n.\r\n", "1 a\r\n", "1 10\r\n"};
        const char* piece = kSmall[in.Byte() % 4];
        const int n = 1 + in.Byte() * 16;
        for (int i = 0; i < n && h.session.active(); ++i) {
          h.Receive(piece);
          if (i % 8 == 7) h.DeliverAll();
        }
        break;
      }
      case 13: h.AnswerRefresh(true, 0); break;
      case 14: h.AnswerRefresh(false, in.Byte() % 7); break;
    }
  }

  // Whatever state the input left, the session ends exactly once: the posted
  // messages are delivered, the server hangs up, and the watchdog runs out.
  h.DeliverAll();
  if (h.session.active()) {
    h.Run(h.session.OnClosed());
    h.DeliverAll();
  }
  for (int tick = 0; h.session.active() && tick < 10; ++tick) {
    h.Run(h.session.OnWatchdogTick());
    h.DeliverAll();
  }
  Check(!h.session.active());
  Check(h.account_done == 1);
  // Nothing that still arrives ends it again.
  h.Receive("+OK\r\n");
  h.Run(h.session.OnContinue());
  h.Run(h.session.OnError(3, 1));
  h.Run(h.session.OnClosed());
  h.DeliverAll();
  Check(h.account_done == 1);
  return 0;
}
