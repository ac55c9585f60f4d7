#include "tidewell/engine/win32/session_driver.h"

#include "tidewell/engine/engine_state.h"
#include "common/check_errors.h"
#include "common/win32/inkwell_dll.h"

namespace tidewell {

namespace {
constexpr long kSessionEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;  // 0x33
// Most the closing of a connection reads before it closes the socket anyway.
constexpr std::size_t kMaxDrain = 64 * 1024;
// Most one read takes from the socket.
constexpr std::size_t kMaxRead = 64 * 1024;
using Md5CalcFn = int(__stdcall*)(const char* text, char* out);
// MD5Calc, looked up once while a session holds its reference to the library
// (one thread: the window's).
Md5CalcFn g_session_md5 = nullptr;

void BindSessionMd5(HMODULE library) {
  g_session_md5 = library ? reinterpret_cast<Md5CalcFn>(reinterpret_cast<void*>(GetProcAddress(library, "MD5Calc")))
                          : nullptr;
}

}  // namespace

Md5Function SessionMd5Function() {
  return [](std::string_view text) {
    if (!g_session_md5) return InkwellMd5(std::string(text));
    const std::string input(text);  // MD5Calc takes C text
    char digest[1024] = {};
    g_session_md5(input.c_str(), digest);
    digest[sizeof digest - 1] = '\0';
    return std::string(digest);
  };
}

void SessionDriver::SetWindow(HWND hwnd) {
  hwnd_ = hwnd;
  tokens_.SetWindow(hwnd, kWmTrayToken);
}

bool SessionDriver::Start(const SessionAccount& account, EngineData& data, int index,
                          const oauth::OAuthAccount* oauth) {
  waiting_.reset();
  refreshing_ = false;
  tokens_.Cancel();
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) {
    session_.Start(account, data, index);
    session_.Abort();
    return false;
  }
  socket_layer_started_ = true;
  SessionAccount with_token = account;
  // A token goes only over a secured connection: an account without TLS
  // ends with its own entry and gets no token at all.
  if (account.oauth && oauth && account.tls != SessionTls::kNone && account.signin_failure == 0) {
    oauth_account_ = *oauth;
    data_folder_ = data.data_folder;
    if (!tokens_.Begin(data_folder_, oauth_account_, false)) {
      waiting_ = std::make_unique<PendingStart>();
      waiting_->account = account;
      waiting_->data = &data;
      waiting_->index = index;
      StartWatchdog();
      return true;
    }
    TakeToken(with_token);
  } else if (account.oauth && !oauth && account.signin_failure == 0) {
    with_token.signin_failure = kSignInNeeded;
  }
  Begin(with_token, data, index);
  return true;
}

// The token (or why there is none) into the session's account.
void SessionDriver::TakeToken(SessionAccount& account) const {
  const OAuthTokenResult& r = tokens_.result();
  if (r.ok) {
    account.access_token = r.access_token;
    account.token_fresh = r.fresh;
  } else {
    account.signin_failure = r.signin_failure;
  }
}

void SessionDriver::OnTokenAnswer(WPARAM request) {
  if (!tokens_.OnAnswer(request)) return;  // a cancelled refresh's late answer
  if (waiting_) {
    std::unique_ptr<PendingStart> p = std::move(waiting_);
    TakeToken(p->account);
    Begin(p->account, *p->data, p->index);
    return;
  }
  if (refreshing_) DeliverRefreshedToken();
}

// The server refused the token and a new one may help: a refresh whatever
// the cached token's age; the session waits on its connection meanwhile.
void SessionDriver::RefreshToken() {
  refreshing_ = true;
  if (tokens_.Begin(data_folder_, oauth_account_, true)) DeliverRefreshedToken();
}

void SessionDriver::DeliverRefreshedToken() {
  refreshing_ = false;
  if (!session_.active()) return;
  const OAuthTokenResult& r = tokens_.result();
  Run(r.ok ? session_.OnToken(r.access_token) : session_.OnTokenFailure(r.signin_failure));
}

// The session itself: the account's connection, or its error entry at once.
void SessionDriver::Begin(const SessionAccount& account, EngineData& data, int index) {
  session_.Start(account, data, index);
  codec_reference_.reset(LoadInkwellLibrary());
  BindSessionMd5(codec_reference_.get());
  port_ = static_cast<unsigned short>(account.port);
  tls_mode_ = account.tls;
  server_name_ = account.server;
  tls_.reset();
  pending_.clear();
  const unsigned long address = inet_addr(account.server.c_str());
  if (const StartFailure failure = SessionStartFailure(account)) {
    // Nothing to log in with (the password could not be read, no token) or
    // a token that must not go out in clear: the account's entry says so.
    PostError(failure.phase, failure.code);
  } else if (address != INADDR_NONE) {
    ConnectTo(address);
  } else {
    lookup_ = WSAAsyncGetHostByName(hwnd_, kWmTrayHostFound, account.server.c_str(), host_entry_,
                                    sizeof host_entry_);
    if (!lookup_) PostError(1, 2);  // the lookup could not even be started
  }
  StartWatchdog();
}

void SessionDriver::ConnectTo(unsigned long address) {
  hung_up_ = false;
  socket_ = socket(AF_INET, SOCK_STREAM, 0);
  if (socket_ == INVALID_SOCKET) {
    PostError(1, 3);
    return;
  }
  if (WSAAsyncSelect(socket_, hwnd_, kWmTraySocket, kSessionEvents) == SOCKET_ERROR) {
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
    PostError(1, 4);
    return;
  }
  // Commands are short and each waits for its reply: send them at once.
  BOOL no_delay = TRUE;
  setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay);
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(port_);
  to.sin_addr.s_addr = address;
  if (connect(socket_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
    PostError(1, 5);
  }
}

void SessionDriver::OnHostFound(WPARAM task, LPARAM result) {
  // Only the pending lookup's answer counts: the answer of a lookup that was
  // cancelled (disconnect, the previous account) can still be queued, and it
  // says nothing about this session.
  if (!session_.active() || !lookup_ || reinterpret_cast<HANDLE>(task) != lookup_) return;
  lookup_ = nullptr;
  if (WSAGETASYNCERROR(result) != 0) {
    PostError(1, 2);
    return;
  }
  const hostent* host = reinterpret_cast<const hostent*>(host_entry_);
  if (!host->h_addr_list || !host->h_addr_list[0]) {
    PostError(1, 2);
    return;
  }
  unsigned long address;
  memcpy(&address, host->h_addr_list[0], sizeof address);
  ConnectTo(address);
}

void SessionDriver::OnSocket(WPARAM socket, LPARAM event) {
  // Events of a socket that was already closed may still be queued.
  if (!session_.active() || socket_ == INVALID_SOCKET || static_cast<SOCKET>(socket) != socket_) return;
  session_.OnSocketEvent();
  watchdog_.Event(GetTickCount());  // the timer itself is re-armed when it fires
  switch (WSAGETSELECTEVENT(event)) {
    case FD_READ: {
      // One read takes what is there up to kMaxRead: a read and its event
      // are a round trip to the Wine server each, and the replies of a
      // pipelined batch arrive faster than 8 KiB at a time. The session is
      // still handed chunks of at most kMaxChunk.
      read_buffer_.resize(kMaxRead);
      const int n = recv(socket_, read_buffer_.data(), static_cast<int>(read_buffer_.size()), 0);
      if (n == 0 || n == SOCKET_ERROR) {
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return;  // nothing there after all
        ReportHangUp();
        return;
      }
      DeliverRead(std::string_view(read_buffer_.data(), static_cast<std::size_t>(n)));
      break;
    }
    case FD_CLOSE: OnServerClosed(); break;
    case FD_CONNECT:
      if (WSAGETSELECTERROR(event) != 0) Run(session_.OnConnectError());
      else if (tls_mode_ == SessionTls::kOnConnect && !tls_) StartTls();
      break;
    case FD_WRITE: FlushPending(); break;
    default: break;
  }
}

// The server hung up. What it sent before closing may still be waiting and is
// handed to the session first (it can be the reply to QUIT); then the close
// itself is a receive error, or the end of the session while waiting for the
// reply to QUIT. The text still pending is finite, as the peer has closed,
// and the session caps what one reply may hold.
void SessionDriver::OnServerClosed() {
  const SOCKET s = socket_;
  while (socket_ == s && session_.active()) {
    read_buffer_.resize(kMaxRead);
    const int n = recv(socket_, read_buffer_.data(), static_cast<int>(read_buffer_.size()), 0);
    if (n <= 0) break;
    DeliverRead(std::string_view(read_buffer_.data(), static_cast<std::size_t>(n)));
  }
  if (socket_ == s && session_.active() && !hung_up_) {
    hung_up_ = true;
    Run(session_.OnClosed());
  }
}

// A read that found the connection closed or broken: reported once per
// connection, whether the read or FD_CLOSE notices it first.
void SessionDriver::ReportHangUp() {
  if (hung_up_) return;
  hung_up_ = true;
  PostError(3, 1);
}

void SessionDriver::OnContinue() {
  if (session_.active()) Run(session_.OnContinue());
}

void SessionDriver::OnError(int phase, int code) {
  if (session_.active()) Run(session_.OnError(phase, code));
}

void SessionDriver::OnWatchdogTick() {
  if (waiting_) {
    // No socket yet: the minutes the token endpoint takes count like
    // minutes without a socket event, against the same time-out.
    const WatchdogSchedule::Fire fire = watchdog_.OnFire(GetTickCount());
    if (fire.rearm != 0) SetTimer(hwnd_, kWatchdogTimer, fire.rearm, nullptr);
    const int timeout = waiting_->data->timeout < 1 ? 5 : waiting_->data->timeout;
    if (fire.tick && ++waiting_->minutes >= timeout) {
      tokens_.Cancel();
      std::unique_ptr<PendingStart> p = std::move(waiting_);
      p->account.signin_failure = kSignInRefreshFailed;
      Begin(p->account, *p->data, p->index);
    }
    return;
  }
  if (!session_.active()) {
    KillTimer(hwnd_, kWatchdogTimer);
    return;
  }
  const WatchdogSchedule::Fire fire = watchdog_.OnFire(GetTickCount());
  if (fire.rearm != 0) SetTimer(hwnd_, kWatchdogTimer, fire.rearm, nullptr);
  if (fire.tick) Run(session_.OnWatchdogTick());
}

void SessionDriver::OnDeadlineTick() {
  if (waiting_) return;  // the watchdog bounds the wait for a token
  if (!session_.active()) {
    KillTimer(hwnd_, kDeadlineTimer);
    return;
  }
  Run(session_.OnDeadlineTick());
}

void SessionDriver::Stop() {
  waiting_.reset();
  CloseConnection();
  KillTimer(hwnd_, kWatchdogTimer);
  KillTimer(hwnd_, kDeadlineTimer);
  session_.Abort();
}

void SessionDriver::Run(const SessionActions& actions) {
  for (const SessionAction& a : actions) {
    switch (a.kind) {
      case SessionAction::Kind::kSend: SendText(a.text); break;
      case SessionAction::Kind::kStartTls: StartTls(); break;
      case SessionAction::Kind::kPostContinue: PostMessageA(hwnd_, kWmTrayContinue, 0, 0); break;
      case SessionAction::Kind::kPostError: PostError(a.phase, a.code); break;
      case SessionAction::Kind::kKillWatchdog:
        KillTimer(hwnd_, kWatchdogTimer);
        KillTimer(hwnd_, kDeadlineTimer);
        break;
      case SessionAction::Kind::kCloseConnection: CloseConnection(); break;
      case SessionAction::Kind::kAccountDone: PostMessageA(hwnd_, kWmTrayAccountDone, 0, 0); break;
      case SessionAction::Kind::kRefreshToken: RefreshToken(); break;
    }
  }
}

// shutdown(SD_SEND), read what is left until the first 0 or error (a
// non-blocking socket stops at WSAEWOULDBLOCK), shutdown(SD_BOTH), close,
// and release the socket layer taken when the session started. A lookup
// still running is cancelled so that its answer cannot reach a later session.
void SessionDriver::CloseConnection() {
  // A refresh for this connection is of no use any more.
  tokens_.Cancel();
  refreshing_ = false;
  if (lookup_) {
    WSACancelAsyncRequest(lookup_);
    lookup_ = nullptr;
  }
  if (socket_ != INVALID_SOCKET && tls_) {
    // close_notify, if the socket takes it at once; nothing waits for it.
    const std::string bye = tls_->Shutdown();
    if (!bye.empty()) send(socket_, bye.data(), static_cast<int>(bye.size()), 0);
  }
  tls_.reset();
  pending_.clear();
  if (socket_ != INVALID_SOCKET) {
    shutdown(socket_, SD_SEND);
    // A server that keeps sending (a reply without end) would keep this loop
    // going for as long as it likes: read at most kMaxDrain bytes.
    char drain[1024];
    for (std::size_t drained = 0; drained < kMaxDrain; ) {
      const int n = recv(socket_, drain, sizeof drain, 0);
      if (n == 0 || n == SOCKET_ERROR) break;
      drained += static_cast<std::size_t>(n);
    }
    shutdown(socket_, SD_BOTH);
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }
  if (socket_layer_started_) {
    WSACleanup();
    socket_layer_started_ = false;
  }
  BindSessionMd5(nullptr);
  codec_reference_.reset();
}

// What one read brought, in pieces of at most kMaxChunk (TLS records are cut
// by the channel itself); a piece that ends the session (the reply to QUIT)
// leaves the rest unread.
void SessionDriver::DeliverRead(std::string_view bytes) {
  const SOCKET s = socket_;
  if (tls_) {
    Deliver(bytes);
    return;
  }
  while (!bytes.empty() && socket_ == s && session_.active()) {
    const std::size_t n = bytes.size() < kMaxChunk ? bytes.size() : kMaxChunk;
    Deliver(bytes.substr(0, n));
    bytes.remove_prefix(n);
  }
}

// Bytes received from the socket: through the TLS channel once it exists;
// in clear only while no TLS is wanted yet (before STLS). With TLS on connect
// nothing is handed on before the handshake has started.
void SessionDriver::Deliver(std::string_view bytes) {
  if (tls_) TakeTlsStep(tls_->Receive(bytes));
  else if (tls_mode_ != SessionTls::kOnConnect) Run(session_.OnReceive(bytes));
}

// The channel is created when the handshake starts: at FD_CONNECT for TLS on
// connect, after the +OK of STLS otherwise. From then on every received byte
// goes through it.
void SessionDriver::StartTls() {
  if (socket_ == INVALID_SOCKET || tls_) return;
  tls_ = std::make_unique<TlsChannel>();
  TakeTlsStep(tls_->Start(server_name_));
}

void SessionDriver::TakeTlsStep(const TlsStep& step) {
  if (!step.send.empty()) SendRaw(step.send);
  switch (step.failure) {
    case TlsFailure::kNone: break;
    case TlsFailure::kHandshake: PostError(kTlsErrorPhase, kTlsHandshakeFailed); return;
    case TlsFailure::kUntrusted: PostError(kTlsErrorPhase, kTlsUntrusted); return;
    case TlsFailure::kNameMismatch: PostError(kTlsErrorPhase, kTlsNameMismatch); return;
    case TlsFailure::kExpired: PostError(kTlsErrorPhase, kTlsExpired); return;
    case TlsFailure::kChannel: PostError(kTlsErrorPhase, kTlsChannelError); return;
  }
  if (step.secured) Run(session_.OnSecured());
  // Decrypted text in pieces no larger than one plain receive; a piece that
  // ends the session (the reply to QUIT) leaves the rest unread.
  std::string_view plain = step.plain;
  while (!plain.empty() && session_.active() && socket_ != INVALID_SOCKET) {
    const std::size_t n = plain.size() < kMaxChunk ? plain.size() : kMaxChunk;
    Run(session_.OnReceive(plain.substr(0, n)));
    plain.remove_prefix(n);
  }
  // The server ended TLS (close_notify or an alert): it has hung up, as at
  // FD_CLOSE; reported once per connection.
  if (step.closed && session_.active() && socket_ != INVALID_SOCKET && !hung_up_) {
    hung_up_ = true;
    Run(session_.OnClosed());
  }
}

// A command of the session. Once TLS is wanted nothing goes out in clear but
// STLS itself and the QUIT after a refused STLS; with the channel started,
// only what it encrypts, and nothing while it is not open.
void SessionDriver::SendText(const std::string& text) {
  if (socket_ == INVALID_SOCKET) return;
  if (tls_mode_ == SessionTls::kNone) {
    // A batch of pipelined commands that the socket does not take whole
    // goes on at FD_WRITE, like TLS records.
    SendRaw(text);
    return;
  }
  if (!tls_) {
    if (tls_mode_ == SessionTls::kStls && (text == "STLS\r\n" || text == "QUIT\r\n")) SendRaw(text);
    return;
  }
  std::string record;
  if (tls_->Encrypt(text, record)) SendRaw(record);
}

// TLS bytes must reach the server whole and in order: what a non-blocking
// send does not take waits for FD_WRITE.
void SessionDriver::SendRaw(const std::string& bytes) {
  pending_ += bytes;
  FlushPending();
}

void SessionDriver::FlushPending() {
  while (!pending_.empty() && socket_ != INVALID_SOCKET) {
    const int n = send(socket_, pending_.data(), static_cast<int>(pending_.size()), 0);
    if (n == SOCKET_ERROR) return;  // WSAEWOULDBLOCK: FD_WRITE comes; else the receive side fails
    pending_.erase(0, static_cast<std::size_t>(n));
  }
}

void SessionDriver::PostError(int phase, int code) const { PostMessageA(hwnd_, kWmTrayError, phase, code); }

void SessionDriver::StartWatchdog() {
  SetTimer(hwnd_, kWatchdogTimer, WatchdogSchedule::kPeriod, nullptr);
  watchdog_.Start(GetTickCount());
  // The overall deadline runs from the start whatever the socket does.
  SetTimer(hwnd_, kDeadlineTimer, WatchdogSchedule::kPeriod, nullptr);
}

}  // namespace tidewell
