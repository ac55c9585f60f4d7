#include "quillbox/list_session.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "common/header_hash.h"
#include "common/pop3_text.h"
#include "viewer/header_text.h"

namespace tidewell {

namespace {

using Kind = ListAction::Kind;

// Longest line of a UIDL listing looked at: "n" + blank + a unique id of at
// most 70 characters fits many times over.
constexpr std::size_t kUidlLineCap = 1000;
// Longest status line waited for (RFC 1939 allows 512 octets).
constexpr std::size_t kStatusLineCap = 1024;

ListAction Send(std::string text) { return ListAction{Kind::kSend, std::move(text)}; }
ListAction PostError(int phase, int detail) { return ListAction{Kind::kPostError, {}, phase, detail}; }
ListAction Post(Kind kind) { return ListAction{kind}; }

std::string Command(const char* verb, int number) { return std::string(verb) + " " + std::to_string(number) + "\r\n"; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A decimal number of a protocol line or a column: digits only, bounded.
bool ParseNumber(std::string_view text, int& out) {
  if (text.empty() || text.size() > 9) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  out = value;
  return true;
}

// States whose reply starts with a status line that decides the next step.
bool ReadsStatusLine(ListSessionState state) {
  switch (state) {
    case ListSessionState::kGreeting:
    case ListSessionState::kUserSent:
    case ListSessionState::kLoginSent:
    case ListSessionState::kStatSent:
    case ListSessionState::kDeleSent:
    case ListSessionState::kRetrieveSent: return true;
    default: return false;
  }
}

}  // namespace

// ---- texts and matching --------------------------------------------------------

// The words of an error of the secured connection; nullptr for any other
// code.
const char* TlsErrorWords(int code) {
  if (code <= 0 || code % 10 != kListTlsPhase) return nullptr;
  switch (code / 10) {
    case kListTlsHandshake: return ":SSL/TLSの接続に失敗しました。(";
    case kListTlsUntrusted: return ":サーバー証明書が信頼できないため、接続を中止しました。(";
    case kListTlsNameMismatch: return ":サーバー証明書の名前がサーバー名と一致しないため、接続を中止しました。(";
    case kListTlsExpired: return ":サーバー証明書の有効期限が切れているため、接続を中止しました。(";
    case kListTlsStlsRefused: return ":サーバーがSTLSに対応していないため、接続を中止しました。(";
    case kListTlsInjected: return ":STLSの応答の後に不正なデータを受信したため、接続を中止しました。(";
    case kListTlsChannel: return ":暗号化された通信でエラーが発生しました。(";
    default: return nullptr;
  }
}

std::string ListErrorText(int code, std::string_view account, bool view_session) {
  const char* words = TlsErrorWords(code);
  if (!words && code > 0 && code % 10 == kListSignInPhase) {
    const char* signin = SignInErrorWords(code / 10);
    if (signin) return std::string(account) + ":" + signin + "(" + std::to_string(code) + ")\n";
  }
  if (words) return std::string(account) + words + std::to_string(code) + ")\n";
  switch (((code % 10) + 10) % 10) {
    case 0:
      if (!view_session) return std::string();
      return std::string(account) + ":切断に失敗しました。(0)\n";
    case 1: words = ":接続に失敗しました。("; break;
    case 2:
    case 4:
    case 5: words = ":認証に失敗しました。("; break;
    case 3:
      words = code == kCodeAmbiguous ? ":同じヘッダーのメールが複数あるため、メールを特定できませんでした。("
                                     : ":接続中にエラーが発生しました。(";
      break;
    case 6: words = ":接続中にエラーが発生しました。("; break;
    default: words = ":エラーが発生しました。("; break;
  }
  return std::string(account) + words + std::to_string(code) + ")\n";
}

bool HeaderHashMatchesRow(ListCodec& codec, std::string_view reply, const MailRow& row) {
  std::string text;
  if (!ReplyHeaderHashText(reply, text)) return false;
  const std::string hash = codec.Md5Hex(text);
  return !hash.empty() && hash == row.columns[kColHash];
}

bool HeaderMatchesRow(ListCodec& codec, std::string_view top_reply, const MailRow& row) {
  if (top_reply.find("\r\n") == std::string_view::npos) return false;
  const std::size_t end = top_reply.find(kPop3Terminator);
  if (end == std::string_view::npos) return false;
  // The reply read as a block of the account mail file: a LIST line, then
  // the status line, the header and the terminator. The row made from it is
  // made exactly as the list made the selected one.
  std::string block = "+OK 1 0\r\n";
  block.append(top_reply.substr(0, end + kPop3Terminator.size()));
  const std::vector<MailRow> fresh = BuildAccountRows(codec, block, row.columns[kColName], 0);
  if (fresh.size() != 1 || fresh[0].image == kImageError) return false;
  const MailRow& f = fresh[0];
  return !f.columns[kColHash].empty() && f.columns[kColHash] == row.columns[kColHash] &&
         f.columns[kColSubject] == row.columns[kColSubject] && f.columns[kColDate] == row.columns[kColDate] &&
         f.columns[kColFrom] == row.columns[kColFrom];
}

// ---- UIDL listing ------------------------------------------------------------------

UidlLookup::UidlLookup(std::string uid) : uid_(TrimBlanks(uid)) {}

bool UidlLookup::Feed(std::string_view text) {
  while (!text.empty() && !complete_) {
    const std::size_t lf = text.find('\n');
    const std::string_view piece = text.substr(0, lf == std::string_view::npos ? text.size() : lf);
    if (!skipping_) {
      if (line_.size() + piece.size() > kUidlLineCap) {
        skipping_ = true;
        line_.clear();
      } else {
        line_.append(piece);
      }
    }
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
    if (skipping_) {
      skipping_ = false;  // an over-long line names no mail we look for
      status_seen_ = true;
    } else {
      Line(line_);
    }
    line_.clear();
  }
  return complete_;
}

void UidlLookup::Line(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (!status_seen_) {  // "+OK ...": a unique id in it is not a mail's
    status_seen_ = true;
    return;
  }
  if (line == ".") {
    complete_ = true;
    return;
  }
  if (found_ > 0 || uid_.empty()) return;
  // "n uid": the id must be the whole second word.
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return;
  int number = 0;
  if (!ParseNumber(line.substr(0, blank), number) || number <= 0) return;
  if (TrimBlanks(line.substr(blank + 1)) == uid_) found_ = number;
}

int FindUidl(std::string_view listing, std::string_view uid) {
  UidlLookup lookup{std::string(uid)};
  lookup.Feed(listing);
  return lookup.found();
}

bool ListStartFailure(const ListLogin& login, int& phase, int& detail) {
  if (!login.oauth) return false;
  phase = kListSignInPhase;
  if (login.tls == ListTls::kNone) {
    detail = kSignInNotSecured;
    return true;
  }
  detail = login.signin_failure;
  return detail != 0;
}

// ---- the session -------------------------------------------------------------------

ListSession::ListSession(ListCodec& codec, CacheWriter& cache, HeaderMatcher matcher)
    : codec_(codec), cache_(cache), matcher_(std::move(matcher)) {
  if (!matcher_) {
    matcher_ = [this](std::string_view reply, const MailRow& row) { return HeaderMatchesRow(codec_, reply, row); };
  }
}

int ListSession::RowNumber(const MailRow& row) {
  int number = 0;
  return ParseNumber(TrimBlanks(row.columns[kColNumber]), number) ? number : 0;
}

void ListSession::ResetConnection() {
  error_code_ = 0;
  error_pending_ = false;
  continue_pending_ = false;
  status_line_.clear();
  current_ = 0;
  message_count_ = 0;
  buffer_.clear();
  scan_from_ = 0;
  deleted_.clear();
  probes_.clear();
  probe_bytes_ = 0;
  secured_ = false;
  greeting_.clear();
  stls_reply_.clear();
  auth_started_ = false;
  signin_.reset();
  state_ = ListSessionState::kGreeting;
}

bool ListSession::StartView(const MailRow& row, const ListLogin& login, std::string cache_path, int lines) {
  if (busy() || run_active_) return false;
  view_ = true;
  rows_.assign(1, row);
  position_ = 0;
  row_count_ = 1;
  login_ = login;
  account_name_ = row.columns[kColName];
  cache_path_ = std::move(cache_path);
  lines_ = lines;
  ResetConnection();
  return true;
}

bool ListSession::StartDeleteRun(std::vector<MailRow> rows, bool full_header_search) {
  if (busy() || run_active_) return false;
  view_ = false;
  rows_ = std::move(rows);
  position_ = 0;
  row_count_ = rows_.size();
  full_search_ = full_header_search;
  error_code_ = 0;
  run_active_ = true;
  return true;
}

bool ListSession::NextAccount(std::string& account) const {
  if (!run_active_ || position_ >= row_count_) return false;
  account = rows_[position_].columns[kColName];
  return true;
}

void ListSession::BeginAccount(const ListLogin& login) {
  if (!run_active_ || position_ >= row_count_) return;
  login_ = login;
  account_name_ = rows_[position_].columns[kColName];
  ResetConnection();
}

ListActions ListSession::OnReceive(std::string_view chunk) { return Feed(chunk, false); }

ListActions ListSession::OnContinue() { return Feed("+OK", true); }

ListActions ListSession::Feed(std::string_view text, bool internal) {
  switch (state_) {
    case ListSessionState::kIdle: return {};
    case ListSessionState::kQuitAfterDelete: return EndDeleteSession(text);
    case ListSessionState::kQuitAfterView: return EndView(text);
    case ListSessionState::kRsetSent: return Quit();
    case ListSessionState::kAwaitSecured: return {};  // the TLS layer's business
    case ListSessionState::kAwaitToken: return {};    // nothing was asked of the server
    case ListSessionState::kStlsSent:
      if (error_pending_ || internal) return {};
      return StlsReply(text);
    default: break;
  }
  // A reply that already led to an error says nothing more until the error
  // is handled; the continue after DELE stands for no server reply, and no
  // server reply stands for it.
  if (error_pending_) return {};
  if (continue_pending_ != internal) return {};
  if (text.empty()) return {};
  // A status line may arrive in pieces: it is read once its line end is in
  // (or once it is too long to be one).
  std::string line;
  if (!internal && ReadsStatusLine(state_)) {
    status_line_.append(text);
    if (status_line_.find('\n') == std::string::npos && status_line_.size() < kStatusLineCap) return {};
    line.swap(status_line_);
    text = line;
  }
  switch (state_) {
    case ListSessionState::kGreeting: return Greeting(text);
    case ListSessionState::kUserSent:
      if (IsNegativeReply(text)) return Fail(2, 2);
      state_ = ListSessionState::kLoginSent;
      return {Send("PASS " + login_.password + "\r\n")};
    case ListSessionState::kLoginSent:
      if (IsNegativeReply(text)) return Fail(5, 2);
      continue_pending_ = false;
      return LoginDone();
    case ListSessionState::kAuthCapaSent:
    case ListSessionState::kAuthSent: return SignInStep(signin_->OnText(text));
    case ListSessionState::kStatSent: {
      if (IsNegativeReply(text)) return Fail(3, 8);
      message_count_ = ParseStatCount(text);
      // Mails marked in this connection keep their numbers and are left out
      // of the count: the highest number is the count plus those.
      const long long highest = static_cast<long long>(message_count_) + static_cast<long long>(deleted_.size());
      limit_ = static_cast<int>(std::min<long long>(highest, INT_MAX - 1));
      // The walk starts at the row's own number, clamped to the mailbox.
      down_ = std::min(std::max(RowNumber(Row()), 1), limit_);
      up_ = std::max(down_, 0) + 1;
      return ProbeNext();
    }
    case ListSessionState::kRetrieveSent:
      if (IsNegativeReply(text)) {
        // The row's own number is gone (the mailbox shrank): look for the
        // mail as for a header that does not match.
        if (!fetched_found_) return Compared(current_, false);
        return Fail(6, 1);
      }
      buffer_.clear();
      scan_from_ = 0;
      header_checked_ = false;
      discard_ = false;
      state_ = ListSessionState::kReceiving;
      return Receiving(text);
    case ListSessionState::kReceiving: return Receiving(text);
    case ListSessionState::kTopSent: return TopReply(text);
    case ListSessionState::kUidlSent: return UidlReply(text);
    case ListSessionState::kDeleSent:
      if (IsNegativeReply(text)) return Fail(3, 7);
      return DeleDone();
    default: return {};
  }
}

ListActions ListSession::Fail(int phase, int detail) {
  error_pending_ = true;
  return {PostError(phase, detail)};
}

ListActions ListSession::Greeting(std::string_view chunk) {
  // No sign-in to be had (the driver does not even connect): nothing is sent.
  int failure_phase = 0, failure_detail = 0;
  if (ListStartFailure(login_, failure_phase, failure_detail)) return Fail(failure_phase, failure_detail);
  // With TLS on connect the driver hands on nothing before the handshake is
  // done: text here means the connection is not what it should be.
  if (login_.tls == ListTls::kOnConnect && !secured_) return Fail(kListTlsPhase, kListTlsHandshake);
  if (IsNegativeReply(chunk)) return Fail(1, 7);
  current_ = 0;
  message_count_ = 0;
  if (login_.tls == ListTls::kStls) {
    greeting_.assign(chunk.substr(0, kStatusLineCap));
    stls_reply_.clear();
    state_ = ListSessionState::kStlsSent;
    return {Send("STLS\r\n")};
  }
  return LogIn(chunk);
}

// The reply to STLS is joined until its line end: "-" refuses (the session
// fails; there is no going on in clear text). Anything after the line end
// came before the handshake, where the server has nothing more to say: text
// slipped in to be read as if it came over TLS. The session fails.
ListActions ListSession::StlsReply(std::string_view chunk) {
  const std::size_t room = kStatusLineCap + 1 - stls_reply_.size();
  const bool cut = chunk.size() > room;
  stls_reply_.append(chunk.substr(0, room));
  if (IsNegativeReply(stls_reply_)) return Fail(kListTlsPhase, kListTlsStlsRefused);
  const std::size_t end = stls_reply_.find("\r\n");
  if (end == std::string::npos && stls_reply_.size() <= kStatusLineCap) return {};
  if (end == std::string::npos || end + 2 != stls_reply_.size() || cut)
    return Fail(kListTlsPhase, kListTlsInjected);
  stls_reply_.clear();
  state_ = ListSessionState::kAwaitSecured;
  return {Post(Kind::kStartTls)};
}

ListActions ListSession::OnSecured() {
  if (login_.tls == ListTls::kNone || secured_ || error_pending_) return {};
  if (state_ == ListSessionState::kAwaitSecured) {
    secured_ = true;
    return LogIn(greeting_);
  }
  if (state_ == ListSessionState::kGreeting && login_.tls == ListTls::kOnConnect) secured_ = true;
  return {};
}

// USER, or APOP with the time stamp of the greeting (over STLS: the clear
// greeting before STLS; the server sends no second one).
ListActions ListSession::LogIn(std::string_view chunk) {
  if (login_.oauth) return OAuthLogIn();
  if (!login_.apop) {
    state_ = ListSessionState::kUserSent;
    return {Send("USER " + login_.user + "\r\n")};
  }
  // Without a time stamp there is nothing to sign: the login fails rather
  // than sending a digest the server cannot check.
  const std::string stamp = ApopTimestamp(chunk);
  const std::string digest = stamp.empty() ? std::string() : codec_.Md5Hex(stamp + login_.password);
  if (digest.empty()) return Fail(5, 2);
  state_ = ListSessionState::kLoginSent;
  return {Send("APOP " + login_.user + " " + digest + "\r\n")};
}

// ---- OAuth sign-in ------------------------------------------------------------
//
// As in the check: once the connection is secured, oauth::Pop3SignIn runs
// CAPA and AUTH. A refused token is refreshed once (kRefreshToken) when a
// fresh one may help, and AUTH sent again on the same connection;
// otherwise the session ends with (kListSignInPhase, kSignInTokenRefused)
// and QUIT.

ListActions ListSession::OAuthLogIn() {
  if (login_.tls == ListTls::kNone || !secured_) return Fail(kListSignInPhase, kSignInNotSecured);
  auth_started_ = true;
  signin_.emplace(login_.user, login_.server, login_.port, std::move(login_.access_token), login_.token_fresh);
  std::string().swap(login_.access_token);
  state_ = ListSessionState::kAuthCapaSent;
  return {Send(signin_->Begin())};
}

ListActions ListSession::SignInStep(oauth::Pop3SignIn::Step step) {
  using Outcome = oauth::Pop3SignIn::Outcome;
  switch (step.outcome) {
    case Outcome::kPending: {
      state_ = signin_->reading_capa() ? ListSessionState::kAuthCapaSent : ListSessionState::kAuthSent;
      ListActions out;
      for (std::string& text : step.send) out.push_back(Send(std::move(text)));
      return out;
    }
    case Outcome::kNeedToken:
      state_ = ListSessionState::kAwaitToken;
      return {Post(Kind::kRefreshToken)};
    case Outcome::kLoggedIn:
      signin_.reset();
      return LoginDone();
    case Outcome::kRefused:
      signin_.reset();
      return Fail(kListSignInPhase, kSignInTokenRefused);
    case Outcome::kNoToken:
      signin_.reset();
      return Fail(kListSignInPhase, kSignInRefreshFailed);
    case Outcome::kTooLarge:
      signin_.reset();
      return Fail(3, 11);
  }
  return {};
}

ListActions ListSession::OnToken(std::string token) {
  if (state_ != ListSessionState::kAwaitToken || error_pending_ || !signin_) return {};
  return SignInStep(signin_->OnToken(std::move(token)));
}

ListActions ListSession::OnTokenFailure(int detail) {
  if (state_ != ListSessionState::kAwaitToken || error_pending_) return {};
  if (detail < kSignInNeeded || detail > kSignInNoClientId) detail = kSignInRefreshFailed;
  signin_.reset();
  return Fail(kListSignInPhase, detail);
}

ListActions ListSession::LoginDone() {
  current_ = RowNumber(Row());
  compared_.clear();
  matches_.clear();
  searching_ = false;
  fetched_found_ = false;
  if (view_) return Fetch(current_);
  buffer_.clear();
  scan_from_ = 0;
  if (!TrimBlanks(Row().columns[kColUidl]).empty()) {
    uidl_ = UidlLookup(Row().columns[kColUidl]);
    uidl_first_ = true;
    state_ = ListSessionState::kUidlSent;
    return {Send("UIDL\r\n")};
  }
  return CheckAt(current_);
}

bool ListSession::Matches(std::string_view reply) {
  return view_ ? HeaderHashMatchesRow(codec_, reply, Row()) : matcher_(reply, Row());
}

// The header of number, as a TOP n 0 reply gives it, is compared with the
// row: from what this connection already holds, or asked for.
ListActions ListSession::CheckAt(int number) {
  // A number deleted in this connection is no longer any row's mail (and
  // the server would refuse TOP for it).
  if (number <= 0 || deleted_.count(number) != 0) return Compared(number, false);
  const auto known = probes_.find(number);
  if (known != probes_.end()) return Compared(number, Matches(known->second));
  current_ = number;
  buffer_.clear();
  scan_from_ = 0;
  state_ = ListSessionState::kTopSent;
  return {Send("TOP " + std::to_string(current_) + " 0\r\n")};
}

ListActions ListSession::Compared(int number, bool match) {
  if (number > 0) compared_.insert(number);
  if (match) matches_.push_back(number);
  return AfterCompare();
}

// What follows a comparison: the row's own number holding its mail decides
// at once; otherwise the own number is compared (after a UIDL hit
// elsewhere), then the whole mailbox is searched.
ListActions ListSession::AfterCompare() {
  if (searching_) return ProbeNext();
  const int own = RowNumber(Row());
  if (std::find(matches_.begin(), matches_.end(), own) != matches_.end()) return Found(own);
  if (own > 0 && compared_.count(own) == 0 && deleted_.count(own) == 0) return CheckAt(own);
  return StartSearch();
}

ListActions ListSession::StartSearch() {
  if (!full_search_) return Decide();
  searching_ = true;
  state_ = ListSessionState::kStatSent;
  return {Send("STAT\r\n")};
}

// The next number of the walk not compared yet: from the own number down to
// 1, then above it up to the highest number.
ListActions ListSession::ProbeNext() {
  while (true) {
    int number = 0;
    if (down_ >= 1) {
      number = down_--;
    } else if (up_ >= 1 && up_ <= limit_) {
      number = up_++;
    } else {
      return Decide();
    }
    if (compared_.count(number) != 0 || deleted_.count(number) != 0) continue;
    const auto known = probes_.find(number);
    if (known != probes_.end()) {
      compared_.insert(number);
      if (Matches(known->second)) matches_.push_back(number);
      continue;
    }
    current_ = number;
    buffer_.clear();
    scan_from_ = 0;
    state_ = ListSessionState::kTopSent;
    return {Send("TOP " + std::to_string(current_) + " 0\r\n")};
  }
}

// After the search (or without one): the own number wins; otherwise only a
// mail that is the one match in the whole mailbox is the row's.
ListActions ListSession::Decide() {
  searching_ = false;
  const int own = RowNumber(Row());
  if (std::find(matches_.begin(), matches_.end(), own) != matches_.end()) return Found(own);
  if (!full_search_ || matches_.empty()) return NotFound();
  if (matches_.size() > 1) return NotFound(kCodeAmbiguous);
  return Found(matches_.front());
}

ListActions ListSession::Found(int number) {
  searching_ = false;
  if (!view_) return Dele(number);
  fetched_found_ = true;
  return Fetch(number);
}

ListActions ListSession::Fetch(int number) {
  current_ = number;
  state_ = ListSessionState::kRetrieveSent;
  if (lines_ >= 0) return {Send("TOP " + std::to_string(current_) + " " + std::to_string(lines_) + "\r\n")};
  return {Send(Command("RETR", current_))};
}

// The reply to TOP n lines or RETR n. Nothing reaches the cache file before
// its header proved to be the row's; another mail's reply is read to its end
// and the mail is looked for.
ListActions ListSession::Receiving(std::string_view chunk) {
  if (!header_checked_) {
    if (buffer_.size() + chunk.size() > kListReplyCap) return Fail(3, 11);
    buffer_.append(chunk);
    std::string header;
    if (!ReplyHeaderHashText(buffer_, header)) return {};
    header_checked_ = true;
    const std::string hash = codec_.Md5Hex(header);
    discard_ = hash.empty() || hash != Row().columns[kColHash];
    if (!discard_) {
      cache_open_ = cache_.Begin(cache_path_);
      if (!cache_open_ || !cache_.Append(buffer_)) return Fail(6, 2);
    }
    scan_from_ = 0;
  } else {
    buffer_.append(chunk);
    if (!discard_ && !cache_.Append(chunk)) return Fail(6, 2);
  }
  if (buffer_.size() > kRetrieveWindow) {
    buffer_.erase(0, buffer_.size() - kRetrieveKeep);
    scan_from_ = 0;
  }
  if (buffer_.find(kPop3Terminator, scan_from_) == std::string::npos) {
    scan_from_ = buffer_.size() >= kPop3Terminator.size() ? buffer_.size() - (kPop3Terminator.size() - 1) : 0;
    return {};
  }
  buffer_.clear();
  scan_from_ = 0;
  if (discard_) {
    discard_ = false;
    header_checked_ = false;
    // The mail the search found is not what it was a moment ago: give up.
    if (fetched_found_) return NotFound();
    return Compared(current_, false);
  }
  cache_open_ = false;
  if (!cache_.Commit()) return Fail(6, 2);
  state_ = ListSessionState::kQuitAfterView;
  return {Send("QUIT\r\n")};
}

ListActions ListSession::TopReply(std::string_view chunk) {
  if (buffer_.size() + chunk.size() > kListReplyCap) return Fail(3, 11);
  buffer_.append(chunk);
  if (IsNegativeReply(buffer_)) {
    // Outside the search (the row's own number, a UIDL hit) a refusal means
    // that number is gone: the mail is looked for as for a header that does
    // not match. A refusal of a number within the mailbox is an error.
    if (!searching_) {
      buffer_.clear();
      scan_from_ = 0;
      return Compared(current_, false);
    }
    return view_ ? Fail(6, 1) : Fail(3, 6);
  }
  const std::size_t end = buffer_.find(kPop3Terminator, scan_from_);
  if (end == std::string::npos) {
    scan_from_ = buffer_.size() >= kPop3Terminator.size() ? buffer_.size() - (kPop3Terminator.size() - 1) : 0;
    return {};
  }
  buffer_.resize(end + kPop3Terminator.size());
  const bool match = Matches(buffer_);
  if (probe_bytes_ + buffer_.size() <= kProbeMemoryCap) {
    probe_bytes_ += buffer_.size();
    probes_[current_] = std::move(buffer_);
  }
  buffer_.clear();
  scan_from_ = 0;
  return Compared(current_, match);
}

// A UIDL hit is only where to look first: the header there must be the
// row's (an X-UIDL is written by the sender and may name another mail).
ListActions ListSession::UidlReply(std::string_view chunk) {
  const bool first = uidl_first_;
  uidl_first_ = false;
  int found = 0;
  if (first && IsNegativeReply(chunk)) {
    found = 0;  // no listing: same as a listing without the id
  } else {
    if (!uidl_.Feed(chunk)) return {};
    found = uidl_.found();
  }
  if (found > 0 && deleted_.count(found) == 0) return CheckAt(found);
  return CheckAt(RowNumber(Row()));
}

ListActions ListSession::Dele(int number) {
  current_ = number;
  deleted_.insert(number);
  const auto known = probes_.find(number);
  if (known != probes_.end()) {
    probe_bytes_ -= known->second.size();
    probes_.erase(known);
  }
  state_ = ListSessionState::kDeleSent;
  return {Send(Command("DELE", number))};
}

ListActions ListSession::NotFound(int code) {
  error_code_ = code;
  searching_ = false;
  state_ = ListSessionState::kRsetSent;
  return {Send("RSET\r\n")};
}

ListActions ListSession::DeleDone() {
  ++position_;
  if (position_ >= row_count_ || rows_[position_].columns[kColName] != rows_[position_ - 1].columns[kColName]) {
    state_ = ListSessionState::kQuitAfterDelete;
    return {Send("QUIT\r\n")};
  }
  state_ = ListSessionState::kLoginSent;
  continue_pending_ = true;
  return {Post(Kind::kPostContinue)};
}

ListActions ListSession::Quit() {
  state_ = view_ ? ListSessionState::kQuitAfterView : ListSessionState::kQuitAfterDelete;
  return {Send("QUIT\r\n")};
}

ListActions ListSession::EndDeleteSession(std::string_view reply) {
  std::string().swap(login_.access_token);
  // A refused QUIT means the server kept every mail of this connection.
  if (error_code_ == 0 && IsNegativeReply(reply)) error_code_ = kCodeQuitRefused;
  state_ = ListSessionState::kIdle;
  error_pending_ = false;
  continue_pending_ = false;
  ListActions actions{Post(Kind::kCloseConnection)};
  if (error_code_ != 0) {
    while (position_ < row_count_ && rows_[position_].columns[kColName] == account_name_) ++position_;
  }
  actions.push_back(ListAction{Kind::kAccountDone, account_name_, error_code_});
  return actions;
}

ListActions ListSession::EndView(std::string_view reply) {
  std::string().swap(login_.access_token);
  state_ = ListSessionState::kIdle;
  error_pending_ = false;
  continue_pending_ = false;
  if (cache_open_) {
    cache_.Discard();
    cache_open_ = false;
  }
  ListActions actions{Post(Kind::kCloseConnection)};
  if (IsNegativeReply(reply) || error_code_ != 0) {
    const std::string& name = account_name_;
    const std::string_view shown = std::string_view(name).substr(0, SjisPrefix(name, 499));
    actions.push_back(ListAction{Kind::kViewError, ListErrorText(error_code_, shown, true)});
  }
  actions.push_back(Post(Kind::kViewDone));
  return actions;
}

ListActions ListSession::OnError(int phase, int detail) {
  if (state_ == ListSessionState::kIdle) return {};
  error_pending_ = false;
  continue_pending_ = false;
  const ListSessionState quit = view_ ? ListSessionState::kQuitAfterView : ListSessionState::kQuitAfterDelete;
  if (error_code_ != 0) {
    // A later error (the connection dropping after a refusal or while
    // resetting) keeps the first code and only makes sure the session ends.
    state_ = quit;
    return {Post(Kind::kPostContinue)};
  }
  const bool broken = phase == 3 && (detail == 1 || detail == 9);
  error_code_ = phase + 10 * detail;
  // A sign-in that failed on the connection says goodbye; one that never
  // began (no TLS, no token) has sent nothing and sends nothing.
  if (phase == 2 || phase == 6 || (phase == kListSignInPhase && auth_started_)) {
    state_ = quit;
    return {Send("QUIT\r\n")};
  }
  if (phase == 3 && !broken) {
    state_ = ListSessionState::kRsetSent;
    return {Send("RSET\r\n")};
  }
  // Connection failures and a connection that broke: nothing more can be
  // said to the server; the session ends at once.
  state_ = quit;
  return {Post(Kind::kPostContinue)};
}

ListActions ListSession::OnConnectError() {
  switch (state_) {
    case ListSessionState::kIdle: return {};
    case ListSessionState::kUserSent:
    case ListSessionState::kLoginSent: return {PostError(5, 1)};
    case ListSessionState::kGreeting: return {PostError(1, 6)};
    default: return {PostError(3, 1)};
  }
}

ListActions ListSession::Disconnect() {
  const bool was_busy = busy();
  state_ = ListSessionState::kIdle;
  error_pending_ = false;
  continue_pending_ = false;
  if (cache_open_) {
    cache_.Discard();
    cache_open_ = false;
  }
  if (!view_ && run_active_) {
    // Cut the run before the interrupted account: the accounts done before
    // it are finished, its own rows stay (its QUIT, if sent, was never
    // answered, so the server keeps them). While its connection is in use
    // the position may already stand on the next account's first row.
    // Between two accounts nothing is interrupted: the run ends before the
    // account that was to come.
    std::size_t count = std::min(position_, row_count_);
    if (was_busy) {
      const std::size_t from = count;
      count = 0;
      for (std::size_t j = from; j-- > 0;) {
        if (rows_[j].columns[kColName] != account_name_) {
          count = j + 1;
          break;
        }
      }
    }
    row_count_ = count;
    if (position_ > row_count_) position_ = row_count_;
  }
  if (!was_busy) return {};
  return {Post(Kind::kCloseConnection)};
}

void ListSession::EndRun() {
  run_active_ = false;
}

}  // namespace tidewell
