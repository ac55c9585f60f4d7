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
#include <string>
#include <utility>
#include <vector>

#include "common/check_errors.h"
#include "common/oauth/token_cache.h"
#include "common/win32/dpapi_protector.h"
#include "session_driver_util.h"

namespace tidewell {
namespace {

using testing::AcceptWithin;
using testing::DriverWindow;
using testing::Listen;
using testing::PumpUntil;
using testing::Winsock;
using Errors = std::vector<std::pair<int, int>>;

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
