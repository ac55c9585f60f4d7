// Test helper run under Wine beside Tidewell.exe: finds the hidden windows
// titled "Tidewell" and posts messages to them, as another program would, and
// looks at the windows and modules of the program from outside.
//   tray_helper count                 prints the number of such windows
//   tray_helper wait N SECONDS        waits until there are N of them (exit 1 on time-out)
//   tray_helper post MESSAGE [WPARAM [LPARAM [TIMES]]]
//                                     posts MESSAGE (decimal) to each of them, TIMES times in a
//                                     row (default once); exit 2 when none
//   tray_helper taskbar               posts the registered message "TaskbarCreated" to them, as
//                                     the shell does when it restarts; exit 2 when none
//   tray_helper title CLASS SECONDS   waits for a top-level window of CLASS and prints its
//                                     title (exit 1 on time-out)
//   tray_helper close CLASS           posts WM_CLOSE to the windows of CLASS; exit 2 when none
//   tray_helper keys CLASS VK...      posts key presses (virtual-key codes, decimal) to the first
//                                     window of CLASS; exit 2 when none (e.g. "#32768", an open
//                                     popup menu)
//   tray_helper modules               prints the module paths of the process that owns the
//                                     first "Tidewell" window, one a line (exit 2 when none)
// The settings sheet "設定" and the account dialog "アカウント" (exit 1 when the window does not
// come within 10 seconds):
//   tray_helper sheet-page N          selects page N (0-based) of the sheet
//   tray_helper sheet-click ID        posts BM_CLICK to control ID of the sheet's current page
//   tray_helper sheet-select ROW      selects row ROW of the list view 1006 of the current page
//   tray_helper sheet-press N         presses sheet button N (PSBTN_*: 3 OK, 4 apply, 5 cancel)
//   tray_helper sheet-closed SECONDS  waits until no sheet is open
//   tray_helper account-closed SECONDS  waits until no account dialog is open
//   tray_helper sheet-count 0         prints the number of open sheets
//   tray_helper account-text ID TEXT  sets the text of control ID of the account dialog
//   tray_helper account-click ID      posts BM_CLICK to control ID of the account dialog
//   tray_helper account-select ID N   selects item N of combo box ID of the account dialog (with its
//                                     CBN_SELCHANGE notice)
//   tray_helper account-label ID      prints the text of control ID of the account dialog
//   tray_helper box-text CAPTION SECONDS  waits for a message box titled CAPTION, prints its text and
//                                     presses its OK (exit 1 on time-out)
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Search {
  const char* title = nullptr;
  const char* class_name = nullptr;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM lp) {
  auto* search = reinterpret_cast<Search*>(lp);
  char text[256] = "";
  if (search->title) {
    GetWindowTextA(hwnd, text, sizeof text);
    if (std::strcmp(text, search->title) == 0) search->found.push_back(hwnd);
  } else {
    GetClassNameA(hwnd, text, sizeof text);
    if (std::strcmp(text, search->class_name) == 0) search->found.push_back(hwnd);
  }
  return TRUE;
}

std::vector<HWND> TrayWindows() {
  Search s;
  s.title = "Tidewell";
  EnumWindows(&Collect, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

std::vector<HWND> ClassWindows(const char* class_name) {
  Search s;
  s.class_name = class_name;
  EnumWindows(&Collect, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

bool TimedOut(DWORD until) { return static_cast<LONG>(GetTickCount() - until) > 0; }

int PrintModules() {
  std::vector<HWND> windows = TrayWindows();
  if (windows.empty()) return 2;
  DWORD pid = 0;
  GetWindowThreadProcessId(windows[0], &pid);
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) return 3;
  std::vector<HMODULE> modules(512);
  DWORD needed = 0;
  if (!EnumProcessModules(process, modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed)) {
    CloseHandle(process);
    return 3;
  }
  modules.resize(needed / sizeof(HMODULE) < modules.size() ? needed / sizeof(HMODULE) : modules.size());
  for (HMODULE m : modules) {
    char path[MAX_PATH] = "";
    if (GetModuleFileNameExA(process, m, path, sizeof path)) std::printf("%s\n", path);
  }
  CloseHandle(process);
  return 0;
}

constexpr char kSheetTitle[] = "設定";
constexpr char kAccountTitle[] = "アカウント";

HWND WaitTopLevel(const char* title, DWORD seconds) {
  const DWORD until = GetTickCount() + seconds * 1000;
  for (;;) {
    HWND w = FindWindowA("#32770", title);
    if (w && IsWindowVisible(w)) return w;
    if (TimedOut(until)) return nullptr;
    Sleep(50);
  }
}

HWND CurrentPage(HWND sheet) { return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }

int SheetCommand(int argc, char** argv) {
  const std::string cmd = argv[1];
  if (cmd == "sheet-closed" || cmd == "account-closed") {
    const DWORD until = GetTickCount() + std::strtoul(argv[2], nullptr, 10) * 1000;
    while (FindWindowA("#32770", cmd == "sheet-closed" ? kSheetTitle : kAccountTitle)) {
      if (TimedOut(until)) return 1;
      Sleep(50);
    }
    return 0;
  }
  if (cmd.rfind("account-", 0) == 0) {
    HWND dialog = WaitTopLevel(kAccountTitle, 10);
    if (!dialog) return 1;
    HWND item = GetDlgItem(dialog, std::atoi(argv[2]));
    if (!item) return 2;
    if (cmd == "account-text" && argc >= 4) {
      SendMessageA(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
      return 0;
    }
    if (cmd == "account-click") {
      PostMessageA(item, BM_CLICK, 0, 0);
      return 0;
    }
    if (cmd == "account-select" && argc >= 4) {
      SendMessageA(item, CB_SETCURSEL, std::atoi(argv[3]), 0);
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(std::atoi(argv[2]), CBN_SELCHANGE), reinterpret_cast<LPARAM>(item));
      return 0;
    }
    if (cmd == "account-label") {
      char text[256] = "";
      GetWindowTextA(item, text, sizeof text);
      std::printf("%s\n", text);
      return 0;
    }
    return 64;
  }
  if (cmd == "sheet-count") {
    int count = 0;
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", kSheetTitle)) != nullptr;) ++count;
    std::printf("%d\n", count);
    return 0;
  }
  HWND sheet = WaitTopLevel(kSheetTitle, 10);
  if (!sheet) return 1;
  const int n = std::atoi(argv[2]);
  if (cmd == "sheet-page") {
    SendMessageA(sheet, PSM_SETCURSEL, n, 0);
    return 0;
  }
  if (cmd == "sheet-press") {
    PostMessageA(sheet, PSM_PRESSBUTTON, n, 0);
    return 0;
  }
  HWND page = CurrentPage(sheet);
  if (!page) return 2;
  if (cmd == "sheet-click") {
    HWND item = GetDlgItem(page, n);
    if (!item) return 2;
    PostMessageA(item, BM_CLICK, 0, 0);
    return 0;
  }
  if (cmd == "sheet-select") {
    HWND view = GetDlgItem(page, 1006);
    if (!view) return 2;
    // The item state lives in the other process: set it through the view's
    // own keyboard handling instead of an LVITEM pointer.
    PostMessageA(view, WM_KEYDOWN, VK_HOME, 0);
    for (int i = 0; i < n; ++i) PostMessageA(view, WM_KEYDOWN, VK_DOWN, 0);
    return 0;
  }
  return 64;
}

}  // namespace

BOOL CALLBACK LongestStatic(HWND child, LPARAM lp) {
  auto* best = reinterpret_cast<std::string*>(lp);
  char cls[32] = "";
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") != 0) return TRUE;
  char text[4096] = "";
  GetWindowTextA(child, text, sizeof text);
  if (std::strlen(text) > best->size()) *best = text;
  return TRUE;
}

// The text of a message box: its longest static control.
int BoxText(const char* caption, DWORD seconds) {
  HWND box = WaitTopLevel(caption, seconds);
  if (!box) return 1;
  std::string text;
  EnumChildWindows(box, &LongestStatic, reinterpret_cast<LPARAM>(&text));
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "count") == 0) {
    std::printf("%u\n", static_cast<unsigned>(TrayWindows().size()));
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "wait") == 0) {
    const size_t want = std::strtoul(argv[2], nullptr, 10);
    const DWORD until = GetTickCount() + std::strtoul(argv[3], nullptr, 10) * 1000;
    while (TrayWindows().size() != want) {
      if (TimedOut(until)) return 1;
      Sleep(50);
    }
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "post") == 0) {
    const UINT msg = static_cast<UINT>(std::strtoul(argv[2], nullptr, 10));
    const WPARAM wp = argc >= 4 ? static_cast<WPARAM>(std::strtoul(argv[3], nullptr, 10)) : 0;
    const LPARAM lp = argc >= 5 ? static_cast<LPARAM>(std::strtol(argv[4], nullptr, 10)) : 0;
    const unsigned long times = argc >= 6 ? std::strtoul(argv[5], nullptr, 10) : 1;
    std::vector<HWND> windows = TrayWindows();
    for (unsigned long i = 0; i < times; ++i)
      for (HWND w : windows) PostMessageA(w, msg, wp, lp);
    return windows.empty() ? 2 : 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "taskbar") == 0) {
    const UINT msg = RegisterWindowMessageA("TaskbarCreated");
    std::vector<HWND> windows = TrayWindows();
    for (HWND w : windows) PostMessageA(w, msg, 0, 0);
    return windows.empty() ? 2 : 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "title") == 0) {
    const DWORD until = GetTickCount() + std::strtoul(argv[3], nullptr, 10) * 1000;
    for (;;) {
      std::vector<HWND> windows = ClassWindows(argv[2]);
      if (!windows.empty()) {
        char title[512] = "";
        GetWindowTextA(windows[0], title, sizeof title);
        std::printf("%s\n", title);
        return 0;
      }
      if (TimedOut(until)) return 1;
      Sleep(50);
    }
  }
  if (argc >= 3 && std::strcmp(argv[1], "close") == 0) {
    std::vector<HWND> windows = ClassWindows(argv[2]);
    for (HWND w : windows) PostMessageA(w, WM_CLOSE, 0, 0);
    return windows.empty() ? 2 : 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "keys") == 0) {
    std::vector<HWND> windows = ClassWindows(argv[2]);
    if (windows.empty()) return 2;
    for (int i = 3; i < argc; ++i) {
      const WPARAM vk = static_cast<WPARAM>(std::strtoul(argv[i], nullptr, 10));
      PostMessageA(windows[0], WM_KEYDOWN, vk, 1);
      PostMessageA(windows[0], WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
      Sleep(100);
    }
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "modules") == 0) return PrintModules();
  if (argc >= 4 && std::strcmp(argv[1], "box-text") == 0) return BoxText(argv[2], std::strtoul(argv[3], nullptr, 10));
  if (argc >= 3 && (std::strncmp(argv[1], "sheet-", 6) == 0 || std::strncmp(argv[1], "account-", 8) == 0))
    return SheetCommand(argc, argv);
  std::fprintf(stderr,
               "usage: tray_helper count | wait N SECONDS | post MESSAGE [WPARAM [LPARAM [TIMES]]] | taskbar |\n"
               "       title CLASS SECONDS | close CLASS | keys CLASS VK... | modules |\n"
               "       sheet-page N | sheet-click ID | sheet-select ROW | sheet-press N | sheet-closed SECONDS |\n"
               "       account-text ID TEXT | account-click ID | account-closed SECONDS | sheet-count 0\n");
  return 64;
}
