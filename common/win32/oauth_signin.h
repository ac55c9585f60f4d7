// The interactive sign-in of an account on Windows: a listener on 127.0.0.1
// (an ephemeral port, WSAAsyncSelect; [::1] on the same port too where the
// system has IPv6, for browsers sent to localhost), the system browser on the provider's
// authorization page (ShellExecuteA), then the code exchanged at the token
// endpoint (StartHttpsPost). Everything runs on the calling thread through
// window messages of a message-only window, so the dialog that starts it
// stays usable. The decisions are SignInFlow's (common/oauth/signin_flow.h);
// this class only does the I/O.
//
// The sign-in ends by its callback (once), or by Cancel / destruction (the
// sockets are closed, the request dropped, no callback).
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/oauth/signin_flow.h"

namespace tidewell {

class OAuthSignIn {
 public:
  using Finished = std::function<void(const oauth::SignInResult& result)>;
  // Most connections served at once (a browser may open a few spare ones).
  static constexpr std::size_t kMaxConnections = 8;

  OAuthSignIn(HINSTANCE instance, Finished finished);
  ~OAuthSignIn();
  OAuthSignIn(const OAuthSignIn&) = delete;
  OAuthSignIn& operator=(const OAuthSignIn&) = delete;

  // Starts a sign-in with the provider's settings; login_hint (the account's
  // user ID) may be empty. False when one runs already or it ended at once:
  // the callback has then been called (settings, random source, listener,
  // browser).
  bool Start(oauth::OAuthProvider provider, const oauth::ProviderSettings& settings, const std::string& login_hint);
  // Stops a running sign-in without a callback.
  void Cancel();
  bool running() const { return flow_ != nullptr; }

  // The time-out in milliseconds (tests shorten it); the default is
  // oauth::kSignInTimeoutSeconds.
  void set_timeout_ms(UINT ms) { timeout_ms_ = ms; }
  // The port being listened on (0 when none), for tests.
  int port() const { return port_; }
  // Whether [::1] is listened on too, on the same port (for tests).
  bool listening_ipv6() const { return listener6_ != INVALID_SOCKET; }
  // What opens the authorization URL: the system browser (ShellExecuteA)
  // unless a test puts its own in. False: no browser could be started.
  using Opener = std::function<bool(const std::string& url)>;
  void set_opener(Opener opener) { opener_ = std::move(opener); }

 private:
  struct Connection {
    SOCKET socket = INVALID_SOCKET;
    std::unique_ptr<oauth::LoopbackRedirect> reader;
  };

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  bool MakeWindow();
  bool Listen();
  void ListenIpv6();
  void OnListener(SOCKET listener, LPARAM event);
  void OnConnection(SOCKET socket, LPARAM event);
  void OnAnswer(unsigned id);
  void Feed(Connection& c, const char* bytes, int n);
  void Reply(Connection& c);
  void DropConnection(SOCKET socket);
  void End(oauth::SignInOutcome why);
  void Finish();
  void Close();

  HINSTANCE instance_;
  Finished finished_;
  Opener opener_;
  HWND hwnd_ = nullptr;
  UINT timeout_ms_ = static_cast<UINT>(oauth::kSignInTimeoutSeconds * 1000);
  std::unique_ptr<oauth::SignInFlow> flow_;
  SOCKET listener_ = INVALID_SOCKET;
  SOCKET listener6_ = INVALID_SOCKET;  // [::1], same port; INVALID_SOCKET without IPv6
  int port_ = 0;
  std::vector<Connection> connections_;
  unsigned request_ = 0;  // the running token request (StartHttpsPost id), 0 none
  bool winsock_ = false;
};

}  // namespace tidewell
