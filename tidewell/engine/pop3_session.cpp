#include "tidewell/engine/pop3_session.h"

#include <cstdio>

#include "tidewell/engine/data_folder.h"
#include "tidewell/engine/seen_index.h"
#include "common/atomic_file.h"

namespace tidewell {

namespace {

constexpr std::string_view kTerminator = "\r\n.\r\n";

using Kind = SessionAction::Kind;

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// A single-line reply decides by its first character only.
bool Refused(std::string_view chunk) { return IsNegativeReply(chunk); }

}  // namespace

bool DiskSessionStore::Read(const std::string& path, std::string& out) {
  return ReadWholeFile(path, out);
}

bool DiskSessionStore::Write(const std::string& path, std::string_view bytes) {
  return WriteFileAtomically(path, bytes);
}

std::string AccountMailFilePath(const std::string& data_folder, const std::string& name_md5) {
  return DataPath(data_folder, "Mail\\" + name_md5);
}

std::string HashFilePath(const std::string& data_folder) {
  return DataPath(data_folder, "Mail\\hash.dat");
}

StartFailure SessionStartFailure(const SessionAccount& account) {
  if (account.oauth) {
    if (account.tls == SessionTls::kNone) return {kSignInErrorPhase, kSignInNotSecured};
    if (account.signin_failure != 0) return {kSignInErrorPhase, account.signin_failure};
    return {};
  }
  if (account.password_unreadable) return {kAccountErrorPhase, kPasswordUnreadableCode};
  return {};
}

std::string ErrorEntry(int phase, int code) {
  return "*ERR\r\n" + CheckErrorMessage(phase, code) + "\r\n.\r\n";
}

WatchdogSchedule::Fire WatchdogSchedule::OnFire(std::uint32_t now) {
  Fire fire;
  // Signed distance, so a fire after the due time (a busy queue) is a tick.
  const std::int32_t left = static_cast<std::int32_t>(due_ - now);
  if (left > static_cast<std::int32_t>(kTolerance)) {
    armed_ = static_cast<std::uint32_t>(left);
    fire.rearm = armed_;
    return fire;
  }
  fire.tick = true;
  due_ = now + kPeriod;
  if (armed_ != kPeriod) {
    armed_ = kPeriod;
    fire.rearm = kPeriod;
  }
  return fire;
}

Pop3Session::Pop3Session(Md5Function md5, SessionStore& store)
    : md5_(std::move(md5)), store_(store) {}

Pop3Session::~Pop3Session() = default;

void Pop3Session::Start(const SessionAccount& account, EngineData& data, int index) {
  data_ = &data;
  index_ = index;
  account_ = account;
  const std::string name_md5 = md5_(account.display_name);
  // Without a digest there is no file name: nothing is read or written for
  // the account rather than a file called "\Mail\".
  mail_path_ = name_md5.empty() ? std::string() : AccountMailFilePath(data.data_folder, name_md5);
  state_ = SessionState::kAwaitGreeting;
  current_message_ = 1;
  message_count_ = 0;
  watchdog_ticks_ = 0;
  deadline_ticks_ = 0;
  error_recorded_ = false;
  result_complete_ = false;
  message_buffer_.clear();
  scan_from_ = 0;
  session_text_.clear();
  seen_.reset();
  seen_loaded_ = false;
  secured_ = false;
  greeting_.clear();
  stls_reply_.clear();
  stls_judged_ = false;
  ResetSignIn();
  ResetFastCheck();
}

void Pop3Session::ResetSignIn() {
  auth_started_ = false;
  signin_.reset();
}

void Pop3Session::ResetFastCheck() {
  fast_ = false;
  pipelining_ = false;
  uidl_ = false;
  ids_ok_ = false;
  sizes_asked_ = false;
  std::string().swap(inbox_);
  inbox_scan_ = 0;
  std::vector<std::string>().swap(ids_);
  std::vector<std::uint64_t>().swap(sizes_);
  UidCacheMap().swap(cache_);
  std::vector<Fetched>().swap(fetched_);
  todo_.clear();
  awaited_.clear();
  awaited_bytes_ = 0;
  slots_.clear();
  next_plan_ = 1;
}

void Pop3Session::Abort() {
  state_ = SessionState::kIdle;
  std::string().swap(account_.access_token);
  ResetSignIn();
  std::string().swap(message_buffer_);
  std::string().swap(session_text_);
  seen_.reset();
  seen_loaded_ = false;
  ResetFastCheck();
}

SessionAction Pop3Session::Send(std::string text) {
  return SessionAction{Kind::kSend, std::move(text)};
}

SessionAction Pop3Session::Post(SessionAction::Kind kind) { return SessionAction{kind, {}}; }

SessionAction Pop3Session::PostError(int phase, int code) {
  return SessionAction{Kind::kPostError, {}, phase, code};
}

SessionActions Pop3Session::OnReceive(std::string_view chunk) { return Feed(chunk, false); }

SessionActions Pop3Session::OnContinue() { return Feed("+OK", true); }

SessionActions Pop3Session::Feed(std::string_view text, bool internal) {
  switch (state_) {
    case SessionState::kIdle:
      return {};
    case SessionState::kAwaitQuit:
      // The reply to QUIT or the continue after an error: either ends it.
      return Finish();
    case SessionState::kNextMessage:
    case SessionState::kMessageDone:
    case SessionState::kMessageFetched:
      // Internal steps advance only on their own continue; stray server text
      // must not run them twice.
      if (!internal) return {};
      break;
    default:
      // Server replies; a continue cannot stand in for one, and an empty
      // chunk says nothing.
      if (internal || text.empty()) return {};
      break;
  }
  switch (state_) {
    case SessionState::kAwaitGreeting:
      // No login without the password or a usable sign-in (the driver does
      // not even connect): nothing is sent.
      if (const StartFailure f = SessionStartFailure(account_)) return RecordError(f.phase, f.code);
      return Greeting(text);
    case SessionState::kAwaitStls: return StlsReply(text);
    case SessionState::kAwaitHandshake: return {};  // the TLS layer's business
    case SessionState::kAwaitToken: return {};      // nothing was asked of the server
    case SessionState::kAwaitUser:
      if (Refused(text)) return {PostError(2, 2)};
      state_ = SessionState::kAwaitLogin;
      return {Send("PASS " + account_.password + "\r\n")};
    case SessionState::kAwaitLogin:
      if (Refused(text)) return {PostError(3, 3)};
      return AfterLogin();
    case SessionState::kAwaitAuthCapa:
    case SessionState::kAwaitAuth: return SignInStep(signin_->OnText(text));
    case SessionState::kAwaitStat: return fast_ ? FastReceive(text) : Stat(text);
    case SessionState::kAwaitCapa:
    case SessionState::kAwaitUidl:
    case SessionState::kAwaitSizes:
    case SessionState::kAwaitMails: return FastReceive(text);
    case SessionState::kAwaitList: return ListReply(text);
    case SessionState::kAwaitTop: return TopChunk(text);
    case SessionState::kNextMessage: return NextMessage();
    case SessionState::kMessageFetched:
      state_ = SessionState::kMessageDone;
      return {Post(Kind::kPostContinue)};
    case SessionState::kMessageDone: return MessageDone();
    default: return {};
  }
}

// The login succeeded (PASS, APOP or AUTH): the mailbox is counted.
SessionActions Pop3Session::AfterLogin() {
  if (data_->Has(kFastCheck) && !data_->Has(kMsgCheck)) {
    // Ask what the server can do; counting only needs STAT alone.
    fast_ = true;
    state_ = SessionState::kAwaitCapa;
    return {Send("CAPA\r\n")};
  }
  state_ = SessionState::kAwaitStat;
  return {Send("STAT\r\n")};
}

SessionActions Pop3Session::Greeting(std::string_view chunk) {
  current_message_ = 1;
  message_count_ = 0;
  if (account_.tls == SessionTls::kOnConnect && !secured_) {
    // Text before the handshake: the driver must not hand it on.
    return {PostError(kTlsErrorPhase, kTlsHandshakeFailed)};
  }
  if (Refused(chunk)) return {PostError(2, 1)};
  if (account_.tls == SessionTls::kStls) {
    greeting_.assign(chunk);
    stls_reply_.clear();
    state_ = SessionState::kAwaitStls;
    return {Send("STLS\r\n")};
  }
  return LogIn(chunk);
}

// The reply to STLS is joined until its line end: "-" refuses (the account
// fails; there is no going on in clear text). Anything after the line end
// came before the handshake, where the server has nothing more to say:
// text slipped in to be read as if it came over TLS. The account fails.
SessionActions Pop3Session::StlsReply(std::string_view chunk) {
  constexpr std::size_t kLongestReply = 512;  // RFC 2449 allows 512 octets
  // Once the reply was judged, what still arrives before the error is
  // handled is not kept.
  if (stls_judged_) return {};
  // One byte past the limit is enough to tell a line without end or text
  // after the line end; no more than that is kept.
  const std::size_t room = kLongestReply + 1 - stls_reply_.size();
  const bool cut = chunk.size() > room;
  stls_reply_.append(chunk.substr(0, room));
  if (Refused(stls_reply_)) {
    stls_judged_ = true;
    return {PostError(2, kStlsRefusedCode)};
  }
  const std::size_t end = stls_reply_.find("\r\n");
  if (end == std::string::npos && stls_reply_.size() <= kLongestReply) return {};
  if (end == std::string::npos || end + 2 != stls_reply_.size() || cut) {
    stls_judged_ = true;
    return {PostError(kTlsErrorPhase, kTlsInjectedText)};
  }
  stls_reply_.clear();
  state_ = SessionState::kAwaitHandshake;
  return {Post(Kind::kStartTls)};
}

SessionActions Pop3Session::OnSecured() {
  if (account_.tls == SessionTls::kNone || secured_) return {};
  if (state_ == SessionState::kAwaitHandshake) {
    secured_ = true;
    return LogIn(greeting_);
  }
  if (state_ == SessionState::kAwaitGreeting && account_.tls == SessionTls::kOnConnect) secured_ = true;
  return {};
}

// USER, or APOP with the time stamp of the greeting (over STLS: the clear
// greeting before STLS; the server sends no second one).
SessionActions Pop3Session::LogIn(std::string_view chunk) {
  if (account_.oauth) return OAuthLogIn();
  if (!account_.apop) {
    state_ = SessionState::kAwaitUser;
    return {Send("USER " + account_.user + "\r\n")};
  }
  const std::string digest = md5_(ApopTimestamp(chunk) + account_.password);
  state_ = SessionState::kAwaitLogin;
  return {Send("APOP " + account_.user + " " + digest + "\r\n")};
}

// ---- OAuth sign-in ------------------------------------------------------------
//
// Once the connection is secured, oauth::Pop3SignIn runs CAPA and AUTH. A
// refused token is refreshed once (kRefreshToken) when a fresh one may
// help, and AUTH sent again on the same connection; otherwise the account
// ends with (6,3) and QUIT.

SessionActions Pop3Session::OAuthLogIn() {
  // The driver secures the connection before the greeting is handed on, or
  // before OnSecured brings the login; anything else sends no token.
  if (account_.tls == SessionTls::kNone || !secured_) return RecordError(kSignInErrorPhase, kSignInNotSecured);
  auth_started_ = true;
  signin_.emplace(account_.user, account_.server, account_.port, std::move(account_.access_token),
                  account_.token_fresh);
  std::string().swap(account_.access_token);
  state_ = SessionState::kAwaitAuthCapa;
  return {Send(signin_->Begin())};
}

SessionActions Pop3Session::SignInStep(oauth::Pop3SignIn::Step step) {
  using Outcome = oauth::Pop3SignIn::Outcome;
  switch (step.outcome) {
    case Outcome::kPending: {
      state_ = signin_->reading_capa() ? SessionState::kAwaitAuthCapa : SessionState::kAwaitAuth;
      SessionActions out;
      for (std::string& text : step.send) out.push_back(Send(std::move(text)));
      return out;
    }
    case Outcome::kNeedToken:
      state_ = SessionState::kAwaitToken;
      return {Post(Kind::kRefreshToken)};
    case Outcome::kLoggedIn:
      signin_.reset();
      return AfterLogin();
    case Outcome::kRefused:
      signin_.reset();
      return RecordError(kSignInErrorPhase, kSignInTokenRefused);
    case Outcome::kNoToken:
      signin_.reset();
      return RecordError(kSignInErrorPhase, kSignInRefreshFailed);
    case Outcome::kTooLarge:
      signin_.reset();
      return RecordError(kReplyTooLargePhase, kReplyTooLargeCode);
  }
  return {};
}

SessionActions Pop3Session::OnToken(std::string token) {
  if (state_ != SessionState::kAwaitToken || !signin_) return {};
  return SignInStep(signin_->OnToken(std::move(token)));
}

SessionActions Pop3Session::OnTokenFailure(int signin_code) {
  if (state_ != SessionState::kAwaitToken) return {};
  if (signin_code < kSignInNeeded || signin_code > kSignInNoClientId) signin_code = kSignInRefreshFailed;
  signin_.reset();
  return RecordError(kSignInErrorPhase, signin_code);
}

SessionActions Pop3Session::Stat(std::string_view chunk) {
  if (Refused(chunk)) return {PostError(2, 4)};
  message_count_ = ParseStatCount(chunk);
  if (index_ >= 0 && index_ < data_->account_count())
    data_->server_mail_count[index_] = message_count_;
  data_->new_count = SaturatingAdd(data_->new_count, message_count_);
  if (data_->Has(kMsgCheck)) return SendQuitWithResult();
  return NextMessage();
}

SessionActions Pop3Session::SendQuitWithResult() {
  state_ = SessionState::kAwaitQuit;
  result_complete_ = true;
  return {Send("QUIT\r\n")};
}

SessionActions Pop3Session::NextMessage() {
  if (current_message_ > message_count_) return SendQuitWithResult();
  state_ = SessionState::kAwaitList;
  return {Send("LIST " + std::to_string(current_message_) + "\r\n")};
}

SessionActions Pop3Session::ListReply(std::string_view chunk) {
  if (Refused(chunk)) return {PostError(2, 5)};
  message_buffer_.assign(chunk);
  for (char& c : message_buffer_) c = AsciiUpper(c);
  scan_from_ = 0;
  state_ = SessionState::kAwaitTop;
  return {Send("TOP " + std::to_string(current_message_) + " 0\r\n")};
}

SessionActions Pop3Session::TopChunk(std::string_view chunk) {
  if (message_buffer_.size() + chunk.size() > kMaxReply) {
    // A reply without end: drop what came of it and end the account.
    std::string().swap(message_buffer_);
    return RecordError(kReplyTooLargePhase, kReplyTooLargeCode);
  }
  message_buffer_.append(chunk);
  const std::size_t a = message_buffer_.find("\r\n");
  if (a != std::string::npos && a + 2 < message_buffer_.size() && message_buffer_[a + 2] == '-')
    return {PostError(2, 6)};
  // Only text that arrived since the last look can complete the terminator.
  if (message_buffer_.find(kTerminator, scan_from_) == std::string::npos) {
    scan_from_ = message_buffer_.size() >= kTerminator.size() - 1
                     ? message_buffer_.size() - (kTerminator.size() - 1)
                     : 0;
    return {};
  }
  if (!FitsCaps()) {
    std::string().swap(message_buffer_);
    return RecordError(kReplyTooLargePhase, kReplyTooLargeCode);
  }
  MessageComplete();
  state_ = SessionState::kMessageFetched;
  return {Post(Kind::kPostContinue)};
}

// The complete message buffer still fits the session text, and its hash the
// hash list: checked before a mail is counted, in both sequences alike.
bool Pop3Session::FitsCaps() const {
  constexpr std::size_t kHashLine = 33;  // 32 hex digits and "\n"
  return session_text_.size() <= limits_.session_text &&
         message_buffer_.size() <= limits_.session_text - session_text_.size() &&
         data_->hash_list.size() + kHashLine <= limits_.hash_list;
}

std::string Pop3Session::MessageComplete(const std::string* known_hash) {
  std::string hash;
  if (known_hash) {
    hash = *known_hash;
  } else {
    std::string header;
    if (HeaderHashText(message_buffer_, header)) hash = md5_(header);
  }
  if (!hash.empty()) data_->hash_list += hash + "\n";
  if (data_->Has(kNewMessage)) {
    const std::size_t a = message_buffer_.find("\r\n");
    if (SeenBefore(std::string_view(message_buffer_).substr(a + 2))) {
      data_->new_count -= 1;
      if (index_ >= 0 && index_ < data_->account_count()) data_->server_mail_count[index_] -= 1;
      data_->seen_count += 1;
    }
  }
  return hash;
}

bool Pop3Session::SeenBefore(std::string_view top_reply) {
  if (!seen_loaded_) {
    std::string previous;
    if (mail_path_.empty() || !store_.Read(mail_path_, previous)) previous.clear();
    seen_ = std::make_unique<SeenIndex>(std::move(previous));
    seen_loaded_ = true;
  }
  return seen_->Contains(top_reply);
}

SessionActions Pop3Session::MessageDone() {
  session_text_ += message_buffer_;
  message_buffer_.clear();
  current_message_ += 1;
  if (current_message_ > message_count_) return SendQuitWithResult();
  state_ = SessionState::kNextMessage;
  return {Post(Kind::kPostContinue)};
}

SessionActions Pop3Session::Finish() {
  if (!mail_path_.empty()) store_.Write(mail_path_, session_text_);
  std::string().swap(account_.access_token);
  ResetSignIn();
  seen_.reset();
  seen_loaded_ = false;
  UidCacheMap().swap(cache_);
  // The unique-id cache is rewritten only after a check that fetched every
  // mail with usable ids; after a failure the previous one stays, as the
  // ids it names still stand for the same mails.
  if (fast_ && ids_ok_ && result_complete_ && !error_recorded_ && !mail_path_.empty() &&
      fetched_.size() == ids_.size()) {
    std::vector<UidCacheView> views;
    views.reserve(fetched_.size());
    const std::string_view text = session_text_;
    for (std::size_t i = 0; i < fetched_.size(); ++i) {
      const Fetched& f = fetched_[i];
      views.push_back(UidCacheView{ids_[i], static_cast<int>(i + 1), sizes_[i], text.substr(f.at, f.list_size),
                                   text.substr(f.at + f.list_size, f.top_size), f.hash});
    }
    store_.Write(mail_path_ + ".uid", SerializeUidCache(CacheKey(), views));
  }
  ResetFastCheck();
  store_.Write(HashFilePath(data_->data_folder), data_->hash_list);
  std::string().swap(session_text_);
  std::string().swap(message_buffer_);
  seen_.reset();
  seen_loaded_ = false;
  state_ = SessionState::kIdle;
  return {Post(Kind::kKillWatchdog), Post(Kind::kCloseConnection), Post(Kind::kAccountDone)};
}

SessionActions Pop3Session::OnError(int phase, int code) {
  if (state_ == SessionState::kIdle) return {};
  // Every mail was fetched and QUIT sent: whatever goes wrong now (a
  // hang-up, the watchdog) cannot make the result less complete.
  if (result_complete_ && state_ == SessionState::kAwaitQuit) return Finish();
  return RecordError(phase, code);
}

SessionActions Pop3Session::RecordError(int phase, int code) {
  if (error_recorded_) {
    // A second error (the connection dropping after a refusal, the
    // watchdog) keeps the first entry and only makes sure the session ends.
    if (phase == 2) return {};
    state_ = SessionState::kAwaitQuit;
    return {Post(Kind::kPostContinue)};
  }
  error_recorded_ = true;
  session_text_ = ErrorEntry(phase, code);
  data_->Set(kCheckError);
  state_ = SessionState::kAwaitQuit;
  // A sign-in that failed on the connection says goodbye; one that never
  // began (no TLS, no token) has sent nothing and sends nothing.
  if (phase == 2 || (phase == kSignInErrorPhase && auth_started_)) return {Send("QUIT\r\n")};
  return {Post(Kind::kPostContinue)};
}

SessionActions Pop3Session::OnClosed() {
  switch (state_) {
    case SessionState::kIdle: return {};
    case SessionState::kAwaitQuit: return Finish();
    default: return {PostError(3, 1)};
  }
}

SessionActions Pop3Session::OnConnectError() {
  switch (state_) {
    case SessionState::kIdle: return {};
    case SessionState::kAwaitLogin: return {PostError(3, 3)};
    case SessionState::kAwaitGreeting: return {PostError(1, 6)};
    default: return {PostError(3, 1)};
  }
}

void Pop3Session::OnSocketEvent() { watchdog_ticks_ = 0; }

SessionActions Pop3Session::OnDeadlineTick() {
  if (state_ == SessionState::kIdle) return {Post(Kind::kKillWatchdog)};
  deadline_ticks_ += 1;
  if (data_->timeout < 1) data_->timeout = 5;
  if (deadline_ticks_ < kDeadlineFactor * data_->timeout) return {};
  return {Post(Kind::kKillWatchdog), PostError(3, 5)};
}

SessionActions Pop3Session::OnWatchdogTick() {
  if (state_ == SessionState::kIdle) return {Post(Kind::kKillWatchdog)};
  watchdog_ticks_ += 1;
  if (data_->timeout < 1) data_->timeout = 5;
  if (watchdog_ticks_ < data_->timeout) return {};
  return {Post(Kind::kKillWatchdog), PostError(3, 5)};
}

}  // namespace tidewell

// ---- Fast check ------------------------------------------------------------
//
// From the reply to CAPA on, received text collects in inbox_ and is taken
// apart reply by reply: single-line replies up to their line break, multi-line
// ones up to "\r\n.\r\n". Replies decide by their first character like the
// one-by-one sequence, and the mails are completed strictly in message-number
// order, so the account mail file, the hash list, the counts and the error
// entries come out as the one-by-one sequence makes them.

namespace tidewell {

namespace {

void Append(SessionActions& to, SessionActions more) {
  for (SessionAction& a : more) to.push_back(std::move(a));
}

}  // namespace

SessionActions Pop3Session::ReplyTooLarge() {
  std::string().swap(inbox_);
  return RecordError(kReplyTooLargePhase, kReplyTooLargeCode);
}

SessionActions Pop3Session::FastReceive(std::string_view chunk) {
  inbox_.append(chunk);
  SessionActions out;
  for (;;) {
    switch (state_) {
      case SessionState::kAwaitCapa: {
        if (inbox_.empty()) return out;
        std::size_t end;
        if (inbox_[0] == '-') {
          // CAPA refused (an RFC 1939 server): the one-by-one sequence.
          end = inbox_.find("\r\n");
          if (end == std::string::npos) {
            if (inbox_.size() > kMaxReply) Append(out, ReplyTooLarge());
            return out;
          }
        } else {
          const std::size_t t = inbox_.find(kTerminator, inbox_scan_);
          if (t == std::string::npos) {
            if (inbox_.size() > kMaxReply) {
              Append(out, ReplyTooLarge());
            } else if (inbox_.size() >= kTerminator.size()) {
              inbox_scan_ = inbox_.size() - (kTerminator.size() - 1);
            }
            return out;
          }
          end = t + 3;  // the dot line; its line break follows
          const Capabilities caps = ParseCapabilities(std::string_view(inbox_).substr(0, t + kTerminator.size()));
          pipelining_ = caps.pipelining;
          uidl_ = caps.uidl;
        }
        inbox_.erase(0, end + 2);
        inbox_scan_ = 0;
        state_ = SessionState::kAwaitStat;
        if (!pipelining_ && !uidl_) {
          // Nothing to gain: the one-by-one sequence, fed chunk by chunk.
          fast_ = false;
          std::string().swap(inbox_);
          out.push_back(Send("STAT\r\n"));
          return out;
        }
        // With both, the listings go out with STAT: ids, then sizes.
        sizes_asked_ = pipelining_ && uidl_;
        out.push_back(Send(sizes_asked_ ? "STAT\r\nUIDL\r\nLIST\r\n" : "STAT\r\n"));
        continue;
      }
      case SessionState::kAwaitStat: {
        if (inbox_.empty()) return out;
        if (inbox_[0] == '-') {
          Append(out, RecordError(2, 4));
          return out;
        }
        const std::size_t end = inbox_.find("\r\n");
        if (end == std::string::npos) {
          if (inbox_.size() > kMaxReply) Append(out, ReplyTooLarge());
          return out;
        }
        const std::string line = inbox_.substr(0, end + 2);
        inbox_.erase(0, end + 2);
        Append(out, FastStat(line));
        if (state_ == SessionState::kAwaitUidl && !pipelining_) return out;  // UIDL just sent
        continue;
      }
      case SessionState::kAwaitUidl:
      case SessionState::kAwaitSizes: {
        // The multi-line UIDL, then the multi-line LIST: each is kept whole
        // up to kMaxListing, and names at most kMaxListedMails mails.
        if (inbox_.empty()) return out;
        const bool ids = state_ == SessionState::kAwaitUidl;
        std::size_t end;
        if (inbox_[0] == '-') {
          // Refused after all: every mail is fetched, nothing cached.
          end = inbox_.find("\r\n");
          if (end == std::string::npos) {
            if (inbox_.size() > kMaxReply) Append(out, ReplyTooLarge());
            return out;
          }
          end += 2;
          ids_ok_ = false;
        } else {
          const std::size_t t = inbox_.find(kTerminator, inbox_scan_);
          if (t == std::string::npos) {
            if (inbox_.size() > limits_.listing) {
              Append(out, ReplyTooLarge());
            } else if (inbox_.size() >= kTerminator.size()) {
              inbox_scan_ = inbox_.size() - (kTerminator.size() - 1);
            }
            return out;
          }
          end = t + kTerminator.size();
          if (message_count_ > limits_.listed_mails) {
            // More ids or sizes than a mailbox the session text can hold.
            Append(out, ReplyTooLarge());
            return out;
          }
          const std::string_view reply = std::string_view(inbox_).substr(0, end);
          if (ids) ids_ok_ = ParseUidlListing(reply, message_count_, ids_);
          else if (ids_ok_) ids_ok_ = ParseSizeListing(reply, message_count_, sizes_);
        }
        if (!ids_ok_) {
          std::vector<std::string>().swap(ids_);
          std::vector<std::uint64_t>().swap(sizes_);
        }
        inbox_.erase(0, end);
        inbox_scan_ = 0;
        if (ids && !sizes_asked_ && ids_ok_ && message_count_ > 0) {
          // One command at a time: the sizes are asked now.
          sizes_asked_ = true;
          state_ = SessionState::kAwaitSizes;
          out.push_back(Send("LIST\r\n"));
          return out;
        }
        if (ids && sizes_asked_) {
          state_ = SessionState::kAwaitSizes;
          continue;
        }
        Append(out, ListingsDone());
        if (state_ != SessionState::kAwaitMails) return out;
        continue;
      }
      case SessionState::kAwaitMails: {
        while (state_ == SessionState::kAwaitMails && MailReply(out)) {
        }
        if (state_ == SessionState::kAwaitMails) Append(out, Pump());
        return out;
      }
      default:
        // The session ended or failed; what is left is not looked at.
        std::string().swap(inbox_);
        return out;
    }
  }
}

SessionActions Pop3Session::FastStat(std::string_view line) {
  message_count_ = ParseStatCount(line);
  if (index_ >= 0 && index_ < data_->account_count())
    data_->server_mail_count[index_] = message_count_;
  data_->new_count = SaturatingAdd(data_->new_count, message_count_);
  if (uidl_) {
    state_ = SessionState::kAwaitUidl;
    // With PIPELINING the UIDL went out together with STAT.
    if (!pipelining_) {
      if (message_count_ < 1) return SendQuitWithResult();
      return {Send("UIDL\r\n")};
    }
    return {};
  }
  if (message_count_ < 1) return SendQuitWithResult();
  state_ = SessionState::kAwaitMails;
  return Pump();
}

// Both listings are in (or refused): the cache is read when the ids can be
// used, then the mails are asked for.
SessionActions Pop3Session::ListingsDone() {
  if (ids_ok_ && (sizes_.size() != ids_.size() || IdsFollowNumbers(ids_))) {
    // Ids that are the message numbers change with every deletion: they
    // would pair a mail with the header of the one that had its number.
    ids_ok_ = false;
    std::vector<std::string>().swap(ids_);
    std::vector<std::uint64_t>().swap(sizes_);
  }
  if (ids_ok_) LoadUidCache();
  if (message_count_ < 1) return SendQuitWithResult();
  state_ = SessionState::kAwaitMails;
  return Pump();
}

std::string Pop3Session::CacheKey() const {
  return UidCacheKey(account_.server, account_.port, account_.user, static_cast<int>(account_.tls));
}

void Pop3Session::LoadUidCache() {
  std::string text;
  if (mail_path_.empty() || !store_.Read(mail_path_ + ".uid", text)) return;
  // A cache that does not read back whole is ignored: every mail is fetched.
  ParseUidCache(text, CacheKey(), cache_);
}

// One reply to the oldest command awaited. True when it was complete and
// taken; false when more text is needed or the session failed.
bool Pop3Session::MailReply(SessionActions& out) {
  if (awaited_.empty()) {
    // Text no command asked for: not looked at.
    std::string().swap(inbox_);
    return false;
  }
  if (inbox_.empty()) return false;
  const Command c = awaited_.front();
  Slot& slot = slots_[static_cast<std::size_t>(c.number - current_message_)];
  if (!c.top) {
    if (inbox_[0] == '-') {
      Append(out, RecordError(2, 5));
      return false;
    }
    const std::size_t end = inbox_.find("\r\n");
    if (end == std::string::npos) {
      if (inbox_.size() > kMaxReply) Append(out, ReplyTooLarge());
      return false;
    }
    slot.list = inbox_.substr(0, end + 2);
    for (char& ch : slot.list) ch = AsciiUpper(ch);
    slot.has_list = true;
    inbox_.erase(0, end + 2);
  } else {
    if (inbox_[0] == '-') {
      Append(out, RecordError(2, 6));
      return false;
    }
    const std::size_t t = inbox_.find(kTerminator, inbox_scan_);
    if (t == std::string::npos) {
      if (slot.list.size() + inbox_.size() > kMaxReply) {
        Append(out, ReplyTooLarge());
      } else if (inbox_.size() >= kTerminator.size()) {
        inbox_scan_ = inbox_.size() - (kTerminator.size() - 1);
      }
      return false;
    }
    slot.top = inbox_.substr(0, t + kTerminator.size());
    slot.has_top = true;
    inbox_.erase(0, t + kTerminator.size());
  }
  inbox_scan_ = 0;
  awaited_.pop_front();
  awaited_bytes_ -= c.size;
  return CompleteReadyMails(out);
}

// Stores the mails at the front that have both replies, in order: the same
// steps as a mail fetched one by one (caps, hash, seen-before test, entry).
// False when a cap ended the account.
bool Pop3Session::CompleteReadyMails(SessionActions& out) {
  while (!slots_.empty() && slots_.front().has_list && slots_.front().has_top) {
    Slot slot = std::move(slots_.front());
    slots_.pop_front();
    message_buffer_.assign(slot.list);
    message_buffer_ += slot.top;
    if (!FitsCaps()) {
      std::string().swap(message_buffer_);
      Append(out, ReplyTooLarge());
      return false;
    }
    // The header hash depends on the TOP reply alone (the LIST line is one
    // line here): a cached mail brings its hash along.
    std::string hash = MessageComplete(slot.has_hash ? &slot.hash : nullptr);
    if (ids_ok_) fetched_.push_back(Fetched{session_text_.size(), slot.list.size(), slot.top.size(), std::move(hash)});
    session_text_ += message_buffer_;
    message_buffer_.clear();
    current_message_ += 1;
  }
  return true;
}

// A cached entry stands for mail `number` only when the server gives that
// mail the same size, and the entry is still what was written: its checksum
// and its header hash come out of its texts again.
bool Pop3Session::CachedEntryUsable(const UidCacheEntry& entry, int number) const {
  if (entry.size != sizes_[static_cast<std::size_t>(number - 1)] || entry.hash.empty()) return false;
  if (entry.check != EntryChecksum(entry.list_line, entry.top_reply)) return false;
  // The LIST line is one line, and the TOP reply one whole reply.
  const std::size_t line_end = entry.list_line.find("\r\n");
  if (line_end == std::string::npos || line_end + 2 != entry.list_line.size()) return false;
  const std::size_t t = entry.top_reply.find(kTerminator);
  if (entry.top_reply.empty() || entry.top_reply[0] == '-' || t == std::string::npos ||
      t + kTerminator.size() != entry.top_reply.size())
    return false;
  std::string header;
  if (!HeaderHashText(entry.list_line + entry.top_reply, header)) return false;
  return md5_(header) == entry.hash;
}

// The LIST line of a cached mail can stand in for LIST n when it reads
// "+OK <n> <size>" with the mail's number and size now.
static bool ListLineFits(const std::string& line, int number, std::uint64_t size) {
  const std::string head = "+OK " + std::to_string(number) + " " + std::to_string(size);
  if (line.compare(0, head.size(), head) != 0 || line.size() < head.size() + 2) return false;
  return line[head.size()] == ' ' || line[head.size()] == '\r';
}

// A mail whose id the previous check cached reuses its TOP reply, and its
// LIST line too when the mail still has the same number (the LIST line holds
// the number: after a deletion in front of it, LIST is asked again).
void Pop3Session::PlanMail(int number) {
  Slot slot;
  if (ids_ok_) {
    const auto it = cache_.find(ids_[static_cast<std::size_t>(number - 1)]);
    if (it != cache_.end() && CachedEntryUsable(it->second, number)) {
      // Ids are unique within a listing: each cached entry is used once.
      slot.top = std::move(it->second.top_reply);
      slot.has_top = true;
      slot.hash = std::move(it->second.hash);
      slot.has_hash = true;
      slot.from_cache = true;
      if (it->second.number == number &&
          ListLineFits(it->second.list_line, number, sizes_[static_cast<std::size_t>(number - 1)])) {
        slot.list = std::move(it->second.list_line);
        slot.has_list = true;
      }
    }
  }
  if (!slot.has_list) todo_.push_back(Command{false, number, 0});
  if (!slot.has_top) todo_.push_back(Command{true, number, 0});
  slots_.push_back(std::move(slot));
}

std::string Pop3Session::BatchToSend() {
  std::string batch;
  auto take = [&] {
    Command c = todo_.front();
    todo_.pop_front();
    const std::string text =
        c.top ? "TOP " + std::to_string(c.number) + " 0\r\n" : "LIST " + std::to_string(c.number) + "\r\n";
    c.size = text.size();
    batch += text;
    awaited_bytes_ += c.size;
    awaited_.push_back(c);
  };
  if (!pipelining_) {
    if (awaited_.empty() && !todo_.empty()) take();
    return batch;
  }
  // Top up only once half the window is answered: fewer, fuller writes.
  if (awaited_bytes_ > kCommandWindow / 2) return batch;
  while (!todo_.empty() && awaited_bytes_ + 32 <= kCommandWindow) take();
  return batch;
}

// Completes what it can, plans further mails and sends what the window allows.
SessionActions Pop3Session::Pump() {
  for (;;) {
    SessionActions out;
    if (!CompleteReadyMails(out)) return out;
    if (current_message_ > message_count_) return SendQuitWithResult();
    bool planned = false;
    while (next_plan_ <= message_count_ && slots_.size() < kMaxPlannedMails && todo_.size() < kMaxPlannedMails) {
      PlanMail(next_plan_++);
      planned = true;
    }
    if (!planned) break;
  }
  std::string batch = BatchToSend();
  if (batch.empty()) return {};
  return {Send(std::move(batch))};
}

}  // namespace tidewell
