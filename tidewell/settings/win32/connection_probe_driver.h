// The Win32 side of the account dialog's connection test: a message-only
// window that owns the socket (WSAAsyncSelect), the host look-up, the TLS
// channel and a time-out, and drives ConnectionProbe. Everything runs on the
// dialog's thread through window messages, so the dialog stays usable; the
// test ends by its callback, or by Cancel / the driver's destruction (the
// socket is closed, no callback).
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "common/win32/oauth_tokens.h"
#include "common/win32/tls_channel.h"
#include "tidewell/settings/connection_probe.h"

namespace tidewell {

// An OAuth account without a fresh access token: the driver first gets one
// the way the check does (the Token.dat entry while it is good, else a
// refresh, kept in Token.dat for the check).
struct ProbeRefresh {
  std::string data_folder;
  OAuthAccount account;
};

class ConnectionProbeDriver {
 public:
  // ok: the test passed; report: the text of its box.
  using Finished = std::function<void(bool ok, const std::string& report)>;
  // Most seconds without any answer before the test gives up.
  static constexpr UINT kTimeoutMs = 30000;

  ConnectionProbeDriver(HINSTANCE instance, Finished finished);
  ~ConnectionProbeDriver();
  ConnectionProbeDriver(const ConnectionProbeDriver&) = delete;
  ConnectionProbeDriver& operator=(const ConnectionProbeDriver&) = delete;

  // Starts a test; false when one runs already or no window could be made.
  // refresh: for an OAuth account without account.access_token.
  bool Start(const ProbeAccount& account, const ProbeRefresh* refresh = nullptr);
  void Cancel();
  bool running() const { return probe_ != nullptr || tokens_.waiting(); }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  bool Begin();
  void OnToken(WPARAM id);
  void TakeToken();
  void OnHostFound(WPARAM task, LPARAM result);
  void OnSocket(WPARAM socket, LPARAM event);
  void OnError(int phase, int code);
  void ConnectTo(unsigned long address);
  void StartTls();
  void Deliver(std::string_view bytes);
  void Run(const ProbeStep& step);
  void Send(const std::string& text);
  void Flush();
  void Secured();
  void Finish();
  void Close();

  HINSTANCE instance_;
  Finished finished_;
  HWND hwnd_ = nullptr;
  ProbeAccount account_;
  std::unique_ptr<ConnectionProbe> probe_;
  std::unique_ptr<TlsChannel> tls_;
  SOCKET socket_ = INVALID_SOCKET;
  HANDLE lookup_ = nullptr;
  char host_entry_[MAXGETHOSTSTRUCT];
  std::string pending_;
  bool winsock_ = false;
  OAuthTokens tokens_;
};

}  // namespace tidewell
