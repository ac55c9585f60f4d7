#include "common/win32/oauth_signin.h"

#include <shellapi.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <ctime>

#include "common/win32/https_post.h"
#include "common/win32/message_window.h"
#include "common/win32/random_bytes.h"

namespace tidewell {
namespace {

constexpr char kClassName[] = "Tidewell_OAuthSignIn";
constexpr UINT kWmListener = WM_APP + 1;
constexpr UINT kWmConnection = WM_APP + 2;
constexpr UINT kWmAnswer = WM_APP + 3;
constexpr UINT_PTR kTimeoutTimer = 1;

}  // namespace

OAuthSignIn::OAuthSignIn(HINSTANCE instance, Finished finished)
    : instance_(instance), finished_(std::move(finished)) {}

OAuthSignIn::~OAuthSignIn() {
  Close();
  if (hwnd_) DestroyWindow(hwnd_);
}

bool OAuthSignIn::MakeWindow() {
  if (hwnd_) return true;
  hwnd_ = CreateOwnedMessageWindow(instance_, kClassName, &OAuthSignIn::WindowProc, this);
  return hwnd_ != nullptr;
}

bool OAuthSignIn::Start(oauth::OAuthProvider provider, const oauth::ProviderSettings& settings,
                        const std::string& login_hint) {
  if (flow_) return false;
  flow_ = std::make_unique<oauth::SignInFlow>(provider, settings, oauth::SignInPages());
  WSADATA wsa;
  if (!MakeWindow() || WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    End(oauth::SignInOutcome::kListenFailed);
    return false;
  }
  winsock_ = true;
  // Settings are judged before the listener's port: a missing client id is
  // told as such even when no port could be had.
  if (oauth::CheckProviderSettings(settings) == oauth::ProviderProblem::kNone && !Listen()) port_ = 0;
  std::string state, verifier;
  if (!RandomBytes(oauth::kSignInStateBytes, state) || !RandomBytes(oauth::kSignInVerifierBytes, verifier)) {
    state.clear();
    verifier.clear();
  }
  const bool begun = flow_->Begin(state, verifier, port_, login_hint);
  SecureZeroMemory(&verifier[0], verifier.size());
  if (!begun) {
    Finish();
    return false;
  }
  SetTimer(hwnd_, kTimeoutTimer, timeout_ms_, nullptr);
  const std::string& url = flow_->authorization_url();
  const bool shown = opener_ ? opener_(url)
                             : reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr,
                                                                       SW_SHOWNORMAL)) > 32;
  if (!shown) {
    End(oauth::SignInOutcome::kNoBrowser);
    return false;
  }
  return true;
}

// 127.0.0.1 on a port the system picks, and [::1] on the same port where the
// system has it: a browser sent to http://localhost:PORT/ may try either
// address first. Nothing listens beyond the loopback addresses.
bool OAuthSignIn::Listen() {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  if (listener_ == INVALID_SOCKET) return false;
  sockaddr_in at = {};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  at.sin_port = 0;
  int size = sizeof at;
  if (bind(listener_, reinterpret_cast<const sockaddr*>(&at), sizeof at) == SOCKET_ERROR ||
      listen(listener_, 4) == SOCKET_ERROR ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size) == SOCKET_ERROR ||
      WSAAsyncSelect(listener_, hwnd_, kWmListener, FD_ACCEPT) == SOCKET_ERROR)
    return false;
  port_ = ntohs(at.sin_port);
  if (port_ != 0) ListenIpv6();
  return port_ != 0;
}

// Best effort: without IPv6, or with the port taken on [::1], the IPv4
// listener serves alone.
void OAuthSignIn::ListenIpv6() {
  listener6_ = socket(AF_INET6, SOCK_STREAM, 0);
  if (listener6_ == INVALID_SOCKET) return;
  DWORD only_v6 = 1;
  setsockopt(listener6_, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&only_v6), sizeof only_v6);
  sockaddr_in6 at = {};
  at.sin6_family = AF_INET6;
  at.sin6_addr = in6addr_loopback;
  at.sin6_port = htons(static_cast<u_short>(port_));
  if (bind(listener6_, reinterpret_cast<const sockaddr*>(&at), sizeof at) == SOCKET_ERROR ||
      listen(listener6_, 4) == SOCKET_ERROR ||
      WSAAsyncSelect(listener6_, hwnd_, kWmListener, FD_ACCEPT) == SOCKET_ERROR) {
    closesocket(listener6_);
    listener6_ = INVALID_SOCKET;
  }
}

void OAuthSignIn::Cancel() { Close(); }

void OAuthSignIn::Close() {
  if (hwnd_) KillTimer(hwnd_, kTimeoutTimer);
  if (request_) {
    CancelHttpsPost(request_);
    request_ = 0;
  }
  for (Connection& c : connections_) closesocket(c.socket);
  connections_.clear();
  for (SOCKET* l : {&listener_, &listener6_}) {
    if (*l == INVALID_SOCKET) continue;
    closesocket(*l);
    *l = INVALID_SOCKET;
  }
  port_ = 0;
  flow_.reset();
  if (winsock_) {
    WSACleanup();
    winsock_ = false;
  }
}

LRESULT CALLBACK OAuthSignIn::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = static_cast<OAuthSignIn*>(MessageWindowOwner(hwnd, msg, lp));
  if (self && self->flow_) {
    switch (msg) {
      case kWmListener:
        if (static_cast<SOCKET>(wp) == self->listener_ || static_cast<SOCKET>(wp) == self->listener6_)
          self->OnListener(static_cast<SOCKET>(wp), lp);
        return 0;
      case kWmConnection: self->OnConnection(static_cast<SOCKET>(wp), lp); return 0;
      case kWmAnswer: self->OnAnswer(static_cast<unsigned>(wp)); return 0;
      case WM_TIMER:
        if (wp == kTimeoutTimer) self->End(oauth::SignInOutcome::kTimedOut);
        return 0;
      default: break;
    }
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void OAuthSignIn::OnListener(SOCKET listener, LPARAM event) {
  if (WSAGETSELECTEVENT(event) != FD_ACCEPT) return;
  const SOCKET s = accept(listener, nullptr, nullptr);
  if (s == INVALID_SOCKET) return;
  // Once the code is in hand no request can change anything, and a
  // connection beyond the bound is not served.
  if (flow_->exchanging() || connections_.size() >= kMaxConnections ||
      WSAAsyncSelect(s, hwnd_, kWmConnection, FD_READ | FD_CLOSE) == SOCKET_ERROR) {
    closesocket(s);
    return;
  }
  Connection c;
  c.socket = s;
  c.reader = std::make_unique<oauth::LoopbackRedirect>(flow_->NewReader());
  connections_.push_back(std::move(c));
}

void OAuthSignIn::OnConnection(SOCKET socket, LPARAM event) {
  auto it = std::find_if(connections_.begin(), connections_.end(),
                         [socket](const Connection& c) { return c.socket == socket; });
  if (it == connections_.end()) return;
  char chunk[4096];
  const int n = recv(socket, chunk, sizeof chunk, 0);
  if (n > 0) {
    Feed(*it, chunk, n);  // may end the flow and close every connection
    return;
  }
  if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && WSAGETSELECTEVENT(event) != FD_CLOSE) return;
  DropConnection(socket);  // closed, or broken, before a whole request
}

void OAuthSignIn::Feed(Connection& c, const char* bytes, int n) {
  const oauth::LoopbackRedirect::Status status = c.reader->Feed(std::string_view(bytes, static_cast<std::size_t>(n)));
  const oauth::SignInFlow::RedirectStep step = flow_->OnRedirect(status, *c.reader);
  if (step == oauth::SignInFlow::RedirectStep::kRead) return;
  Reply(c);
  switch (step) {
    case oauth::SignInFlow::RedirectStep::kReplyAndExchange:
      SetTimer(hwnd_, kTimeoutTimer, timeout_ms_, nullptr);
      request_ = StartHttpsPost(hwnd_, kWmAnswer, flow_->token_url(), flow_->ExchangeBody());
      if (request_ == 0) End(oauth::SignInOutcome::kUnreachable);
      break;
    case oauth::SignInFlow::RedirectStep::kReplyAndEnd: Finish(); break;
    default: break;
  }
}

// The reader's page for the browser, then the connection is closed.
void OAuthSignIn::Reply(Connection& c) {
  const std::string& reply = c.reader->reply();
  send(c.socket, reply.data(), static_cast<int>(reply.size()), 0);
  shutdown(c.socket, SD_SEND);
  DropConnection(c.socket);
}

void OAuthSignIn::DropConnection(SOCKET socket) {
  auto it = std::find_if(connections_.begin(), connections_.end(),
                         [socket](const Connection& c) { return c.socket == socket; });
  if (it == connections_.end()) return;
  closesocket(it->socket);
  connections_.erase(it);
}

void OAuthSignIn::OnAnswer(unsigned id) {
  if (id == 0 || id != request_) return;
  HttpsAnswer answer;
  if (!TakeHttpsAnswer(id, answer)) return;
  request_ = 0;
  flow_->OnExchangeAnswer(answer.answered, answer.status, answer.body, answer.certificate,
                          static_cast<std::int64_t>(std::time(nullptr)));
  SecureZeroMemory(&answer.body[0], answer.body.size());
  Finish();
}

void OAuthSignIn::End(oauth::SignInOutcome why) {
  if (!flow_) return;
  flow_->Fail(why);
  Finish();
}

void OAuthSignIn::Finish() {
  if (!flow_) return;
  const oauth::SignInResult result = flow_->result();
  Close();
  if (finished_) finished_(result);
}

}  // namespace tidewell
