// The check's session driver with OAuth accounts, under Wine with real
// Winsock and WinHTTP, on a data folder of the test's own (Tidewell.ini,
// Token.dat): the sign-in errors that end an account before any connection,
// a token endpoint that cannot be reached (the answer comes as a message),
// a cached token that lets the session connect at once, and a disconnect
// while the refresh runs.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/check_errors.h"
#include "common/oauth/token_cache.h"
#include "common/win32/dpapi_protector.h"
#include "notify_win32_util.h"
#include "tidewell/engine/engine_state.h"
#include "tidewell/engine/win32/session_driver.h"

namespace tidewell {
namespace {

using testing::PumpUntil;
using Errors = std::vector<std::pair<int, int>>;

class Store : public SessionStore {
 public:
  bool Read(const std::string& path, std::string& out) override {
    auto it = files.find(path);
    if (it == files.end()) return false;
    out = it->second;
    return true;
  }
  bool Write(const std::string& path, std::string_view bytes) override {
    files[path] = std::string(bytes);
    return true;
  }
  std::map<std::string, std::string> files;
};

std::string FakeMd5(std::string_view) { return "0123456789abcdef0123456789abcdef"; }

// A data folder of its own with Tidewell.ini's [OAuth.Custom] section.
class DataFolder {
 public:
  explicit DataFolder(const std::string& token_url, const std::string& client_id = "test-client") {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "tw-oauth-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(counter_++);
    CreateDirectoryA(path_.c_str(), nullptr);
    const std::string ini = path_ + "\\Tidewell.ini";
    WritePrivateProfileStringA("OAuth.Custom", "ClientId", client_id.c_str(), ini.c_str());
    WritePrivateProfileStringA("OAuth.Custom", "TokenUrl", token_url.c_str(), ini.c_str());
    WritePrivateProfileStringA("OAuth.Custom", "AuthorizeUrl", "https://localhost:1/authorize", ini.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
  }
  ~DataFolder() {
    DeleteFileA((path_ + "\\Tidewell.ini").c_str());
    DeleteFileA((path_ + "\\Token.dat").c_str());
    RemoveDirectoryA(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  static inline int counter_ = 0;
  std::string path_;
};

class DriverWindow {
 public:
  explicit DriverWindow(const std::string& folder) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &DriverWindow::Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "OAuthDriverTest";
    RegisterClassA(&wc);
    hwnd_ = CreateWindowExA(0, "OAuthDriverTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
    driver.SetWindow(hwnd_);
    data.data_folder = folder;
    data.ResetAccounts(1);
  }
  ~DriverWindow() {
    driver.Stop();
    DestroyWindow(hwnd_);
  }
  std::string MailFile() { return store.files[data.data_folder + "\\Mail\\0123456789abcdef0123456789abcdef"]; }

  Store store;
  EngineData data;
  Pop3Session session{FakeMd5, store};
  SessionDriver driver{session};
  Errors errors;
  int done = 0;
  int token_answers = 0;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
      SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
    }
    auto* self = reinterpret_cast<DriverWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
    switch (msg) {
      case kWmTrayHostFound: self->driver.OnHostFound(wp, lp); return 0;
      case kWmTraySocket: self->driver.OnSocket(wp, lp); return 0;
      case kWmTrayContinue: self->driver.OnContinue(); return 0;
      case kWmTrayToken:
        ++self->token_answers;
        self->driver.OnTokenAnswer(wp);
        return 0;
      case kWmTrayError:
        self->errors.emplace_back(static_cast<int>(wp), static_cast<int>(lp));
        self->driver.OnError(static_cast<int>(wp), static_cast<int>(lp));
        return 0;
      case kWmTrayAccountDone: ++self->done; return 0;
      case WM_TIMER:
        if (wp == kWatchdogTimer) self->driver.OnWatchdogTick();
        if (wp == kDeadlineTimer) self->driver.OnDeadlineTick();
        return 0;
      default: return DefWindowProcA(hwnd, msg, wp, lp);
    }
  }
  HWND hwnd_ = nullptr;
};

struct Winsock {
  Winsock() {
    WSADATA d;
    ok = WSAStartup(MAKEWORD(2, 2), &d) == 0;
  }
  ~Winsock() {
    if (ok) WSACleanup();
  }
  bool ok = false;
};

// A listening socket on the loopback address (the POP3 server, or a token
// endpoint that takes the connection and never answers).
SOCKET Listen(unsigned short& port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = inet_addr("127.0.0.1");
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(s, 4);
  int len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return s;
}

SOCKET AcceptWithin(SOCKET server, DWORD ms) {
  SOCKET peer = INVALID_SOCKET;
  PumpUntil([&] {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(server, &set);
    timeval now = {0, 0};
    if (select(0, &set, nullptr, nullptr, &now) == 1) peer = accept(server, nullptr, nullptr);
    return peer != INVALID_SOCKET;
  }, ms);
  return peer;
}

SessionAccount OAuthSession(unsigned short port, SessionTls tls = SessionTls::kOnConnect) {
  SessionAccount a;
  a.user = "me@example.org";
  a.display_name = "acct";
  a.server = "127.0.0.1";
  a.port = port;
  a.tls = tls;
  a.oauth = true;
  return a;
}

oauth::OAuthAccount SignedIn(const std::string& refresh_token = "rt-1") {
  oauth::OAuthAccount o;
  o.display_name = "acct";
  o.provider = 3;  // custom: the test's Tidewell.ini
  o.refresh_token = refresh_token;
  return o;
}

TEST(OAuthDriver, SignInErrorsEndTheAccountWithoutAConnection) {
  Winsock ws;
  ASSERT_TRUE(ws.ok);
  unsigned short port = 0;
  SOCKET pop = Listen(port);
  struct Case {
    const char* what;
    SessionTls tls;
    std::string refresh_token;
    std::string client_id;
    std::pair<int, int> entry;
  };
  const Case cases[] = {
      {"no TLS: no token is fetched or sent", SessionTls::kNone, "rt-1", "test-client",
       {kSignInErrorPhase, kSignInNotSecured}},
      {"never signed in", SessionTls::kOnConnect, "", "test-client", {kSignInErrorPhase, kSignInNeeded}},
      {"no client id in Tidewell.ini", SessionTls::kStls, "rt-1", "", {kSignInErrorPhase, kSignInNoClientId}},
  };
  for (const Case& c : cases) {
    DataFolder folder("https://localhost:1/token", c.client_id);
    DriverWindow w(folder.path());
    const oauth::OAuthAccount o = SignedIn(c.refresh_token);
    ASSERT_TRUE(w.driver.Start(OAuthSession(port, c.tls), w.data, 0, &o)) << c.what;
    ASSERT_TRUE(PumpUntil([&] { return w.done == 1; }, 10000)) << c.what;
    EXPECT_EQ(w.errors, Errors{c.entry}) << c.what;
    EXPECT_EQ(w.token_answers, 0) << c.what;
    EXPECT_NE(w.MailFile().find("(" + std::to_string(c.entry.first) + "," + std::to_string(c.entry.second) + ")"),
              std::string::npos)
        << c.what << ": " << w.MailFile();
    EXPECT_EQ(AcceptWithin(pop, 200), INVALID_SOCKET) << c.what << ": connected to the mail server";
  }
  closesocket(pop);
}

TEST(OAuthDriver, UnreachableTokenEndpointGivesTheRefreshErrorByMessage) {
  Winsock ws;
  ASSERT_TRUE(ws.ok);
  unsigned short port = 0;
  SOCKET pop = Listen(port);
  DataFolder folder("https://localhost:1/token");  // nobody listens on port 1
  DriverWindow w(folder.path());
  const oauth::OAuthAccount o = SignedIn();
  ASSERT_TRUE(w.driver.Start(OAuthSession(port), w.data, 0, &o));
  EXPECT_TRUE(w.driver.active());
  EXPECT_TRUE(w.driver.awaiting_token());
  EXPECT_EQ(w.done, 0);  // nothing decided before the answer
  ASSERT_TRUE(PumpUntil([&] { return w.done == 1; }, 120000));
  EXPECT_EQ(w.token_answers, 1);
  EXPECT_EQ(w.errors, (Errors{{kSignInErrorPhase, kSignInRefreshFailed}}));
  EXPECT_EQ(AcceptWithin(pop, 200), INVALID_SOCKET) << "connected to the mail server without a token";
  closesocket(pop);
}

TEST(OAuthDriver, GoodCachedTokenConnectsAtOnce) {
  Winsock ws;
  ASSERT_TRUE(ws.ok);
  unsigned short port = 0;
  SOCKET pop = Listen(port);
  DataFolder folder("https://localhost:1/token");
  oauth::CachedToken cached;
  cached.access_token = "cached-access-token";
  cached.expires_at = static_cast<std::int64_t>(std::time(nullptr)) + 3600;
  ASSERT_TRUE(oauth::StoreCachedToken(folder.path(), "acct", "rt-1", cached, SystemPasswordProtector()));
  DriverWindow w(folder.path());
  const oauth::OAuthAccount o = SignedIn();
  ASSERT_TRUE(w.driver.Start(OAuthSession(port), w.data, 0, &o));
  EXPECT_FALSE(w.driver.awaiting_token());
  // TLS on connect: the session's connection begins with a ClientHello.
  SOCKET peer = AcceptWithin(pop, 10000);
  ASSERT_NE(peer, INVALID_SOCKET);
  u_long nonblocking = 1;
  ioctlsocket(peer, FIONBIO, &nonblocking);  // the driver's messages must go on meanwhile
  char first = 0;
  ASSERT_TRUE(PumpUntil([&] { return recv(peer, &first, 1, MSG_PEEK) == 1; }, 10000));
  EXPECT_EQ(first, '\x16');
  closesocket(peer);
  ASSERT_TRUE(PumpUntil([&] { return w.done == 1; }, 20000));
  EXPECT_EQ(w.token_answers, 0);
  for (const auto& e : w.errors) EXPECT_NE(e.first, kSignInErrorPhase);
  // A token whose origin is another refresh token (a new sign-in) is not used.
  DriverWindow w2(folder.path());
  const oauth::OAuthAccount other = SignedIn("rt-2");
  ASSERT_TRUE(w2.driver.Start(OAuthSession(port), w2.data, 0, &other));
  EXPECT_TRUE(w2.driver.awaiting_token());
  w2.driver.Stop();
  closesocket(pop);
}

TEST(OAuthDriver, DisconnectDuringTheRefreshDropsIt) {
  Winsock ws;
  ASSERT_TRUE(ws.ok);
  unsigned short pop_port = 0, token_port = 0;
  SOCKET pop = Listen(pop_port);
  SOCKET token = Listen(token_port);  // takes the connection, never answers
  DataFolder folder("https://localhost:" + std::to_string(token_port) + "/token");
  DriverWindow w(folder.path());
  const oauth::OAuthAccount o = SignedIn();
  ASSERT_TRUE(w.driver.Start(OAuthSession(pop_port), w.data, 0, &o));
  SOCKET held = AcceptWithin(token, 20000);
  ASSERT_NE(held, INVALID_SOCKET) << "the refresh reaches the token endpoint";
  EXPECT_TRUE(w.driver.awaiting_token());
  w.driver.Stop();
  EXPECT_FALSE(w.driver.active());
  // The endpoint hangs up now: the worker ends at once, and its answer
  // reaches nobody.
  closesocket(held);
  PumpUntil([] { return false; }, 3000);
  EXPECT_EQ(w.token_answers, 0);
  EXPECT_EQ(w.done, 0);
  EXPECT_TRUE(w.errors.empty());
  EXPECT_TRUE(w.store.files.empty());
  EXPECT_EQ(AcceptWithin(pop, 200), INVALID_SOCKET);
  closesocket(token);
  closesocket(pop);
}

}  // namespace
}  // namespace tidewell
