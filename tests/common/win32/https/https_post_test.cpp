// The WinHTTP POST against the servers of tests/common/https_post_e2e.py
// (their ports come in the environment): answers of any status, the bounded
// body, no redirects, refused certificates, and the answer as a message.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/oauth/token.h"
#include "common/win32/https_post.h"
#include "common/win32/random_bytes.h"

namespace tidewell {
namespace {

constexpr unsigned kAnswerMessage = WM_APP + 7;

std::string Port(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string Url(const char* port_variable, const char* path, const char* host = "localhost") {
  return std::string("https://") + host + ":" + Port(port_variable) + path;
}

class HttpsPostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Port("TIDEWELL_HTTPS_TRUSTED_PORT").empty()) GTEST_FAIL() << "run through https_post_e2e.py";
    window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    if (window_) DestroyWindow(window_);
  }

  // Pumps the thread's messages until the answer message of `id` arrives.
  bool WaitForAnswer(unsigned id, DWORD timeout_ms = 120000) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeout_ms) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.hwnd == window_ && msg.message == kAnswerMessage && msg.wParam == id) return true;
        DispatchMessageW(&msg);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    }
    return false;
  }

  HWND window_ = nullptr;
};

TEST_F(HttpsPostTest, AnswerArrivesAsAMessageWithTheFormBody) {
  const std::string body = "grant_type=refresh_token&refresh_token=a%2Bb%3D&client_id=c";
  const unsigned id = StartHttpsPost(window_, kAnswerMessage, Url("TIDEWELL_HTTPS_TRUSTED_PORT", "/echo?x=1"), body);
  ASSERT_NE(id, 0u);
  HttpsAnswer answer;
  EXPECT_FALSE(TakeHttpsAnswer(id + 1000, answer));
  ASSERT_TRUE(WaitForAnswer(id));
  ASSERT_TRUE(TakeHttpsAnswer(id, answer));
  EXPECT_TRUE(answer.answered) << answer.failure;
  EXPECT_EQ(answer.status, 200);
  EXPECT_NE(answer.body.find("\"method\": \"POST\""), std::string::npos) << answer.body;
  EXPECT_NE(answer.body.find("\"type\": \"application/x-www-form-urlencoded\""), std::string::npos) << answer.body;
  EXPECT_NE(answer.body.find("\"body\": \"" + body + "\""), std::string::npos) << answer.body;
  EXPECT_NE(answer.body.find("\"path\": \"/echo?x=1\""), std::string::npos) << answer.body;
  // Once only.
  EXPECT_FALSE(TakeHttpsAnswer(id, answer));
}

TEST_F(HttpsPostTest, AnswersAndRefusals) {
  struct Case {
    const char* what;
    std::string url;
    bool answered;
    int status;
    std::size_t body_size;  // when answered
    bool certificate;
  };
  const Case cases[] = {
      {"an OAuth error comes as 400 with its body", Url("TIDEWELL_HTTPS_TRUSTED_PORT", "/refuse"), true, 400, 55,
       false},
      {"a body of the largest size", Url("TIDEWELL_HTTPS_TRUSTED_PORT", "/exact"), true, 200,
       oauth::kMaxTokenResponse, false},
      {"one byte more is no answer", Url("TIDEWELL_HTTPS_TRUSTED_PORT", "/huge"), false, 0, 0, false},
      {"a redirect is not followed", Url("TIDEWELL_HTTPS_TRUSTED_PORT", "/redirect"), true, 307, 2, false},
      {"a CA nobody trusts", Url("TIDEWELL_HTTPS_UNTRUSTED_PORT", "/echo?x=1"), false, 0, 0, true},
      {"a certificate for another host", Url("TIDEWELL_HTTPS_OTHERNAME_PORT", "/echo?x=1"), false, 0, 0, true},
      {"a server that does not speak TLS", Url("TIDEWELL_HTTP_PLAIN_PORT", "/echo?x=1"), false, 0, 0, false},
      {"http:// is refused", "http://127.0.0.1:" + Port("TIDEWELL_HTTP_PLAIN_PORT") + "/echo?x=1", false, 0, 0,
       false},
  };
  for (const Case& c : cases) {
    const HttpsAnswer answer = HttpsPostNow(c.url, "refresh_token=secret");
    EXPECT_EQ(answer.answered, c.answered) << c.what << ": " << answer.failure;
    EXPECT_EQ(answer.certificate, c.certificate) << c.what << ": " << answer.failure;
    if (c.answered) {
      EXPECT_EQ(answer.status, c.status) << c.what;
      EXPECT_EQ(answer.body.size(), c.body_size) << c.what;
      EXPECT_TRUE(answer.failure.empty()) << c.what;
    } else {
      EXPECT_FALSE(answer.failure.empty()) << c.what;
      EXPECT_TRUE(answer.body.empty()) << c.what;
    }
  }
}

TEST_F(HttpsPostTest, RefusedBeforeAnyRequest) {
  const std::string refused[] = {
      "http://127.0.0.1:" + Port("TIDEWELL_HTTP_PLAIN_PORT") + "/echo?x=1",
      "HTTP://127.0.0.1:" + Port("TIDEWELL_HTTP_PLAIN_PORT") + "/echo?x=1",
      "ftp://127.0.0.1/x",
      "",
      "no url at all",
  };
  for (const std::string& url : refused) EXPECT_EQ(StartHttpsPost(window_, kAnswerMessage, url, "a=b"), 0u) << url;
}

TEST_F(HttpsPostTest, CancelledRequestGivesNoAnswer) {
  const unsigned dropped =
      StartHttpsPost(window_, kAnswerMessage, Url("TIDEWELL_HTTPS_TRUSTED_PORT", "/echo?x=1"), "a=1");
  ASSERT_NE(dropped, 0u);
  CancelHttpsPost(dropped);
  const unsigned kept = StartHttpsPost(window_, kAnswerMessage, Url("TIDEWELL_HTTPS_TRUSTED_PORT", "/echo?x=1"), "a=2");
  ASSERT_NE(kept, 0u);
  EXPECT_NE(kept, dropped);
  ASSERT_TRUE(WaitForAnswer(kept));
  // Give the cancelled worker time to finish too: it still gives nothing.
  Sleep(2000);
  HttpsAnswer answer;
  EXPECT_FALSE(TakeHttpsAnswer(dropped, answer));
  ASSERT_TRUE(TakeHttpsAnswer(kept, answer));
  EXPECT_NE(answer.body.find("\"body\": \"a=2\""), std::string::npos) << answer.body;
}

TEST(RandomBytes, SizesAndVariety) {
  std::string a, b;
  ASSERT_TRUE(RandomBytes(32, a));
  ASSERT_TRUE(RandomBytes(32, b));
  EXPECT_EQ(a.size(), 32u);
  EXPECT_NE(a, b);
  EXPECT_NE(a, std::string(32, '\0'));
  ASSERT_TRUE(RandomBytes(0, a));
  EXPECT_TRUE(a.empty());
  ASSERT_TRUE(RandomBytes(4096, a));
  // 4096 bytes of a working generator use (nearly) every byte value.
  bool seen[256] = {};
  int distinct = 0;
  for (unsigned char c : a)
    if (!seen[c]) seen[c] = true, ++distinct;
  EXPECT_GT(distinct, 200);
}

}  // namespace
}  // namespace tidewell
