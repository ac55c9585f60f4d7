// The interactive sign-in's listener under Wine: requests that are not the
// answer are refused and the listener waits on; the provider's refusal ends
// the sign-in with its words and closes the port; the time-out, a browser
// that cannot start, missing settings and Cancel. A thread plays the browser
// over real loopback sockets while the test's thread pumps the messages.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/oauth/url.h"
#include "common/win32/oauth_signin.h"

namespace tidewell {
namespace {

oauth::ProviderSettings Custom() {
  oauth::ProviderSettings s;
  s.client_id = "test-client";
  s.authorize_url = "https://127.0.0.1:1/authorize";
  s.token_url = "https://127.0.0.1:1/token";
  s.scope = "pop";
  return s;
}

class Winsock {
 public:
  Winsock() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
  }
  ~Winsock() { WSACleanup(); }
};

// One request to 127.0.0.1:port, blocking: the whole answer ("" when no
// connection could be made).
std::string Request(int port, const std::string& request) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<u_short>(port));
  std::string answer;
  if (connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
    send(s, request.data(), static_cast<int>(request.size()), 0);
    char chunk[4096];
    int n;
    while ((n = recv(s, chunk, sizeof chunk, 0)) > 0) answer.append(chunk, static_cast<std::size_t>(n));
  }
  closesocket(s);
  return answer;
}

// The same over [::1].
std::string RequestIpv6(int port, const std::string& request) {
  SOCKET s = socket(AF_INET6, SOCK_STREAM, 0);
  sockaddr_in6 to = {};
  to.sin6_family = AF_INET6;
  to.sin6_addr = in6addr_loopback;
  to.sin6_port = htons(static_cast<u_short>(port));
  std::string answer;
  if (s != INVALID_SOCKET && connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
    send(s, request.data(), static_cast<int>(request.size()), 0);
    char chunk[4096];
    int n;
    while ((n = recv(s, chunk, sizeof chunk, 0)) > 0) answer.append(chunk, static_cast<std::size_t>(n));
  }
  if (s != INVALID_SOCKET) closesocket(s);
  return answer;
}

std::string StatusLine(const std::string& answer) { return answer.substr(0, answer.find("\r\n")); }

// Pumps this thread's messages until done or the time runs out.
bool PumpUntil(const bool& done, DWORD ms) {
  const DWORD until = GetTickCount() + ms;
  while (!done && static_cast<LONG>(GetTickCount() - until) < 0) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
  return done;
}

struct SignInRun {
  bool done = false;
  int callbacks = 0;
  oauth::SignInResult result;
  std::string url;
  OAuthSignIn signin{GetModuleHandleA(nullptr), [this](const oauth::SignInResult& r) {
                       result = r;
                       ++callbacks;
                       done = true;
                     }};
  SignInRun() {
    signin.set_opener([this](const std::string& u) {
      url = u;
      return true;
    });
  }
  std::string State() const {
    oauth::FormFields q;
    oauth::FormDecode(url.substr(url.find('?') + 1), q);
    for (const auto& f : q)
      if (f.first == "state") return f.second;
    return "";
  }
};

TEST(OAuthSignIn, ForeignRequestsAreRefusedUntilTheAnswer) {
  Winsock winsock;
  SignInRun run;
  ASSERT_TRUE(run.signin.Start(oauth::OAuthProvider::kCustom, Custom(), "taro@example.com"));
  const int port = run.signin.port();
  ASSERT_GT(port, 0);
  EXPECT_NE(run.url.find("redirect_uri=http%3A%2F%2F127.0.0.1%3A" + std::to_string(port) + "%2F"), std::string::npos)
      << run.url;
  EXPECT_NE(run.url.find("login_hint=taro%40example.com"), std::string::npos) << run.url;
  const std::string state = run.State();
  ASSERT_FALSE(state.empty());
  const std::vector<std::string> requests = {
      "GET /favicon.ico HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
      "GET /?code=stolen&state=forged HTTP/1.1\r\n\r\n",
      "PUT / HTTP/1.1\r\n\r\n",
      "GET /?error=access_denied&error_description=declined&state=" + state + " HTTP/1.1\r\n\r\n",
  };
  std::vector<std::string> answers;
  int after = -1;
  std::thread browser([&] {
    for (const std::string& r : requests) answers.push_back(StatusLine(Request(port, r)));
    // The sign-in is over: nobody listens any more.
    Sleep(300);
    after = static_cast<int>(Request(port, "GET / HTTP/1.1\r\n\r\n").size());
  });
  EXPECT_TRUE(PumpUntil(run.done, 20000));
  browser.join();  // its last try needs no message: the port is closed
  const std::vector<std::string> want = {"HTTP/1.1 404 Not Found", "HTTP/1.1 400 Bad Request",
                                         "HTTP/1.1 400 Bad Request", "HTTP/1.1 200 OK"};
  EXPECT_EQ(answers, want);
  EXPECT_EQ(run.result.outcome, oauth::SignInOutcome::kDenied);
  EXPECT_EQ(run.result.detail, "access_denied: declined");
  EXPECT_EQ(run.callbacks, 1);
  EXPECT_FALSE(run.signin.running());
  EXPECT_EQ(after, 0) << "the port still answers";
}

TEST(OAuthSignIn, TimeOutCancelAndFailuresAtStart) {
  Winsock winsock;
  {
    SignInRun run;
    run.signin.set_timeout_ms(300);
    ASSERT_TRUE(run.signin.Start(oauth::OAuthProvider::kCustom, Custom(), ""));
    EXPECT_TRUE(PumpUntil(run.done, 10000));
    EXPECT_EQ(run.result.outcome, oauth::SignInOutcome::kTimedOut);
    EXPECT_EQ(run.signin.port(), 0);
  }
  {
    SignInRun run;
    run.signin.set_timeout_ms(300);
    ASSERT_TRUE(run.signin.Start(oauth::OAuthProvider::kCustom, Custom(), ""));
    const int port = run.signin.port();
    run.signin.Cancel();
    PumpUntil(run.done, 800);
    EXPECT_EQ(run.callbacks, 0) << "a cancelled sign-in tells nothing";
    EXPECT_FALSE(run.signin.running());
    EXPECT_TRUE(Request(port, "GET / HTTP/1.1\r\n\r\n").empty());
  }
  {
    SignInRun run;
    run.signin.set_opener([](const std::string&) { return false; });
    EXPECT_FALSE(run.signin.Start(oauth::OAuthProvider::kCustom, Custom(), ""));
    EXPECT_EQ(run.callbacks, 1);
    EXPECT_EQ(run.result.outcome, oauth::SignInOutcome::kNoBrowser);
    EXPECT_FALSE(run.signin.running());
  }
  {
    SignInRun run;
    oauth::ProviderSettings no_id = Custom();
    no_id.client_id.clear();
    EXPECT_FALSE(run.signin.Start(oauth::OAuthProvider::kCustom, no_id, ""));
    EXPECT_EQ(run.result.outcome, oauth::SignInOutcome::kSettings);
    EXPECT_EQ(run.result.settings_problem, oauth::ProviderProblem::kNoClientId);
    EXPECT_TRUE(run.url.empty()) << "no browser without a client id";
    // The next sign-in of the same object runs.
    ASSERT_TRUE(run.signin.Start(oauth::OAuthProvider::kCustom, Custom(), ""));
    EXPECT_FALSE(run.url.empty());
    run.signin.Cancel();
  }
}

}  // namespace
}  // namespace tidewell

namespace tidewell {
namespace {

// A browser sent to localhost may reach [::1] first: the answer is taken
// there too, on the same port, and both listeners close with the sign-in.
TEST(OAuthSignIn, AnswerOverIpv6Loopback) {
  Winsock winsock;
  // A machine (or container) without ::1 on its loopback interface has
  // nothing to test here.
  SOCKET probe = socket(AF_INET6, SOCK_STREAM, 0);
  sockaddr_in6 any_port = {};
  any_port.sin6_family = AF_INET6;
  any_port.sin6_addr = in6addr_loopback;
  const bool ipv6 = probe != INVALID_SOCKET &&
                    bind(probe, reinterpret_cast<const sockaddr*>(&any_port), sizeof any_port) == 0;
  if (probe != INVALID_SOCKET) closesocket(probe);
  if (!ipv6) GTEST_SKIP() << "no [::1] on this system";
  SignInRun run;
  ASSERT_TRUE(run.signin.Start(oauth::OAuthProvider::kMicrosoft, Custom(), ""));
  const int port = run.signin.port();
  ASSERT_GT(port, 0);
  EXPECT_NE(run.url.find("redirect_uri=http%3A%2F%2Flocalhost%3A" + std::to_string(port) + "%2F"), std::string::npos)
      << run.url;
  ASSERT_TRUE(run.signin.listening_ipv6());
  const std::string state = run.State();
  std::string answer;
  int after = -1;
  std::thread browser([&] {
    answer = StatusLine(RequestIpv6(port, "GET /?error=access_denied&state=" + state + " HTTP/1.1\r\n\r\n"));
    Sleep(300);
    after = static_cast<int>(RequestIpv6(port, "GET / HTTP/1.1\r\n\r\n").size());
  });
  EXPECT_TRUE(PumpUntil(run.done, 20000));
  browser.join();
  EXPECT_EQ(answer, "HTTP/1.1 200 OK");
  EXPECT_EQ(run.result.outcome, oauth::SignInOutcome::kDenied);
  EXPECT_FALSE(run.signin.listening_ipv6());
  EXPECT_EQ(after, 0) << "[::1] still answers";
}

}  // namespace
}  // namespace tidewell
