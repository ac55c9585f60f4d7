// The POP3 check session of one account as a state machine without I/O.
//
// The Win32 driver (TrayWindow) owns the socket, the host name lookup and the
// watchdog timer. It feeds the machine what happens (received chunks, the
// internal continue, errors, watchdog ticks) and carries out the actions the
// machine returns, in order. The machine itself reads the previous account
// mail file and writes the account mail file and \Mail\hash.dat through an
// injected SessionStore (the disk store replaces files atomically), and takes
// MD5 digests through an injected function (MD5Calc of Inkwell2.dll on
// Windows).
//
// Driver contract, per account (Start is called when CheckCycle asks for
// kStartSession):
//   1. session.Start(account, data, index)
//   2. WSAStartup; on failure: session.Abort() and run
//      cycle.OnSocketStartupFailed(); stop.
//   3. inet_addr(server) ok -> connect; else WSAAsyncGetHostByName.
//      Start WatchdogTimer (60000 ms).
//   Socket set-up failures: post WM_TRAY_ERROR with the phase/code below,
//   then on WM_TRAY_ERROR call session.OnError(phase, code):
//      lookup failed (1,2), socket() failed (1,3), WSAAsyncSelect failed
//      (1,4), connect failed at once (1,5). A lookup answer for any task
//      handle but the pending one (a cancelled lookup) is ignored.
//   WM_TRAY_SOCKET for the session socket (events of an already closed socket
//   may still be queued: compare wParam): session.OnSocketEvent() and
//   restart WatchdogTimer (or move its due time, WatchdogSchedule); then FD_READ: recv up to kMaxChunk bytes; 0 or
//   SOCKET_ERROR -> post WM_TRAY_ERROR (3,1); otherwise
//   session.OnReceive(bytes). FD_CONNECT with an error:
//   session.OnConnectError(). FD_CLOSE: receive and feed what is still
//   pending, then session.OnClosed(). Other events: nothing.
//   WM_TRAY_CONTINUE: session.OnContinue().
//   TLS (account.tls not kNone): the driver puts a TLS channel between the
//   socket and the session. TLS on connect: the handshake starts at
//   FD_CONNECT; STLS: at the kStartTls action, on the same connection. Once
//   the handshake is done and the server's certificate checked, the driver
//   calls session.OnSecured() and from then on feeds decrypted text to
//   OnReceive and encrypts what kSend carries. A failed handshake or
//   certificate check posts WM_TRAY_ERROR with phase 4 (codes below); the
//   driver never sends a kSend text in clear while TLS is wanted.
//   WatchdogTimer tick: session.OnWatchdogTick().
//   DeadlineTimer: started with WatchdogTimer (60000 ms), never restarted by
//   socket events; each tick: session.OnDeadlineTick(). kKillWatchdog stops
//   both timers.
//   Disconnect (32775) and exit while checking: close the connection, kill
//   WatchdogTimer, session.Abort() (no file is written).
// MD5Calc takes C text: a header holding a zero byte is hashed up to it on
// Windows, which is what the list library does with the same text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/check_errors.h"
#include "common/header_hash.h"
#include "common/oauth/pop3_signin.h"
#include "common/pop3_text.h"
#include "tidewell/engine/engine_data.h"
#include "tidewell/engine/uid_cache.h"

namespace tidewell {

// Largest chunk one FD_READ delivers.
constexpr std::size_t kMaxChunk = 8192;

// How the connection of a session is secured.
enum class SessionTls : int {
  kNone = 0,       // clear text
  kStls = 1,       // clear greeting, STLS, TLS handshake, then the login
  kOnConnect = 2,  // TLS from the first byte
};

// Most one reply may hold: the LIST reply and the TOP reply of one mail
// together. Real headers stay far below it (Postfix refuses headers over
// 100 KiB by default, Exim over 1 MiB), while a server that sends a header
// without end is stopped before it costs more than a few MiB. Single-line
// replies are not joined, so each of them is at most one chunk.
constexpr std::size_t kMaxReply = 1024 * 1024;

// Most the session text of one account may hold: the account mail file.
// Thousands of mails fit (3,000 headers of 4 KiB are 12 MiB); a server that
// claims more mails than that, or feeds small replies without end, is stopped
// here. With the previous account mail file (12 MiB), its index (at most
// 8 MiB), the unique-id cache (about the size of that file) and the session
// text growing, an account costs at most about 56 MiB at its peak.
constexpr std::size_t kMaxSessionText = 12u * 1024 * 1024;
// Most the hash list of a check may hold, all accounts together: a header
// hash and its line feed are 33 bytes, so about 127,000 mails.
constexpr std::size_t kMaxHashList = 4u * 1024 * 1024;
// Fast check: most a multi-line UIDL or LIST listing may hold, and most mails
// a listing may name (more than the session text can hold anyway).
constexpr std::size_t kMaxListing = 4u * 1024 * 1024;
constexpr int kMaxListedMails = 100000;

// The caps a session applies; tests and the fuzz target set smaller ones to
// reach them quickly.
struct SessionLimits {
  std::size_t session_text = kMaxSessionText;
  std::size_t hash_list = kMaxHashList;
  std::size_t listing = kMaxListing;
  int listed_mails = kMaxListedMails;
};

// A reply, a listing, the session text or the hash list grown past its cap
// ends the account with (kReplyTooLargePhase, kReplyTooLargeCode), see
// common/check_errors.h, like a broken connection; the next account is
// checked.

// Overall deadline of one account's session, in ticks of DeadlineTimer (one
// a minute from the start of the session, whatever the socket does): this
// many times the time-out setting. The watchdog alone ends a session only
// after `timeout` minutes without any socket event, so a server sending a
// byte a minute would hold the check for ever; the deadline ends it with the
// time-out entry (3,5). The default time-out of 5 minutes gives 30 minutes,
// far more than even a first check of a large mailbox needs.
constexpr int kDeadlineFactor = 6;

// What a session needs of an account (the Win32 side maps CAccount to it).
struct SessionAccount {
  std::string user;          // user ID
  std::string password;
  std::string display_name;  // names the account mail file
  std::string server;        // host name or dotted IPv4 address
  int port = 110;            // used as a 16-bit number by the driver
  bool apop = false;
  SessionTls tls = SessionTls::kNone;
  bool password_unreadable = false;  // see kPasswordUnreadableCode: no connection is made
  // OAuth 2.0 sign-in: SASL XOAUTH2 or OAUTHBEARER with `access_token` in
  // place of USER/PASS or APOP (apop and the password are not used). The
  // SASL user is `user`.
  bool oauth = false;
  std::string access_token{};  // empty: the session asks for one (kRefreshToken) before AUTH
  bool token_fresh = false;  // just had from the token endpoint: a refusal is not mended by another
  // A SignInErrorCode the driver met before the session (no refresh token,
  // no client id, ...): the session ends at once with that entry, like an
  // unreadable password.
  int signin_failure = 0;
};

// The error an account ends with before any connection is made, in this
// order: OAuth without TLS (kSignInErrorPhase, kSignInNotSecured), the
// driver's sign-in failure (kSignInErrorPhase, signin_failure), a password
// that could not be read (kAccountErrorPhase, kPasswordUnreadableCode; not
// for OAuth accounts). phase 0: the account may connect. The driver posts it
// as WM_TRAY_ERROR in place of connecting; a greeting that arrives anyway
// gets no command.
struct StartFailure {
  int phase = 0;
  int code = 0;
  explicit operator bool() const { return phase != 0; }
};
StartFailure SessionStartFailure(const SessionAccount& account);

// Session states; the numbers are those the engine has always used.
enum class SessionState : int {
  kIdle = 0,             // no session, or the session is over
  kAwaitGreeting = 1,
  kAwaitUser = 2,
  kAwaitLogin = 3,       // reply to PASS or APOP
  kAwaitStat = 4,
  kAwaitQuit = 5,        // reply to QUIT, or the continue after an error
  kAwaitTop = 7,
  kAwaitList = 8,
  kNextMessage = 10,     // internal: ask for the next mail or quit
  kMessageDone = 11,     // internal: store the finished entry
  kMessageFetched = 12,  // internal: after a complete TOP reply
  kAwaitStls = 13,       // reply to STLS
  kAwaitHandshake = 14,  // the driver runs the TLS handshake after STLS
  // Fast check (FastCheck on, MsgCheck off): after the login the session
  // asks CAPA. With PIPELINING or UIDL announced it reads every reply from
  // here on through one receive buffer, matching replies to the commands in
  // the order they were sent.
  kAwaitCapa = 15,       // multi-line reply to CAPA
  kAwaitUidl = 16,       // multi-line reply to UIDL (after STAT)
  kAwaitMails = 17,      // replies to the LIST n / TOP n 0 commands sent
  kAwaitSizes = 18,      // multi-line reply to LIST (after UIDL)
  // OAuth sign-in, once the connection is secured: CAPA for the mechanisms,
  // then AUTH, and while the driver gets a fresh token, nothing.
  kAwaitAuthCapa = 19,   // multi-line reply to CAPA before AUTH
  kAwaitAuth = 20,       // the replies of the AUTH exchange
  kAwaitToken = 21,      // kRefreshToken returned: OnToken or OnTokenFailure next
};

// Fast check: most bytes of commands sent and not yet answered; the next
// batch goes out once half of it is answered. Through a slow network every
// round trip costs as much as a few thousand replies, so the window holds
// the commands of well over a thousand mails. The socket is non-blocking:
// what it does not take at once waits for FD_WRITE while the replies go on
// being read, so a server that is busy writing cannot hold it up.
constexpr std::size_t kCommandWindow = 64 * 1024;
// Most mails planned ahead of the first one not yet complete.
constexpr std::size_t kMaxPlannedMails = 4096;

// One thing for the driver to do.
struct SessionAction {
  enum class Kind {
    kSend,             // send `text` whole with one send(): one command, or a batch of
                       // them (at most kCommandWindow bytes, see the fast check)
    kPostContinue,     // post WM_TRAY_CONTINUE (wParam 0, lParam 0)
    kPostError,        // post WM_TRAY_ERROR (wParam phase, lParam code)
    kKillWatchdog,     // KillTimer(WatchdogTimer) and KillTimer(DeadlineTimer)
    kCloseConnection,  // shutdown(SD_SEND), drain, shutdown(SD_BOTH), closesocket, WSACleanup
    kAccountDone,      // post WM_TRAY_ACCOUNTDONE (wParam 0, lParam 0)
    kStartTls,         // begin the TLS handshake on the connection (after STLS)
    kRefreshToken,     // get a fresh access token (forced refresh), then call
                       // OnToken or OnTokenFailure; the connection stays open
  };
  SessionAction(Kind k, std::string t = {}, int p = 0, int c = 0)  // NOLINT: implicit
      : kind(k), text(std::move(t)), phase(p), code(c) {}

  Kind kind;
  std::string text;  // kSend
  int phase = 0;     // kPostError
  int code = 0;      // kPostError

  bool operator==(const SessionAction& o) const {
    return kind == o.kind && text == o.text && phase == o.phase && code == o.code;
  }
};
using SessionActions = std::vector<SessionAction>;

// MD5 text (32 lower-case hex digits) of bytes; empty when no digest can be
// had (the codec library is missing).
using Md5Function = std::function<std::string(std::string_view)>;

// File access of the session.
class SessionStore {
 public:
  virtual ~SessionStore() = default;
  // Reads a whole file; false when it cannot be opened.
  virtual bool Read(const std::string& path, std::string& out) = 0;
  // Replaces a file whole, atomically; false on failure.
  virtual bool Write(const std::string& path, std::string_view bytes) = 0;
};

// The real disk: ReadWholeFile and WriteFileAtomically.
class DiskSessionStore : public SessionStore {
 public:
  bool Read(const std::string& path, std::string& out) override;
  bool Write(const std::string& path, std::string_view bytes) override;
};

// data folder + "\Mail\" + md5 text of the display name.
std::string AccountMailFilePath(const std::string& data_folder, const std::string& name_md5);
// data folder + "\Mail\hash.dat".
std::string HashFilePath(const std::string& data_folder);

// Error entries: "*ERR\r\n" + message + "\r\n.\r\n" (Shift_JIS) for an error
// of the given phase and code.
std::string ErrorEntry(int phase, int code);

// The header hash of a message buffer: HeaderHashText (common/header_hash.h).

// When the WatchdogTimer messages of a session are real ticks.
//
// The watchdog must tick 60000 ms after the latest socket event, and every
// 60000 ms after that. Restarting the timer at every socket event costs a
// system call per event (two per mail); instead the driver notes the event
// time here and leaves the timer running. When the timer fires before the
// tick is due, the driver re-arms it for the time still missing and the
// message is not a tick; once the tick is due, it is one, and the timer goes
// back to its full period. The ticks thus come when restarting at every
// event would give them. Times are millisecond counters that may wrap.
class WatchdogSchedule {
 public:
  static constexpr std::uint32_t kPeriod = 60000;
  // A fire this close to the due time counts as the tick: timers are not
  // more exact than that, and re-arming for a few milliseconds gains nothing.
  static constexpr std::uint32_t kTolerance = 50;

  struct Fire {
    bool tick = false;       // a real tick: count it
    std::uint32_t rearm = 0;  // set the timer to this period; 0: leave it
  };

  // The timer was (re)started with kPeriod at `now`.
  void Start(std::uint32_t now) {
    due_ = now + kPeriod;
    armed_ = kPeriod;
  }
  // A socket event at `now`: the next tick is due a whole period later.
  void Event(std::uint32_t now) { due_ = now + kPeriod; }
  // The timer fired at `now`.
  Fire OnFire(std::uint32_t now);

 private:
  std::uint32_t due_ = kPeriod;
  std::uint32_t armed_ = kPeriod;  // period the timer runs with
};

class SeenIndex;

class Pop3Session {
 public:
  Pop3Session(Md5Function md5, SessionStore& store);
  ~Pop3Session();
  Pop3Session(const Pop3Session&) = delete;
  Pop3Session& operator=(const Pop3Session&) = delete;

  // Begins a session for account `index` of `data`: empties the session
  // text, state := AwaitGreeting, watchdog ticks := 0. `data` must outlive
  // the session; the session reads MsgCheck and NewMessage from its flags,
  // sets CheckError, and updates new count, seen count, the hash list and
  // data.server_mail_count[index].
  void Start(const SessionAccount& account, EngineData& data, int index);

  // A chunk received by one FD_READ (at most kMaxChunk bytes, taken whole,
  // a zero byte included).
  SessionActions OnReceive(std::string_view chunk);
  // WM_TRAY_CONTINUE: the internal "+OK".
  SessionActions OnContinue();
  // WM_TRAY_ERROR (phase 1..3, code).
  SessionActions OnError(int phase, int code);
  // FD_CONNECT with an error: returns the error to post for the current state
  // ((3,3) in AwaitLogin, (1,6) in AwaitGreeting, (3,1) otherwise).
  SessionActions OnConnectError();
  // The driver finished the TLS handshake and the server's certificate
  // passed the check. After STLS this sends the login; with TLS on connect
  // the greeting is awaited next.
  SessionActions OnSecured();
  // After kRefreshToken: the fresh access token (AUTH is sent again on the
  // same connection), or the SignInErrorCode of the failed refresh (QUIT;
  // the entry asks what the code says). Ignored in any other state (the
  // session may have ended meanwhile).
  SessionActions OnToken(std::string token);
  SessionActions OnTokenFailure(int signin_code);

  // FD_CLOSE, after what was still pending has been received: the server
  // hung up. While waiting for the reply to QUIT the session ends at once
  // (with the mails fetched, or with the error entry already recorded);
  // anywhere else it is the receive error (3,1).
  SessionActions OnClosed();
  // Any socket event of the session: watchdog ticks := 0.
  void OnSocketEvent();
  // WatchdogTimer tick: after `data.timeout` ticks without a socket event,
  // kill the watchdog and post (3,5).
  SessionActions OnWatchdogTick();
  // DeadlineTimer tick (every 60000 ms from the start of the session, socket
  // events or not): after kDeadlineFactor x `data.timeout` ticks, kill the
  // timers and post (3,5).
  SessionActions OnDeadlineTick();
  // Disconnect or exit: forget the session without writing anything.
  void Abort();

  void set_limits(const SessionLimits& limits) { limits_ = limits; }
  SessionState state() const { return state_; }
  bool active() const { return state_ != SessionState::kIdle; }
  // Inspection (tests, diagnostics).
  const std::string& session_text() const { return session_text_; }
  const std::string& message_buffer() const { return message_buffer_; }
  int current_message() const { return current_message_; }
  int message_count() const { return message_count_; }
  // Received text of the fast check not yet taken apart.
  std::size_t buffered() const { return inbox_.size(); }

 private:
  SessionActions Feed(std::string_view text, bool internal);
  SessionActions Greeting(std::string_view chunk);
  SessionActions LogIn(std::string_view greeting);
  SessionActions AfterLogin();
  // OAuth sign-in.
  SessionActions OAuthLogIn();
  SessionActions SignInStep(oauth::Pop3SignIn::Step step);
  void ResetSignIn();
  SessionActions StlsReply(std::string_view chunk);
  SessionActions Stat(std::string_view chunk);
  SessionActions NextMessage();
  SessionActions ListReply(std::string_view chunk);
  SessionActions TopChunk(std::string_view chunk);
  SessionActions MessageDone();
  SessionActions Finish();
  // Fast check.
  SessionActions CapaReply();
  SessionActions FastReceive(std::string_view chunk);
  SessionActions FastStat(std::string_view line);
  SessionActions UidlReply(std::string_view reply);
  SessionActions SizesReply();
  SessionActions ListingsDone();
  SessionActions Pump();
  bool MailReply(SessionActions& out);
  void PlanMail(int number);
  bool CachedEntryUsable(const UidCacheEntry& entry, int number) const;
  bool CompleteReadyMails(SessionActions& out);
  bool FitsCaps() const;
  std::string BatchToSend();
  void LoadUidCache();
  std::string CacheKey() const;
  void ResetFastCheck();
  SessionActions ReplyTooLarge();
  // Hash list and seen-before test of the complete message buffer; returns
  // the header hash ("" when none). `known_hash`: the hash already known.
  std::string MessageComplete(const std::string* known_hash = nullptr);
  bool SeenBefore(std::string_view top_reply);
  SessionActions SendQuitWithResult();
  SessionActions RecordError(int phase, int code);
  static SessionAction Send(std::string text);
  static SessionAction Post(SessionAction::Kind kind);
  static SessionAction PostError(int phase, int code);

  Md5Function md5_;
  SessionLimits limits_;
  SessionStore& store_;
  EngineData* data_ = nullptr;
  int index_ = 0;
  SessionAccount account_;
  std::string mail_path_;  // empty when no digest of the display name
  SessionState state_ = SessionState::kIdle;
  int current_message_ = 1;
  int message_count_ = 0;
  int watchdog_ticks_ = 0;
  int deadline_ticks_ = 0;
  bool error_recorded_ = false;
  // QUIT went out after every mail was fetched (or after STAT with
  // MsgCheck): the session text is complete, and a hang-up or a watchdog
  // tick while waiting for the reply must not replace it with an error.
  bool result_complete_ = false;
  std::string message_buffer_;
  std::size_t scan_from_ = 0;          // where the terminator search resumes
  std::string session_text_;
  std::unique_ptr<SeenIndex> seen_;    // previous account mail file, read once
  bool seen_loaded_ = false;
  bool secured_ = false;       // TLS handshake done and certificate checked
  std::string greeting_;       // kept for APOP over STLS
  std::string stls_reply_;     // the reply to STLS, joined until its line end
  bool stls_judged_ = false;   // the reply to STLS failed; its error is posted

  // OAuth sign-in.
  bool auth_started_ = false;  // CAPA/AUTH went out: a sign-in error ends with QUIT
  std::optional<oauth::Pop3SignIn> signin_;  // the token is only in here

  // Fast check.
  struct Command {
    bool top = false;  // TOP n 0, else LIST n
    int number = 0;
    std::size_t size = 0;  // bytes of the command text
  };
  struct Slot {  // one planned mail, in message-number order
    std::string list;
    std::string top;
    bool has_list = false;
    bool has_top = false;
    bool from_cache = false;
    std::string hash;       // header hash, when from the cache
    bool has_hash = false;
  };
  bool fast_ = false;          // replies go through inbox_
  bool pipelining_ = false;    // PIPELINING announced: commands in batches
  bool uidl_ = false;          // UIDL announced
  bool ids_ok_ = false;        // ids_ holds one usable id per mail
  std::string inbox_;          // received text not yet matched to a reply
  std::size_t inbox_scan_ = 0;  // where the terminator search resumes
  bool sizes_asked_ = false;    // the multi-line LIST went out
  std::vector<std::string> ids_;
  std::vector<std::uint64_t> sizes_;  // from the multi-line LIST
  UidCacheMap cache_;          // the previous check's cache of this account
  // This check's cache, in message order: where each entry lies in the
  // session text, so that nothing is held twice.
  struct Fetched {
    std::size_t at = 0;         // offset of the LIST line in session_text_
    std::size_t list_size = 0;  // then the TOP reply up to the next entry
    std::size_t top_size = 0;
    std::string hash;
  };
  std::vector<Fetched> fetched_;
  std::deque<Command> todo_;    // planned, not yet sent
  std::deque<Command> awaited_;  // sent, reply not yet complete
  std::size_t awaited_bytes_ = 0;
  std::deque<Slot> slots_;      // mails current_message_ .. next_plan_ - 1
  int next_plan_ = 1;
};

}  // namespace tidewell
