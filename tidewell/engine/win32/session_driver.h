// The Win32 side of the POP3 check session: host name lookup, the
// non-blocking socket and its events, the watchdog timer and the closing of
// the connection. Window messages become calls on the portable Pop3Session,
// and the actions it returns are carried out here.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tidewell/engine/pop3_session.h"
#include "common/win32/handles.h"
#include "common/win32/oauth_tokens.h"
#include "common/win32/tls_channel.h"

namespace tidewell {

// MD5Calc of Inkwell2.dll for the check session: while a session holds its
// reference to the library the export is looked up once, not loaded, looked
// up and released again for every mail; "" without the library.
Md5Function SessionMd5Function();

class SessionDriver {
 public:
  explicit SessionDriver(Pop3Session& session) : session_(session) {}
  SessionDriver(const SessionDriver&) = delete;
  SessionDriver& operator=(const SessionDriver&) = delete;
  ~SessionDriver() { CloseConnection(); }

  void SetWindow(HWND hwnd);

  // Starts the session of one account. False when the socket layer could not
  // be started: the session is abandoned and nothing was written.
  // An OAuth account (`oauth` given) first gets its access token: from
  // Token.dat at once, or by a refresh whose answer comes as kWmTrayToken;
  // the session starts when it is there (or with the sign-in error entry).
  // The watchdog runs from here: a token endpoint that does not answer
  // within the time-out gives the refresh error entry.
  bool Start(const SessionAccount& account, EngineData& data, int index,
             const oauth::OAuthAccount* oauth = nullptr);

  void OnTokenAnswer(WPARAM request);          // kWmTrayToken

  void OnHostFound(WPARAM task, LPARAM result);  // WM_TRAY_HOSTFOUND
  void OnSocket(WPARAM socket, LPARAM event);    // WM_TRAY_SOCKET
  void OnContinue();                             // WM_TRAY_CONTINUE
  void OnError(int phase, int code);             // WM_TRAY_ERROR
  void OnWatchdogTick();                         // WatchdogTimer
  void OnDeadlineTick();                         // DeadlineTimer

  // Disconnect and exit: closes the connection at once, stops the watchdog
  // and forgets the session; no QUIT is sent and no file is written.
  void Stop();

  bool active() const { return session_.active() || waiting_ != nullptr; }
  // A token is being fetched (before the session, or after the server
  // refused one).
  bool awaiting_token() const { return tokens_.waiting(); }

 private:
  // The session waiting for its token.
  struct PendingStart {
    SessionAccount account;
    EngineData* data = nullptr;
    int index = 0;
    int minutes = 0;  // watchdog minutes waited
  };
  void Begin(const SessionAccount& account, EngineData& data, int index);
  void TakeToken(SessionAccount& account) const;
  void RefreshToken();
  void DeliverRefreshedToken();
  void Run(const SessionActions& actions);
  void ConnectTo(unsigned long address);
  void OnServerClosed();
  void ReportHangUp();
  void CloseConnection();
  void PostError(int phase, int code) const;
  void StartWatchdog();
  // TLS between the socket and the session (accounts with STLS or TLS on
  // connect): the handshake, the steps of the channel, and the writes.
  void DeliverRead(std::string_view bytes);
  void Deliver(std::string_view bytes);
  void StartTls();
  void TakeTlsStep(const TlsStep& step);
  void SendText(const std::string& text);
  void SendRaw(const std::string& bytes);
  void FlushPending();

  Pop3Session& session_;
  HWND hwnd_ = nullptr;
  SOCKET socket_ = INVALID_SOCKET;
  HANDLE lookup_ = nullptr;
  bool socket_layer_started_ = false;
  bool hung_up_ = false;  // the close of this connection was reported
  unsigned short port_ = 110;
  char host_entry_[MAXGETHOSTSTRUCT] = {};
  // One reference to Inkwell2.dll for the length of a session. MD5Calc still
  // loads the library by name at every use, but with this reference held that
  // load only counts up instead of mapping the file again for every mail.
  UniqueLibrary codec_reference_;
  // Socket events move the watchdog's due time instead of restarting the
  // timer: one SetTimer per event was a round trip to the Wine server for
  // every reply.
  WatchdogSchedule watchdog_;
  SessionTls tls_mode_ = SessionTls::kNone;
  std::string server_name_;           // the name the certificate must carry
  std::unique_ptr<TlsChannel> tls_;   // from the start of the handshake on
  std::string pending_;               // TLS bytes the socket did not take yet (FD_WRITE)
  std::vector<char> read_buffer_;     // one read's bytes
  // OAuth accounts: the token of the account in session, the session that
  // waits for it, and whether the session waits for a refreshed one.
  OAuthTokens tokens_;
  oauth::OAuthAccount oauth_account_;
  std::string data_folder_;
  std::unique_ptr<PendingStart> waiting_;
  bool refreshing_ = false;
};

}  // namespace tidewell
