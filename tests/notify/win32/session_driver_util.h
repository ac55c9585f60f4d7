// The check's session driver in a hidden window of the test's own, as the
// tray window hands it the session messages, with a session store in memory,
// and a listening socket on the loopback address for the server side.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "notify_win32_util.h"
#include "tidewell/engine/engine_state.h"
#include "tidewell/engine/win32/session_driver.h"

namespace tidewell {
namespace testing {

class MemoryStore : public SessionStore {
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

inline std::string FakeMd5(std::string_view) { return "0123456789abcdef0123456789abcdef"; }

// Notes the errors, the end of the account and the token answers.
class DriverWindow {
 public:
  explicit DriverWindow(const std::string& data_folder = "C:\\tw") {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &DriverWindow::Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SessionDriverTest";
    RegisterClassA(&wc);
    hwnd_ = CreateWindowExA(0, "SessionDriverTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
    driver.SetWindow(hwnd_);
    data.data_folder = data_folder;
    data.ResetAccounts(1);
  }
  ~DriverWindow() {
    driver.Stop();
    DestroyWindow(hwnd_);
  }
  HWND hwnd() const { return hwnd_; }
  // The account mail file of the account "acct" (the fake digest).
  std::string MailFile() { return store.files[data.data_folder + "\\Mail\\" + FakeMd5("")]; }

  MemoryStore store;
  EngineData data;
  Pop3Session session{FakeMd5, store};
  SessionDriver driver{session};
  std::vector<std::pair<int, int>> errors;
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
    ok = WSAStartup(MAKEWORD(1, 1), &d) == 0;
  }
  ~Winsock() {
    if (ok) WSACleanup();
  }
  bool ok = false;
};

// A listening socket on the loopback address.
inline SOCKET Listen(unsigned short& port) {
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

// The first connection to `server` within `ms` (messages pumped meanwhile);
// INVALID_SOCKET when none came.
inline SOCKET AcceptWithin(SOCKET server, DWORD ms) {
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

}  // namespace testing
}  // namespace tidewell
