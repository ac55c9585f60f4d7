#include "tidewell/settings/win32/connection_probe_driver.h"

#include <cstdio>
#include <cstring>

#include "common/win32/inkwell_dll.h"
#include "common/win32/message_window.h"
#include "tidewell/settings/account.h"

namespace tidewell {
namespace {

constexpr char kClassName[] = "Tidewell_ConnectionProbe";
constexpr UINT kWmHostFound = WM_APP + 1;
constexpr UINT kWmSocket = WM_APP + 2;
constexpr UINT kWmError = WM_APP + 3;
constexpr UINT kWmToken = WM_APP + 4;
constexpr UINT_PTR kTimeoutTimer = 1;
constexpr long kEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;

int TlsCode(TlsFailure failure) {
  switch (failure) {
    case TlsFailure::kUntrusted: return 2;
    case TlsFailure::kNameMismatch: return 3;
    case TlsFailure::kExpired: return 4;
    case TlsFailure::kChannel: return 6;
    default: return 1;
  }
}

}  // namespace

ConnectionProbeDriver::ConnectionProbeDriver(HINSTANCE instance, Finished finished)
    : instance_(instance), finished_(std::move(finished)) {}

ConnectionProbeDriver::~ConnectionProbeDriver() {
  Close();
  if (hwnd_) DestroyWindow(hwnd_);
}

bool ConnectionProbeDriver::Start(const ProbeAccount& account, const ProbeRefresh* refresh) {
  if (running()) return false;
  if (!hwnd_) {
    hwnd_ = CreateOwnedMessageWindow(instance_, kClassName, &ConnectionProbeDriver::WindowProc, this);
    if (!hwnd_) return false;
  }
  account_ = account;
  pending_.clear();
  if (refresh && account_.oauth && account_.access_token.empty() && account_.signin_failure == 0 &&
      account_.tls_mode != kTlsNone) {
    tokens_.SetWindow(hwnd_, kWmToken);
    if (!tokens_.Begin(refresh->data_folder, refresh->account, false)) return true;  // the test goes on with the answer
    TakeToken();
  }
  return Begin();
}

bool ConnectionProbeDriver::Begin() {
  probe_ = std::make_unique<ConnectionProbe>(account_, [](std::string_view text) {
    return InkwellMd5(std::string(text));
  });
  if (probe_->refused_at_start()) {
    // Nothing to connect to: the report comes as a message, like any end.
    PostMessageA(hwnd_, kWmError, kSignInErrorPhase, account_.signin_failure);
    return true;
  }
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) {
    probe_.reset();
    return false;
  }
  winsock_ = true;
  SetTimer(hwnd_, kTimeoutTimer, kTimeoutMs, nullptr);
  const unsigned long address = inet_addr(account_.server.c_str());
  if (address != INADDR_NONE) {
    ConnectTo(address);
  } else {
    lookup_ = WSAAsyncGetHostByName(hwnd_, kWmHostFound, account_.server.c_str(), host_entry_, sizeof host_entry_);
    if (!lookup_) PostMessageA(hwnd_, kWmError, 1, 2);
  }
  return true;
}

// The token endpoint's answer to the refresh: the test goes on with the new
// access token, or ends at once with the sign-in error it gives.
void ConnectionProbeDriver::OnToken(WPARAM id) {
  if (!tokens_.OnAnswer(id)) return;
  TakeToken();
  if (!Begin() && finished_) finished_(false, CheckErrorMessage(1, 3));
}

void ConnectionProbeDriver::TakeToken() {
  const OAuthTokenResult& r = tokens_.result();
  if (r.ok) account_.access_token = r.access_token;
  else account_.signin_failure = r.signin_failure != 0 ? r.signin_failure : kSignInRefreshFailed;
}

void ConnectionProbeDriver::Cancel() { Close(); }

void ConnectionProbeDriver::Close() {
  if (hwnd_) KillTimer(hwnd_, kTimeoutTimer);
  tokens_.Cancel();
  if (lookup_) {
    WSACancelAsyncRequest(lookup_);
    lookup_ = nullptr;
  }
  if (socket_ != INVALID_SOCKET) {
    if (tls_ && tls_->open()) {
      const std::string bye = tls_->Shutdown();
      if (!bye.empty()) send(socket_, bye.data(), static_cast<int>(bye.size()), 0);
    }
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }
  tls_.reset();
  probe_.reset();
  if (winsock_) {
    WSACleanup();
    winsock_ = false;
  }
}

LRESULT CALLBACK ConnectionProbeDriver::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = static_cast<ConnectionProbeDriver*>(MessageWindowOwner(hwnd, msg, lp));
  if (self && msg == kWmToken) {
    self->OnToken(wp);
    return 0;
  }
  if (self && self->probe_) {
    switch (msg) {
      case kWmHostFound: self->OnHostFound(wp, lp); return 0;
      case kWmSocket: self->OnSocket(wp, lp); return 0;
      case kWmError: self->OnError(static_cast<int>(wp), static_cast<int>(lp)); return 0;
      case WM_TIMER:
        if (wp == kTimeoutTimer) self->OnError(3, 5);
        return 0;
      default: break;
    }
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void ConnectionProbeDriver::OnHostFound(WPARAM task, LPARAM result) {
  if (!lookup_ || reinterpret_cast<HANDLE>(task) != lookup_) return;
  lookup_ = nullptr;
  const hostent* host = reinterpret_cast<const hostent*>(host_entry_);
  if (WSAGETASYNCERROR(result) != 0 || !host->h_addr_list || !host->h_addr_list[0]) {
    OnError(1, 2);
    return;
  }
  unsigned long address;
  std::memcpy(&address, host->h_addr_list[0], sizeof address);
  ConnectTo(address);
}

void ConnectionProbeDriver::ConnectTo(unsigned long address) {
  socket_ = socket(AF_INET, SOCK_STREAM, 0);
  if (socket_ == INVALID_SOCKET) {
    PostMessageA(hwnd_, kWmError, 1, 3);
    return;
  }
  if (WSAAsyncSelect(socket_, hwnd_, kWmSocket, kEvents) == SOCKET_ERROR) {
    PostMessageA(hwnd_, kWmError, 1, 4);
    return;
  }
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<unsigned short>(account_.port));
  to.sin_addr.s_addr = address;
  if (connect(socket_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR &&
      WSAGetLastError() != WSAEWOULDBLOCK)
    PostMessageA(hwnd_, kWmError, 1, 5);
}

void ConnectionProbeDriver::OnSocket(WPARAM socket, LPARAM event) {
  if (socket_ == INVALID_SOCKET || static_cast<SOCKET>(socket) != socket_) return;
  SetTimer(hwnd_, kTimeoutTimer, kTimeoutMs, nullptr);
  switch (WSAGETSELECTEVENT(event)) {
    case FD_CONNECT:
      if (WSAGETSELECTERROR(event) != 0) OnError(1, 5);
      else if (account_.tls_mode == kTlsOnConnect) StartTls();
      break;
    case FD_READ: {
      char chunk[8192];
      const int n = recv(socket_, chunk, sizeof chunk, 0);
      if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return;
      if (n <= 0) {
        OnError(3, 1);
        return;
      }
      Deliver(std::string_view(chunk, static_cast<std::size_t>(n)));
      break;
    }
    case FD_WRITE: Flush(); break;
    case FD_CLOSE: {
      // What the server sent before it closed comes first (the reply to QUIT).
      char chunk[8192];
      int n;
      while (probe_ && socket_ != INVALID_SOCKET && (n = recv(socket_, chunk, sizeof chunk, 0)) > 0)
        Deliver(std::string_view(chunk, static_cast<std::size_t>(n)));
      if (probe_) OnError(3, 1);
      break;
    }
    default: break;
  }
}

void ConnectionProbeDriver::StartTls() {
  tls_ = std::make_unique<TlsChannel>();
  const TlsStep step = tls_->Start(account_.server);
  Send(step.send);
  if (step.failure != TlsFailure::kNone) OnError(4, TlsCode(step.failure));
}

void ConnectionProbeDriver::Deliver(std::string_view bytes) {
  if (!tls_) {
    Run(probe_->OnReceive(bytes));
    return;
  }
  const bool was_open = tls_->open();
  const TlsStep step = tls_->Receive(bytes);
  if (!step.send.empty()) Send(step.send);
  if (step.failure != TlsFailure::kNone) {
    OnError(4, TlsCode(step.failure));
    return;
  }
  if (step.secured && !was_open) Secured();
  if (probe_ && !step.plain.empty()) Run(probe_->OnReceive(step.plain));
  if (probe_ && step.closed) OnError(3, 1);
}

void ConnectionProbeDriver::Secured() {
  ProbeCertificate certificate;
  SYSTEMTIME until = {};
  if (tls_->PeerCertificate(certificate.subject, until)) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u (UTC)", until.wYear, until.wMonth, until.wDay,
                  until.wHour, until.wMinute);
    certificate.not_after = text;
  }
  Run(probe_->OnSecured(certificate));
}

void ConnectionProbeDriver::Run(const ProbeStep& step) {
  if (!step.send.empty()) {
    if (tls_) {
      std::string sealed;
      // Never in clear once TLS is wanted: a channel that is not open sends nothing.
      if (!tls_->Encrypt(step.send, sealed)) {
        OnError(4, 6);
        return;
      }
      Send(sealed);
    } else if (account_.tls_mode == kTlsOnConnect) {
      OnError(4, 1);
      return;
    } else {
      Send(step.send);
    }
  }
  if (step.start_tls) StartTls();
  if (step.done || (probe_ && probe_->done())) Finish();
}

void ConnectionProbeDriver::Send(const std::string& text) {
  pending_ += text;
  Flush();
}

void ConnectionProbeDriver::Flush() {
  while (!pending_.empty() && socket_ != INVALID_SOCKET) {
    const int n = send(socket_, pending_.data(), static_cast<int>(pending_.size()), 0);
    if (n == SOCKET_ERROR) return;  // FD_WRITE comes when there is room again
    pending_.erase(0, static_cast<std::size_t>(n));
  }
}

void ConnectionProbeDriver::OnError(int phase, int code) {
  if (!probe_) return;
  Run(probe_->OnError(phase, code));
}

void ConnectionProbeDriver::Finish() {
  if (!probe_) return;
  const bool ok = probe_->succeeded();
  const std::string report = probe_->Report();
  Close();
  if (finished_) finished_(ok, report);
}

}  // namespace tidewell
