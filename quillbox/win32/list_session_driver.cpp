#include "quillbox/win32/list_session_driver.h"

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "common/atomic_file.h"
#include "common/paths.h"
#include "common/win32/inkwell_module.h"
#include "common/win32/oauth_tokens.h"
#include "common/win32/tls_channel.h"
#include "quillbox/win32/list_view_items.h"
#include "quillbox/delete_run.h"
#include "quillbox/external_program.h"
#include "quillbox/list_session.h"
#include "quillbox/win32/list_state.h"
#include "quillbox_res.h"
#include "viewer/win32/display_message.h"

namespace tidewell {

namespace {

// The codec of a session: Inkwell2.dll loaded from the library's folder while
// a view or a delete run lasts (APOP digests, header matching).
class SessionCodec : public ListCodec {
 public:
  void Load(const std::string& path) { dll_ = std::make_unique<InkwellModule>(path); }
  void Unload() { dll_.reset(); }
  InkwellModule* dll() { return dll_ && dll_->loaded() ? dll_.get() : nullptr; }
  bool CodeConv(const std::string& src, int code, std::string& out) override {
    return dll() && dll_->CodeConv(src, code, out);
  }
  bool Base64Coding(const std::string& src, int op, std::string& out) override {
    return dll() && dll_->Base64Coding(src, op, out);
  }
  bool QuotedCoding(const std::string& src, int op, std::string& out) override {
    return dll() && dll_->QuotedCoding(src, op, out);
  }
  std::string Md5Hex(const std::string& text) override { return dll() ? dll_->Md5(text) : std::string(); }

 private:
  std::unique_ptr<InkwellModule> dll_;
};

class DiskCache : public CacheWriter {
 public:
  bool Begin(const std::string& path) override { return file_.Begin(path); }
  bool Append(std::string_view bytes) override { return file_.Append(bytes); }
  bool Commit() override { return file_.Commit(); }
  void Discard() override { file_.Discard(); }

 private:
  AtomicFileWriter file_;
};

class WinProfile : public ListProfile {
 public:
  std::string GetString(const std::string& file, const char* section, const char* key, std::size_t size) override {
    std::vector<char> buffer(size, '\0');
    GetPrivateProfileStringA(section, key, "", buffer.data(), static_cast<DWORD>(size), file.c_str());
    return std::string(buffer.data());
  }
  int GetInt(const std::string& file, const char* section, const char* key, int def) override {
    return static_cast<int>(GetPrivateProfileIntA(section, key, def, file.c_str()));
  }
  void WriteString(const std::string& file, const char* section, const char* key, const std::string& v) override {
    WritePrivateProfileStringA(section, key, v.c_str(), file.c_str());
  }
};

// A session of an OAuth account waiting for its access token.
struct TokenWait {
  AccountLogin login;
  bool found = false;
  ListLogin list_login;
  std::function<void(const ListLogin&)> begin;  // starts the view or the delete run's account
};

// The one connection of the list library.
struct Net {
  SessionCodec codec;
  DiskCache cache;
  ListSession session{codec, cache};
  SOCKET sock = INVALID_SOCKET;
  HANDLE task = nullptr;
  bool wsa = false;
  u_short port = 110;
  char host[MAXGETHOSTSTRUCT] = {};
  ListTls tls_mode = ListTls::kNone;
  std::string server_name;           // the name the certificate must carry
  std::unique_ptr<TlsChannel> tls;   // from the start of the handshake on
  std::string pending;               // TLS bytes the socket did not take yet
  bool hung_up = false;              // the close was reported for this connection
  // OAuth accounts: the token of the account in session, the session that
  // waits for it, and whether the session waits for a refreshed one.
  OAuthTokens tokens;
  OAuthAccount oauth_account;
  std::unique_ptr<TokenWait> waiting;
  bool refreshing = false;
};

std::unique_ptr<Net> g_net;

Net& net() {
  if (!g_net) g_net = std::make_unique<Net>();
  return *g_net;
}

// ---- toolbar and list helpers -----------------------------------------------------

void EnableButton(ListState& s, int id, bool on) {
  if (s.toolbar) SendMessageA(s.toolbar, TB_ENABLEBUTTON, id, MAKELONG(on ? TRUE : FALSE, 0));
  if (s.menu && id == ID_DISCONNECT) EnableMenuItem(s.menu, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
}

// The row behind a list-view index (its texts as the list shows them).
const MailRow* RowAt(const ListState& s, int index) {
  const LPARAM item = ItemData(s.list_view, index);
  if (item < 0 || static_cast<std::size_t>(item) >= s.rows.size()) return nullptr;
  return &s.rows[static_cast<std::size_t>(item)];
}

// ---- the connection -----------------------------------------------------------------

void Teardown() {
  Net& n = net();
  // A refresh for this connection is of no use any more.
  n.tokens.Cancel();
  n.refreshing = false;
  if (n.task) {
    WSACancelAsyncRequest(n.task);
    n.task = nullptr;
  }
  if (n.sock != INVALID_SOCKET && n.tls) {
    // close_notify, if the socket takes it at once; nothing waits for it.
    const std::string bye = n.tls->Shutdown();
    if (!bye.empty()) send(n.sock, bye.data(), static_cast<int>(bye.size()), 0);
  }
  n.tls.reset();
  n.pending.clear();
  if (n.sock != INVALID_SOCKET) {
    shutdown(n.sock, SD_SEND);
    // A server that keeps sending would keep this loop going for as long as
    // it likes: at most 64 KiB are read before the socket is closed anyway.
    constexpr int kMaxDrain = 64 * 1024;
    char drain[256];
    for (int drained = 0; drained < kMaxDrain;) {
      const int got = recv(n.sock, drain, 255, 0);
      if (got == 0 || got == SOCKET_ERROR) break;
      drained += got;
    }
    shutdown(n.sock, SD_BOTH);
    closesocket(n.sock);
    n.sock = INVALID_SOCKET;
  }
  if (n.wsa) {
    WSACleanup();
    n.wsa = false;
  }
}

void PostError(ListState& s, int phase, int detail) { PostMessageA(s.window, kWmListError, phase, detail); }

// TLS bytes must reach the server whole and in order: what a non-blocking
// send does not take waits for FD_WRITE.
void FlushPending() {
  Net& n = net();
  while (!n.pending.empty() && n.sock != INVALID_SOCKET) {
    const int sent = send(n.sock, n.pending.data(), static_cast<int>(n.pending.size()), 0);
    if (sent == SOCKET_ERROR) return;  // WSAEWOULDBLOCK: FD_WRITE comes; else the receive side fails
    n.pending.erase(0, static_cast<std::size_t>(sent));
  }
}

void SendRaw(const std::string& bytes) {
  net().pending += bytes;
  FlushPending();
}

// A command of the session. Once TLS is wanted nothing goes out in clear but
// STLS itself and a QUIT before the handshake; with the channel started,
// only what it encrypts, and nothing while it is not open.
void SendText(const std::string& text) {
  Net& n = net();
  if (n.sock == INVALID_SOCKET) return;
  if (n.tls_mode == ListTls::kNone) {
    send(n.sock, text.data(), static_cast<int>(text.size()), 0);
    return;
  }
  if (!n.tls) {
    if (n.tls_mode == ListTls::kStls && (text == "STLS\r\n" || text == "QUIT\r\n")) SendRaw(text);
    return;
  }
  std::string record;
  if (n.tls->Encrypt(text, record)) SendRaw(record);
}

void Carry(ListState& s, const ListActions& actions);
void RefreshToken(ListState& s);

int TlsDetail(TlsFailure failure) {
  switch (failure) {
    case TlsFailure::kUntrusted: return kListTlsUntrusted;
    case TlsFailure::kNameMismatch: return kListTlsNameMismatch;
    case TlsFailure::kExpired: return kListTlsExpired;
    case TlsFailure::kChannel: return kListTlsChannel;
    default: return kListTlsHandshake;
  }
}

void TakeTlsStep(ListState& s, const TlsStep& step) {
  Net& n = net();
  if (!step.send.empty()) SendRaw(step.send);
  if (step.failure != TlsFailure::kNone) return PostError(s, kListTlsPhase, TlsDetail(step.failure));
  if (step.secured) Carry(s, n.session.OnSecured());
  // Decrypted text in pieces no larger than one plain receive; a piece that
  // ends the session (the reply to QUIT) leaves the rest unread.
  std::string_view plain = step.plain;
  while (!plain.empty() && n.session.busy() && n.sock != INVALID_SOCKET) {
    const std::size_t take = plain.size() < kListChunk ? plain.size() : kListChunk;
    Carry(s, n.session.OnReceive(plain.substr(0, take)));
    plain.remove_prefix(take);
  }
  // The server ended TLS: it has hung up, reported once per connection.
  if (step.closed && n.session.busy() && n.sock != INVALID_SOCKET && !n.hung_up) {
    n.hung_up = true;
    PostError(s, 3, 9);
  }
}

// The channel is created when the handshake starts: at FD_CONNECT for TLS on
// connect, after the +OK of STLS otherwise. From then on every received byte
// goes through it.
void StartTls(ListState& s) {
  Net& n = net();
  if (n.sock == INVALID_SOCKET || n.tls) return;
  n.tls = std::make_unique<TlsChannel>();
  TakeTlsStep(s, n.tls->Start(n.server_name));
}

// Bytes received from the socket: through the TLS channel once it exists;
// in clear only while no TLS is wanted yet (before STLS). With TLS on connect
// nothing is handed on before the handshake has started.
void Deliver(ListState& s, std::string_view bytes) {
  Net& n = net();
  if (n.tls) TakeTlsStep(s, n.tls->Receive(bytes));
  else if (n.tls_mode != ListTls::kOnConnect) Carry(s, n.session.OnReceive(bytes));
}

void Carry(ListState& s, const ListActions& actions) {
  for (const ListAction& a : actions) {
    switch (a.kind) {
      case ListAction::Kind::kSend: SendText(a.text); break;
      case ListAction::Kind::kStartTls: StartTls(s); break;
      case ListAction::Kind::kPostContinue: PostMessageA(s.window, kWmListContinue, 0, 0); break;
      case ListAction::Kind::kPostError: PostError(s, a.phase, a.detail); break;
      case ListAction::Kind::kCloseConnection: Teardown(); break;
      case ListAction::Kind::kAccountDone:
        for (ListAccount& account : s.accounts)
          if (account.name == a.text) account.delete_error = a.phase;
        PostMessageA(s.window, kWmListNextAccount, 0, 0);
        break;
      case ListAction::Kind::kViewError: MessageBoxA(s.window, a.text.c_str(), "表示エラー", MB_ICONWARNING); break;
      case ListAction::Kind::kViewDone: PostMessageA(s.window, kWmListViewDone, 0, 0); break;
      case ListAction::Kind::kRefreshToken: RefreshToken(s); break;
    }
  }
}

void ConnectTo(ListState& s, unsigned long address) {
  Net& n = net();
  n.hung_up = false;
  n.tls.reset();
  n.pending.clear();
  n.sock = socket(AF_INET, SOCK_STREAM, 0);
  if (n.sock == INVALID_SOCKET) return PostError(s, 1, 3);
  if (WSAAsyncSelect(n.sock, s.window, kWmListSocket, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE) != 0) {
    shutdown(n.sock, SD_BOTH);
    closesocket(n.sock);
    n.sock = INVALID_SOCKET;
    return PostError(s, 1, 4);
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(n.port);
  to.sin_addr.s_addr = address;
  if (connect(n.sock, reinterpret_cast<sockaddr*>(&to), sizeof to) == SOCKET_ERROR &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    Teardown();
    PostError(s, 1, 5);
  }
}

// The account's mode as GetAccountTls gives it. A value not known is taken
// as TLS on connect: a password never goes out in clear by mistake.
ListTls ToListTls(int mode) {
  switch (mode) {
    case 0: return ListTls::kNone;
    case 1: return ListTls::kStls;
    default: return ListTls::kOnConnect;  // 2, and any mode not known: never clear text
  }
}

// Connect steps 1, 2 and 4 for the login of the session just started.
// An OAuth account without its token, or one without TLS, ends with its
// sign-in error at once: no connection, nothing sent.
void Connect(ListState& s, const AccountLogin& login, bool found, const ListLogin& list_login) {
  Net& n = net();
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return PostError(s, 1, 0);  // reported as a connection failure
  n.wsa = true;
  if (!found) return PostError(s, 1, 2);  // no such account: nothing to look up
  int phase = 0;
  int detail = 0;
  if (ListStartFailure(list_login, phase, detail)) return PostError(s, phase, detail);
  n.port = static_cast<u_short>(login.port);
  n.tls_mode = ToListTls(login.tls_mode);
  n.server_name = login.server;
  const unsigned long address = inet_addr(login.server.c_str());
  if (address != INADDR_NONE || login.server == "255.255.255.255") {
    n.task = nullptr;
    return ConnectTo(s, address);
  }
  n.task = WSAAsyncGetHostByName(s.window, kWmListHostFound, login.server.c_str(), n.host, sizeof n.host);
  if (!n.task) PostError(s, 1, 2);
}

void OnHostFound(ListState& s, WPARAM wp, LPARAM lp) {
  Net& n = net();
  if (!n.session.busy()) return;
  if (reinterpret_cast<HANDLE>(wp) != n.task) return PostError(s, 1, 1);
  n.task = nullptr;
  if (WSAGETASYNCERROR(lp) != 0) return PostError(s, 1, 2);
  const hostent* entry = reinterpret_cast<const hostent*>(n.host);
  if (!entry->h_addr_list || !entry->h_addr_list[0]) return PostError(s, 1, 2);
  unsigned long address;
  std::memcpy(&address, entry->h_addr_list[0], sizeof address);
  ConnectTo(s, address);
}

void ReadChunk(ListState& s) {
  Net& n = net();
  char buffer[kListChunk + 1];
  const int got = recv(n.sock, buffer, static_cast<int>(kListChunk), 0);
  if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return;  // nothing there after all
  if (got <= 0) {
    if (n.hung_up) return;
    n.hung_up = true;
    return PostError(s, 3, 9);
  }
  Deliver(s, std::string_view(buffer, static_cast<std::size_t>(got)));
}

void OnSocket(ListState& s, WPARAM wp, LPARAM lp) {
  Net& n = net();
  if (n.sock == INVALID_SOCKET || static_cast<SOCKET>(wp) != n.sock) return;  // a closed socket's late events
  switch (WSAGETSELECTEVENT(lp)) {
    case FD_READ: ReadChunk(s); break;
    case FD_CONNECT:
      if (WSAGETSELECTERROR(lp) != 0) Carry(s, n.session.OnConnectError());
      else if (n.tls_mode == ListTls::kOnConnect && !n.tls) StartTls(s);
      break;
    case FD_WRITE: FlushPending(); break;
    case FD_CLOSE: {
      // The server hung up: what it sent last is still read, then the
      // session learns that nothing more will come instead of waiting for
      // ever.
      char buffer[kListChunk];
      int got;
      const SOCKET sock = n.sock;
      while (n.sock == sock && (got = recv(n.sock, buffer, static_cast<int>(kListChunk), 0)) > 0)
        Deliver(s, std::string_view(buffer, static_cast<std::size_t>(got)));
      if (n.sock == sock && n.session.busy() && !n.hung_up) {
        n.hung_up = true;
        PostError(s, 3, 9);
      }
      break;
    }
    default: break;
  }
}

AccountLogin LookUpAccount(ListState& s, const std::string& name, bool& found) {
  AccountLogin login;
  InkwellModule* dll = net().codec.dll();
  found = dll && dll->AccountByName(s.data_folder, name, login);
  return login;
}

// `method` is GetAccountOAuth's answer: 1 to 4 OAuth (its provider), 0
// password; -1 (no such export in an older codec library) is taken as the
// password sign-in it alone knows.
ListLogin ToListLogin(const AccountLogin& a, int method) {
  ListLogin l;
  l.user = a.user;
  l.server = a.server;
  l.port = a.port;
  l.tls = ToListTls(a.tls_mode);
  l.oauth = method >= 1;
  if (l.oauth) return l;  // no password, no APOP
  l.password = a.password;
  l.apop = a.apop != 0;
  return l;
}

// The token (or why there is none) into the session's login.
void TakeToken(ListLogin& login) {
  const OAuthTokenResult& r = net().tokens.result();
  if (r.ok) {
    login.access_token = r.access_token;
    login.token_fresh = r.fresh;
  } else {
    login.signin_failure = r.signin_failure;
  }
}

// Starts a session with the account named `name`: `begin` hands its login
// to the session, then the connection is made. An OAuth account first gets
// its access token, from Token.dat at once or by a refresh whose answer
// comes as kWmListToken.
void StartAccountSession(ListState& s, const std::string& name, std::function<void(const ListLogin&)> begin) {
  Net& n = net();
  bool found = false;
  const AccountLogin login = LookUpAccount(s, name, found);
  std::string refresh_token;
  InkwellModule* dll = n.codec.dll();
  const int method = found && dll ? dll->AccountOAuth(s.data_folder, name, refresh_token) : -1;
  ListLogin list_login = ToListLogin(login, method);
  if (list_login.oauth && list_login.tls != ListTls::kNone) {
    n.oauth_account = OAuthAccount();
    n.oauth_account.display_name = name;
    n.oauth_account.provider = method;
    n.oauth_account.refresh_token = refresh_token;
    n.tokens.SetWindow(s.window, kWmListToken);
    if (!n.tokens.Begin(s.data_folder, n.oauth_account, false)) {
      n.waiting = std::make_unique<TokenWait>();
      n.waiting->login = login;
      n.waiting->found = found;
      n.waiting->list_login = list_login;
      n.waiting->begin = std::move(begin);
      return;
    }
    TakeToken(list_login);
  }
  begin(list_login);
  Connect(s, login, found, list_login);
}

void OnTokenAnswer(ListState& s, WPARAM request) {
  Net& n = net();
  if (!n.tokens.OnAnswer(request)) return;  // a cancelled refresh's late answer
  if (n.waiting) {
    const std::unique_ptr<TokenWait> w = std::move(n.waiting);
    TakeToken(w->list_login);
    w->begin(w->list_login);
    Connect(s, w->login, w->found, w->list_login);
    return;
  }
  if (!n.refreshing) return;
  n.refreshing = false;
  if (!n.session.busy()) return;
  const OAuthTokenResult& r = n.tokens.result();
  Carry(s, r.ok ? n.session.OnToken(r.access_token) : n.session.OnTokenFailure(r.signin_failure));
}

// The server refused the token and a new one may help: a refresh whatever
// the cached token's age; the session waits on its connection meanwhile.
void RefreshToken(ListState& s) {
  Net& n = net();
  n.refreshing = true;
  n.tokens.SetWindow(s.window, kWmListToken);
  if (!n.tokens.Begin(s.data_folder, n.oauth_account, true)) return;
  n.refreshing = false;
  const OAuthTokenResult& r = n.tokens.result();
  Carry(s, r.ok ? n.session.OnToken(r.access_token) : n.session.OnTokenFailure(r.signin_failure));
}

// ---- delete run ------------------------------------------------------------------------

// Marks the deleted mails of the accounts whose session ended well and keeps
// their headers; ends the run. Returns the "削除エラー" text.
std::string FinishMarks(ListState& s) {
  Net& n = net();
  std::vector<MailRow> done(n.session.rows().begin(),
                            n.session.rows().begin() + static_cast<std::ptrdiff_t>(n.session.row_count()));
  std::vector<AccountResult> results;
  for (const ListAccount& a : s.accounts) results.push_back(AccountResult{a.name, a.delete_error});
  SYSTEMTIME now;
  GetLocalTime(&now);
  char day[16];
  std::snprintf(day, sizeof day, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
  DiskDeleteFiles files;
  const DeleteFinish finish =
      FinishDeleteRun(n.codec, files, s.data_folder, done, results, s.Has(kSetDeleteMsgSave), day);
  n.codec.Unload();
  n.session.EndRun();
  std::string summary = DeleteErrorSummary(results);
  if (finish.day_file_unreadable) summary += DayFileErrorText(std::string("Del") + day);
  return summary;
}

void FinishRun(ListState& s) {
  const std::string summary = FinishMarks(s);
  if (!summary.empty()) MessageBoxA(s.window, summary.c_str(), "削除エラー", MB_ICONWARNING);
  RebuildListRows(s);
  EnableButton(s, IDC_DELETE, true);
  EnableButton(s, ID_DISCONNECT, false);
  s.busy = false;
}

void NextAccountStep(ListState& s) {
  Net& n = net();
  std::string account;
  if (!n.session.NextAccount(account)) return FinishRun(s);
  StartAccountSession(s, account, [&n](const ListLogin& login) { n.session.BeginAccount(login); });
}

// Confirmation dialog 105: the rows of the run with check boxes.
struct ConfirmData {
  std::vector<MailRow>* rows;
};

INT_PTR CALLBACK ConfirmProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lp);
      const auto* data = reinterpret_cast<ConfirmData*>(lp);
      const HWND view = GetDlgItem(dialog, IDC_LIST_VIEW);
      const LRESULT style = SendMessageA(view, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
      SendMessageA(view, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style | LVS_EX_CHECKBOXES);
      const struct {
        const char* title;
        int width;
      } columns[] = {{"", 20}, {"Subject", 150}, {"Name", 150}};
      for (int i = 0; i < 3; ++i) {
        LVCOLUMNA col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        col.pszText = const_cast<char*>(columns[i].title);
        col.cx = columns[i].width;
        col.iSubItem = i;
        SendMessageA(view, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&col));
      }
      int index = 0;
      for (const MailRow& row : *data->rows) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = const_cast<char*>("");
        const int at = static_cast<int>(SendMessageA(view, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        for (int c = 1; c <= 2; ++c) {
          std::string text = row.columns[c == 1 ? kColSubject : kColName].substr(0, 249);
          LVITEMA sub{};
          sub.iSubItem = c;
          sub.pszText = text.data();
          SendMessageA(view, LVM_SETITEMTEXTA, at, reinterpret_cast<LPARAM>(&sub));
        }
        LVITEMA state{};
        state.stateMask = LVIS_STATEIMAGEMASK;
        state.state = INDEXTOSTATEIMAGEMASK(2);
        SendMessageA(view, LVM_SETITEMSTATE, at, reinterpret_cast<LPARAM>(&state));
        ++index;
      }
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK) {
        auto* data = reinterpret_cast<ConfirmData*>(GetWindowLongPtrA(dialog, DWLP_USER));
        const HWND view = GetDlgItem(dialog, IDC_LIST_VIEW);
        std::vector<MailRow> kept;
        for (std::size_t i = 0; i < data->rows->size(); ++i) {
          const UINT state = static_cast<UINT>(
              SendMessageA(view, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_STATEIMAGEMASK));
          if ((state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2)) kept.push_back((*data->rows)[i]);
        }
        *data->rows = std::move(kept);
        EndDialog(dialog, 1);
        return TRUE;
      }
      if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dialog, 2);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

void DeleteCommand(ListState& s) {
  Net& n = net();
  // A view session holds the connection: a delete now would replace it.
  if (s.busy || n.session.busy() || n.session.run_active() || n.waiting) return;
  const std::vector<int> selected = SelectedItems(s.list_view);
  if (selected.empty()) return;
  if (selected.size() > kMaxDeleteRows) {
    MessageBoxA(s.window, "一度に削除できるのは、５０００件までです。", "Tidewell", MB_OK);
    return;
  }
  std::vector<SelectedRow> pairs;
  for (int index : selected) {
    const MailRow* row = RowAt(s, index);
    if (!row) continue;
    pairs.push_back(SelectedRow{index, row->item, row->columns[kColNumber].substr(0, 49)});
  }
  std::vector<MailRow> rows;
  for (int index : DeleteOrder(pairs)) rows.push_back(*RowAt(s, index));

  INT_PTR result;
  if (s.Has(kSetDeleteCheck) && !rows.empty()) {
    ConfirmData data{&rows};
    result = DialogBoxParamA(s.module, MAKEINTRESOURCEA(IDD_DELETE_CONFIRM), s.window, ConfirmProc,
                             reinterpret_cast<LPARAM>(&data));
  } else {
    result = rows.empty() ? 2 : 1;
  }
  EnableButton(s, IDC_DELETE, false);
  EnableButton(s, ID_DISCONNECT, true);
  for (ListAccount& a : s.accounts) a.delete_error = 0;
  if (result == 1) {
    s.busy = true;
    n.codec.Load(s.InkwellPath());
    n.session.StartDeleteRun(std::move(rows), s.full_header_search);
    NextAccountStep(s);
    return;
  }
  if (result != 2) MessageBoxA(s.window, "削除に失敗しました。", "Tidewell", MB_OK);
  EnableButton(s, IDC_DELETE, true);
  EnableButton(s, ID_DISCONNECT, false);
}

void MessageViewCommand(ListState& s) {
  Net& n = net();
  if (s.busy || n.session.busy() || n.session.run_active() || n.waiting) return;
  const std::vector<int> selected = SelectedItems(s.list_view);
  if (selected.size() != 1) return;
  const MailRow* row = RowAt(s, selected[0]);
  if (!row || row->columns[kColNumber].empty()) return;  // an error row has no mail
  const std::string hash = row->columns[kColHash].substr(0, 499);
  const std::string path = JoinPath(MailFolderPath(s.data_folder), hash);
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (!hash.empty() && attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ShowMessageFile(s, path);
    return;
  }
  EnableButton(s, IDC_DELETE, false);
  EnableButton(s, ID_MESSAGE_VIEW, false);
  EnableButton(s, ID_DISCONNECT, true);
  n.codec.Load(s.InkwellPath());
  const int lines = ViewFetchLines(s.view_fetch, row->columns[kColSize]);
  StartAccountSession(s, row->columns[kColName], [&n, row = *row, path, lines](const ListLogin& login) {
    n.session.StartView(row, login, path, lines);
  });
}

void DisconnectCommand(ListState& s) {
  Net& n = net();
  // A session still waiting for its token never starts (between two
  // accounts of a delete run, the run ends before the waiting one).
  const bool waiting_view = n.waiting && !s.busy;
  n.waiting.reset();
  Teardown();
  const bool view = (n.session.busy() && n.session.view_mode()) || waiting_view;
  n.session.Disconnect();
  if (s.busy) {
    PostMessageA(s.window, kWmListNextAccount, 0, 0);
    return;
  }
  if (view) n.codec.Unload();
  EnableButton(s, IDC_DELETE, true);
  EnableButton(s, ID_MESSAGE_VIEW, true);
  EnableButton(s, ID_DISCONNECT, false);
}

void ExternalProgramCommand(ListState& s) {
  WinProfile profile;
  const ExternalLaunch launch = PlanExternalProgram(profile, s.data_folder);
  if (launch.outcome == ExternalLaunch::Outcome::kNothing) return;
  if (launch.outcome == ExternalLaunch::Outcome::kNoFile) {
    MessageBoxA(nullptr, "ファイルが指定されていません。", "Tidewell", MB_OK);
    return;
  }
  ShellExecuteA(nullptr, "open", launch.program.c_str(), launch.parameters.c_str(), launch.folder.c_str(), SW_SHOW);
  if (CloseListAfterLaunch(profile, s.data_folder)) DestroyWindow(s.window);
}

void ShowMessageFile(ListState& s, const std::string& path) {
  s.message_path = path;
  DisplayRequest request;
  request.mode = s.viewer_mode;
  request.list_window = s.window;
  request.resources = s.module;
  request.cache_path = path;
  request.data_folder = s.data_folder;
  request.library_folder = s.module_folder;
  DisplayMessage(request);
}

void CloseListSession(ListState& s) {
  if (!g_net) return;
  Net& n = *g_net;
  Teardown();
  // A delete run cut by the window going away is finished for the accounts
  // whose QUIT was answered (their mails are gone from the servers): their
  // blocks are marked and their headers kept. The window is on its way
  // out, so nothing is shown.
  if (n.session.run_active()) {
    n.session.Disconnect();
    FinishMarks(s);
    s.busy = false;
  }
  g_net.reset();  // drops a half-written cache file
}

bool OnListSessionMessage(ListState& s, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kWmListHostFound: OnHostFound(s, wp, lp); return true;
    case kWmListSocket: OnSocket(s, wp, lp); return true;
    case kWmListContinue: Carry(s, net().session.OnContinue()); return true;
    case kWmListError: Carry(s, net().session.OnError(static_cast<int>(wp), static_cast<int>(lp))); return true;
    case kWmListNextAccount:
      if (s.busy) NextAccountStep(s);
      return true;
    case kWmListToken: OnTokenAnswer(s, wp); return true;
    case kWmListViewDone: {
      Net& n = net();
      n.codec.Unload();
      EnableButton(s, IDC_DELETE, true);
      EnableButton(s, ID_MESSAGE_VIEW, true);
      EnableButton(s, ID_DISCONNECT, false);
      if (n.session.error_code() == 0 && !n.session.rows().empty()) {
        const std::string path =
            JoinPath(MailFolderPath(s.data_folder), n.session.rows().front().columns[kColHash].substr(0, 499));
        ShowMessageFile(s, path);
      }
      return true;
    }
    default: return false;
  }
}

}  // namespace tidewell
