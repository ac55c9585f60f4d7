// Helpers of the viewer's Wine tests: fixture messages, windows found by
// process or thread, text read back through WM_GETTEXT.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/notify/win32/notify_win32_util.h"

namespace tidewell::testing {

// A fixture message copied beside the test program (tests/viewer/mail).
inline std::string Fixture(const std::string& name) { return ReadFileBytes(ExeFolder() + "mail\\" + name); }

// Text of a window through WM_GETTEXT (also across processes).
inline std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return "<hung>";
  std::vector<char> buffer(length * 2 + 2, '\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                      5000, &got);
  return std::string(buffer.data());
}

inline std::string ItemText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }

// Visible dialog-class windows (message windows and message boxes) of a
// process (pid != 0) or of the calling thread (pid == 0).
inline std::vector<HWND> Dialogs(DWORD pid) {
  struct Search {
    DWORD pid;
    std::vector<HWND> found;
  } search{pid, {}};
  auto visit = [](HWND window, LPARAM param) -> BOOL {
    auto* s = reinterpret_cast<Search*>(param);
    char cls[32] = "";
    GetClassNameA(window, cls, sizeof cls);
    DWORD owner_pid = 0;
    const DWORD thread = GetWindowThreadProcessId(window, &owner_pid);
    const bool mine = s->pid ? owner_pid == s->pid : thread == GetCurrentThreadId();
    if (mine && IsWindowVisible(window) && std::string(cls) == "#32770") s->found.push_back(window);
    return TRUE;
  };
  EnumWindows(visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The message window among them (it has the subject field).
inline HWND MessageWindowOf(DWORD pid) {
  for (HWND w : Dialogs(pid))
    if (GetDlgItem(w, 1015)) return w;
  return nullptr;
}

// A message box among them, and all its static texts run together.
inline HWND MessageBoxOf(DWORD pid) {
  for (HWND w : Dialogs(pid))
    if (!GetDlgItem(w, 1015)) return w;
  return nullptr;
}
inline std::string BoxText(HWND box) {
  std::string all;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char cls[32] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (std::string(cls) == "Static") all += TextOf(child);
  }
  return all;
}

// Waits (without pumping) until found() gives a window.
inline HWND WaitFor(const std::function<HWND()>& found, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND w = found()) return w;
    if (GetTickCount() - start > timeout_ms) return nullptr;
    Sleep(50);
  }
}

inline bool WaitText(const std::function<std::string()>& text, const std::string& want, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (text() != want) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(50);
  }
  return true;
}

// The [MessageWindow] keys of an ini file, "Key=value" lines in file order.
inline std::string MessageWindowKeys(const std::string& ini) {
  std::vector<char> buffer(4096, '\0');
  const DWORD n = GetPrivateProfileSectionA("MessageWindow", buffer.data(), static_cast<DWORD>(buffer.size()),
                                            ini.c_str());
  std::string lines;
  for (DWORD i = 0; i < n;) {
    const std::string line(&buffer[i]);
    lines += line + "\n";
    i += static_cast<DWORD>(line.size()) + 1;
  }
  return lines;
}

}  // namespace tidewell::testing
