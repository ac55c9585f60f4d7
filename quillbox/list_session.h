// The list library's own POP3 session, as a state machine without I/O. It
// fetches one message into its cache file for viewing (view session) or
// recognises and deletes the selected mails of one account after another
// (delete run, one connection per account).
//
// The Win32 driver on the list window owns the socket and the host name
// lookup. It feeds the machine what happens (received chunks, the internal
// continue, errors) and carries out the returned actions in order:
//   WM_LIST_HOSTFOUND/connect/socket set-up failures: post WM_LIST_ERROR
//     (1,1) foreign lookup task, (1,2) lookup failed, (1,3) socket(), (1,4)
//     WSAAsyncSelect, (1,5) connect failed at once.
//   WM_LIST_SOCKET FD_READ: recv at most kListChunk bytes; 0 or SOCKET_ERROR
//     -> post WM_LIST_ERROR (3,9); otherwise OnReceive(bytes).
//   WM_LIST_SOCKET FD_CONNECT with an error: OnConnectError().
//   WM_LIST_CONTINUE: OnContinue().   WM_LIST_ERROR: OnError(phase, detail).
//   TLS (login.tls not kNone): a TLS channel sits between the socket and the
//     session. TLS on connect: the handshake starts at FD_CONNECT; STLS: at
//     the kStartTls action, on the same connection. Once the handshake is
//     done and the certificate passed, the driver calls OnSecured() and from
//     then on hands decrypted text to OnReceive. TLS failures are posted as
//     WM_LIST_ERROR (kListTlsPhase, ListTlsDetail). Nothing but STLS (and a
//     QUIT before the handshake) goes out in clear while TLS is wanted.
// The cache file is written through an injected writer that makes it appear
// only once the whole reply is in; header matching and the APOP digest use
// the injected codec.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/check_errors.h"
#include "common/oauth/pop3_signin.h"
#include "quillbox/list_codec.h"
#include "quillbox/mail_rows.h"

namespace tidewell {

// Largest chunk one FD_READ delivers.
constexpr std::size_t kListChunk = 8192;
// Most a multi-line reply (TOP n 0) may hold before the account fails.
constexpr std::size_t kListReplyCap = 200000;
// Window over a retrieval used to find its terminator.
constexpr std::size_t kRetrieveWindow = 100000;
constexpr std::size_t kRetrieveKeep = 100;

// Error codes beyond the ones the connection itself gives (code = phase +
// 10 x detail).
constexpr int kCodeNotFound = 3;        // the mail was not recognised on the server
constexpr int kCodeApopNoStamp = 25;    // APOP on, the greeting holds no time stamp
constexpr int kCodeCacheWrite = 26;     // the cache file could not be written
constexpr int kCodeQuitRefused = 103;   // the server refused QUIT after DELE: nothing was deleted
constexpr int kCodeReplyTooLong = 113;  // a reply grew past kListReplyCap
// More than one mail on the server has the row's header and the row's own
// number holds none of them: which one the row was cannot be told.
constexpr int kCodeAmbiguous = 123;
// Most bytes of TOP n 0 replies a connection keeps to compare further rows
// of the same account without asking the server again.
constexpr std::size_t kProbeMemoryCap = 8u << 20;

// How the connection of a session is secured (GetAccountTls).
enum class ListTls : int {
  kNone = 0,       // clear text
  kStls = 1,       // clear greeting, STLS, TLS handshake, then the login
  kOnConnect = 2,  // TLS from the first byte
};

// Errors of the secured connection: code = kListTlsPhase + 10 x detail
// (17, 27, ... 77), a phase no other error uses.
constexpr int kListTlsPhase = 7;
enum ListTlsDetail : int {
  kListTlsHandshake = 1,     // no TLS came about
  kListTlsUntrusted = 2,     // the chain does not lead to a trusted root
  kListTlsNameMismatch = 3,  // the certificate is not for the server name
  kListTlsExpired = 4,       // the certificate is outside its validity period
  kListTlsStlsRefused = 5,   // the server refused STLS
  kListTlsInjected = 6,      // bytes after the +OK of STLS, before the handshake
  kListTlsChannel = 7,       // a record after the handshake could not be read
};

// What a session needs of an account (GetAccount by name).
struct ListLogin {
  std::string user;
  std::string password;
  std::string server;
  int port = 110;
  bool apop = false;
  ListTls tls = ListTls::kNone;
  // OAuth 2.0 sign-in: SASL XOAUTH2 or OAUTHBEARER with `access_token` in
  // place of USER/PASS or APOP (apop and the password are not used).
  bool oauth = false;
  std::string access_token{};  // empty: the session asks for one (kRefreshToken) before AUTH
  bool token_fresh = false;  // just had from the token endpoint: a refusal is not mended by another
  // A SignInErrorCode (common/check_errors.h) the driver met before the
  // session: it ends at once with that error, nothing sent.
  int signin_failure = 0;
};

// Sign-in errors: code = kListSignInPhase + 10 x SignInErrorCode (18, 28,
// ... 58). OAuth without TLS is detail kSignInNotSecured.
constexpr int kListSignInPhase = 8;

// The error a session ends with before any connection is made: OAuth
// without TLS (kListSignInPhase, kSignInNotSecured), else the driver's
// signin_failure (kListSignInPhase, signin_failure). False: the session may
// connect. The driver posts it as WM_LIST_ERROR in place of connecting; a
// greeting that arrives anyway gets no command.
bool ListStartFailure(const ListLogin& login, int& phase, int& detail);

enum class ListSessionState : int {
  kIdle = 0,  // no connection
  kGreeting,
  kUserSent,
  kLoginSent,
  kStatSent,
  kQuitAfterDelete,
  kRetrieveSent,
  kTopSent,
  kDeleSent,
  kRsetSent,
  kUidlSent,
  kQuitAfterView,
  kReceiving,
  kStlsSent,      // reply to STLS
  kAwaitSecured,  // the driver runs the TLS handshake after STLS
  kAuthCapaSent,  // OAuth: multi-line reply to CAPA before AUTH
  kAuthSent,      // OAuth: the replies of the AUTH exchange
  kAwaitToken,    // OAuth: kRefreshToken returned, OnToken/OnTokenFailure next
};

struct ListAction {
  enum class Kind {
    kSend,             // send `text` whole with one send()
    kPostContinue,     // post WM_LIST_CONTINUE
    kPostError,        // post WM_LIST_ERROR (phase, detail)
    kCloseConnection,  // teardown: shutdown, drain, closesocket, WSACleanup
    kAccountDone,      // delete run: store `code` for account `text`, post WM_LIST_NEXTACCOUNT
    kViewError,        // view session: "表示エラー" box with `text`
    kViewDone,         // post WM_LIST_VIEWDONE
    kStartTls,         // begin the TLS handshake on the connection (after STLS)
    kRefreshToken,     // get a fresh access token (forced refresh), then call
                       // OnToken or OnTokenFailure; the connection stays open
  };
  ListAction(Kind k, std::string t = {}, int a = 0, int b = 0)  // NOLINT: implicit
      : kind(k), text(std::move(t)), phase(a), detail(b) {}
  Kind kind;
  std::string text;
  int phase = 0;   // kPostError; kAccountDone: the error code
  int detail = 0;  // kPostError
  bool operator==(const ListAction& o) const {
    return kind == o.kind && text == o.text && phase == o.phase && detail == o.detail;
  }
};
using ListActions = std::vector<ListAction>;

// Writes the cache file of a view session; the file must appear under its
// name only after Commit.
class CacheWriter {
 public:
  virtual ~CacheWriter() = default;
  virtual bool Begin(const std::string& path) = 0;
  virtual bool Append(std::string_view bytes) = 0;
  virtual bool Commit() = 0;
  virtual void Discard() = 0;
};

// Whether a complete TOP n 0 reply is the mail of the row.
using HeaderMatcher = std::function<bool(std::string_view top_reply, const MailRow& row)>;

// Whether the header of a reply (TOP n 0, or the start of TOP n lines /
// RETR n) has the row's hash: the view session's check.
bool HeaderHashMatchesRow(ListCodec& codec, std::string_view reply, const MailRow& row);

// Header match: the reply's header (status line dropped, first Status field
// removed) has the row's hash, and its decoded subject, normalised date and
// decoded sender equal the row's columns.
bool HeaderMatchesRow(ListCodec& codec, std::string_view top_reply, const MailRow& row);

// The words shown for an error code (texts end with "\n"). A code of 0 gives
// "" in a delete run and the failed-disconnect text at the end of a view.
std::string ListErrorText(int code, std::string_view account, bool view_session);

// Streams a UIDL listing line by line and finds the number of the mail whose
// unique id equals uid exactly. The status line and over-long lines never
// match.
class UidlLookup {
 public:
  explicit UidlLookup(std::string uid);
  // Feeds listing text; true once the terminating "." line was seen.
  bool Feed(std::string_view text);
  // The number found (first occurrence), 0 when none.
  int found() const { return found_; }
  bool complete() const { return complete_; }

 private:
  void Line(std::string_view line);
  std::string uid_;
  std::string line_;
  bool skipping_ = false;   // inside an over-long line
  bool status_seen_ = false;
  bool complete_ = false;
  int found_ = 0;
};

// The number of the mail with unique id uid in a whole UIDL listing, 0 when
// none (a convenience over UidlLookup).
int FindUidl(std::string_view listing, std::string_view uid);

class ListSession {
 public:
  ListSession(ListCodec& codec, CacheWriter& cache, HeaderMatcher matcher = {});

  // Whether a connection is in use: a second session must not start.
  bool busy() const { return state_ != ListSessionState::kIdle; }
  ListSessionState state() const { return state_; }
  bool view_mode() const { return view_; }
  int error_code() const { return error_code_; }
  std::size_t position() const { return position_; }
  std::size_t row_count() const { return row_count_; }
  const std::vector<MailRow>& rows() const { return rows_; }
  int current_number() const { return current_; }

  // View session for one row: the reply to "TOP n lines" (lines >= 0) or
  // "RETR n" goes to cache_path. False (nothing changes) while busy. The
  // driver then connects to the account of the row.
  bool StartView(const MailRow& row, const ListLogin& login, std::string cache_path, int lines);

  // A delete run over rows already in account order. False while busy.
  bool StartDeleteRun(std::vector<MailRow> rows, bool full_header_search);
  // Keeps the first count rows of the run (the confirmation dialog's result).
  // Next-account step: true and the account name when the row at the
  // position starts another account's session; false when the run is over.
  bool NextAccount(std::string& account) const;
  // Begins the session of that account (error code := 0, state Greeting).
  void BeginAccount(const ListLogin& login);

  ListActions OnReceive(std::string_view chunk);
  ListActions OnContinue();
  ListActions OnError(int phase, int detail);
  ListActions OnConnectError();
  // The driver finished the TLS handshake and the server's certificate
  // passed the check. After STLS this sends the login; with TLS on connect
  // it lets the greeting that follows be read.
  ListActions OnSecured();
  // After kRefreshToken: the fresh access token (AUTH again on the same
  // connection), or the SignInErrorCode of the failed refresh (QUIT, error
  // (kListSignInPhase, detail)). Ignored in any other state.
  ListActions OnToken(std::string token);
  ListActions OnTokenFailure(int detail);
  // Disconnect command: the connection is closed. A view ends without
  // display; a delete run is cut before the interrupted account (its rows
  // stay unmarked: no QUIT was sent) and the driver posts
  // WM_LIST_NEXTACCOUNT to finish it.
  ListActions Disconnect();
  // The delete run is finished (after the finishing step).
  void EndRun();
  bool run_active() const { return run_active_; }
  const std::string& account_name() const { return account_name_; }

 private:
  void ResetConnection();
  ListActions Feed(std::string_view text, bool internal);
  ListActions Fail(int phase, int detail);
  ListActions CheckAt(int number);
  ListActions Compared(int number, bool match);
  ListActions AfterCompare();
  ListActions StartSearch();
  ListActions ProbeNext();
  ListActions Decide();
  ListActions Found(int number);
  ListActions Fetch(int number);
  ListActions Dele(int number);
  ListActions Greeting(std::string_view chunk);
  ListActions LogIn(std::string_view greeting);
  ListActions StlsReply(std::string_view chunk);
  ListActions LoginDone();
  ListActions OAuthLogIn();
  ListActions SignInStep(oauth::Pop3SignIn::Step step);
  ListActions Receiving(std::string_view chunk);
  ListActions TopReply(std::string_view chunk);
  ListActions UidlReply(std::string_view chunk);
  ListActions DeleDone();
  ListActions NotFound(int code = kCodeNotFound);
  ListActions EndDeleteSession(std::string_view reply);
  ListActions EndView(std::string_view reply);
  ListActions Quit();
  bool Matches(std::string_view reply);
  const MailRow& Row() const { return rows_[position_]; }
  static int RowNumber(const MailRow& row);

  ListCodec& codec_;
  CacheWriter& cache_;
  HeaderMatcher matcher_;
  ListSessionState state_ = ListSessionState::kIdle;
  bool view_ = false;
  bool run_active_ = false;
  std::string account_name_;   // account of the running connection
  bool error_pending_ = false;    // an error was posted and not yet handled
  bool continue_pending_ = false; // LoginSent waits for the continue after DELE
  bool uidl_first_ = false;
  ListLogin login_;
  std::vector<MailRow> rows_;
  std::size_t position_ = 0;
  std::size_t row_count_ = 0;
  int error_code_ = 0;
  int current_ = 0;
  int message_count_ = 0;
  // The search for the mail of the row at the position: the numbers whose
  // header was compared with the row in this connection and those that
  // matched. The full search walks from the row's own number down to 1,
  // then up to the highest number of the mailbox.
  std::set<int> compared_;
  std::vector<int> matches_;
  bool searching_ = false;
  int limit_ = 0;
  int down_ = 0;
  int up_ = 0;
  // TOP n 0 replies of this connection by number (bounded by kProbeMemoryCap).
  std::map<int, std::string> probes_;
  std::size_t probe_bytes_ = 0;
  // View session: whether the header of the reply being received was
  // checked, whether the reply is another mail's and only read to its end,
  // and whether the number fetched is the one the search found.
  bool header_checked_ = false;
  bool discard_ = false;
  bool fetched_found_ = false;
  bool full_search_ = true;
  int lines_ = 10;
  std::string cache_path_;
  bool cache_open_ = false;
  std::string status_line_;    // a status line still without its line end
  std::string buffer_;         // accumulated reply, or the retrieval's tail window
  std::size_t scan_from_ = 0;  // where the terminator search resumes
  UidlLookup uidl_{""};
  std::set<int> deleted_;      // numbers sent DELE in this connection
  bool secured_ = false;       // TLS handshake done and certificate checked
  std::string greeting_;       // the clear greeting, kept for APOP over STLS
  std::string stls_reply_;     // the reply to STLS, joined until its line end
  // OAuth sign-in of this connection.
  bool auth_started_ = false;  // CAPA/AUTH went out: a sign-in error ends with QUIT
  std::optional<oauth::Pop3SignIn> signin_;  // the token is only in here
};

}  // namespace tidewell
