// The Win32 session driver with real Winsock under Wine, against a server
// socket of the test itself: a hang-up (FD_CLOSE) fails the account at once,
// after the text still pending was read, instead of after the watchdog; the
// answer of a lookup that is not the pending one is ignored.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "notify_win32_util.h"
#include "tidewell/engine/engine_state.h"
#include "tidewell/engine/win32/session_driver.h"

namespace tidewell {
namespace {

using testing::PumpUntil;

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

// A hidden window that hands the session messages to the driver, as the tray
// window does, and notes the errors and the end of the account.
class DriverWindow {
 public:
  DriverWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &DriverWindow::Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SessionDriverTest";
    RegisterClassA(&wc);
    hwnd_ = CreateWindowExA(0, "SessionDriverTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
    driver.SetWindow(hwnd_);
    data.data_folder = "C:\\tw";
    data.ResetAccounts(1);
  }
  ~DriverWindow() {
    driver.Stop();
    DestroyWindow(hwnd_);
  }
  HWND hwnd() const { return hwnd_; }

  Store store;
  EngineData data;
  Pop3Session session{FakeMd5, store};
  SessionDriver driver{session};
  std::vector<std::pair<int, int>> errors;
  int done = 0;

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
    ok = WSAStartup(MAKEWORD(1, 1), &d) == 0;
  }
  ~Winsock() {
    if (ok) WSACleanup();
  }
  bool ok = false;
};

// A listening socket on the loopback address.
SOCKET Listen(unsigned short& port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = inet_addr("127.0.0.1");
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(s, 1);
  int len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return s;
}

TEST(SessionDriver, HangUpFailsTheAccountAtOnceAfterReadingWhatWasSent) {
  Winsock ws;
  ASSERT_TRUE(ws.ok);
  unsigned short port = 0;
  SOCKET server = Listen(port);
  DriverWindow w;
  ASSERT_TRUE(w.driver.Start(SessionAccount{"user", "pw", "acct", "127.0.0.1", port, false}, w.data, 0));
  SOCKET peer = INVALID_SOCKET;
  ASSERT_TRUE(PumpUntil([&] {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(server, &set);
    timeval now = {0, 0};
    if (select(0, &set, nullptr, nullptr, &now) == 1) peer = accept(server, nullptr, nullptr);
    return peer != INVALID_SOCKET;
  }, 5000));
  // The greeting and the hang-up together: the greeting is still read (USER
  // goes out), then the close ends the account with (3,1).
  const char greeting[] = "+OK hello\r\n";
  send(peer, greeting, sizeof greeting - 1, 0);
  closesocket(peer);
  const DWORD start = GetTickCount();
  ASSERT_TRUE(PumpUntil([&] { return w.done == 1; }, 10000)) << "the account ends without the watchdog";
  EXPECT_LT(GetTickCount() - start, 10000u);
  EXPECT_EQ(w.errors, (std::vector<std::pair<int, int>>{{3, 1}}));
  const std::string file = w.store.files["C:\\tw\\Mail\\0123456789abcdef0123456789abcdef"];
  EXPECT_NE(file.find("(3,1)"), std::string::npos) << file;
  closesocket(server);
}

TEST(SessionDriver, AnswerOfALookupThatIsNotThePendingOneIsIgnored) {
  Winsock ws;
  ASSERT_TRUE(ws.ok);
  DriverWindow w;
  ASSERT_TRUE(w.driver.Start(SessionAccount{"user", "pw", "acct", "localhost", 1, false}, w.data, 0));
  // An answer for some other task handle, as a cancelled lookup of an
  // earlier session can still deliver.
  PostMessageA(w.hwnd(), kWmTrayHostFound, static_cast<WPARAM>(0x7777), 0);
  PumpUntil([] { return false; }, 300);
  for (const auto& e : w.errors) EXPECT_NE(e, std::make_pair(1, 1));
  // The pending lookup still completes the session (localhost, nobody on
  // port 1: a connection failure, not the foreign-handle error).
  ASSERT_TRUE(PumpUntil([&] { return w.done == 1; }, 20000));
  ASSERT_FALSE(w.errors.empty());
  EXPECT_EQ(w.errors[0].first, 1);
  EXPECT_NE(w.errors[0], std::make_pair(1, 1));
}

}  // namespace
}  // namespace tidewell
