// Drives the list window of Quillbox.dll over a data folder left by a real
// check against Dovecot: selects rows by account and number, sends one
// command (message view 40016, delete 1004) and waits until the session is
// over, answering the message boxes it raises and writing their captions and
// texts to a file. The end-to-end test (tests/tidewell/e2e.py, list_session)
// prepares the folder and checks the servers and files afterwards.
//   TIDEWELL_LIST_DATA     data folder        TIDEWELL_LIST_COUNT  accounts
//   TIDEWELL_LIST_COMMAND  command id         TIDEWELL_LIST_SELECT "name:number,..."
//   TIDEWELL_LIST_OUT      file for the message boxes seen
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kListViewId = 1001;
constexpr int kToolbarId = 10001;
std::string g_out;
std::vector<std::string> g_boxes;

BOOL CALLBACK AnswerBox(HWND window, LPARAM) {
  char cls[64] = {}, title[256] = {}, text[4096] = {};
  GetClassNameA(window, cls, sizeof cls);
  GetWindowTextA(window, title, sizeof title);
  if (std::string(cls) != "#32770" || !IsWindowVisible(window)) return TRUE;
  const std::string caption = title;
  if (caption != "削除エラー" && caption != "表示エラー" && caption != "Tidewell") return TRUE;
  GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
  g_boxes.push_back(caption + "|" + text);
  PostMessageA(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), AnswerBox, 0); }

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string ItemText(HWND view, int index, int column) {
  char text[1024] = {};
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(view, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
  return text;
}

bool ButtonEnabled(HWND list, int id) {
  const HWND toolbar = GetDlgItem(list, kToolbarId);
  return SendMessageA(toolbar, TB_ISBUTTONENABLED, id, 0) != 0;
}

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(10);
  }
}

TEST(ListSessionUnderWine, DriveListOfARealCheck) {
  const std::string folder = Env("TIDEWELL_LIST_DATA");
  if (folder.empty()) GTEST_SKIP() << "run by the end-to-end test after a real check";
  const int count = std::atoi(Env("TIDEWELL_LIST_COUNT").c_str());
  const int command = std::atoi(Env("TIDEWELL_LIST_COMMAND").c_str());
  g_out = Env("TIDEWELL_LIST_OUT");

  HMODULE library = LoadLibraryA("Quillbox.dll");
  ASSERT_NE(library, nullptr);
  using ListShowFn = HWND(WINAPI*)(HWND, int, char*);
  auto list_show = reinterpret_cast<ListShowFn>(reinterpret_cast<void*>(GetProcAddress(library, "ListShow")));
  ASSERT_NE(list_show, nullptr);
  const HWND owner = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "Tidewell", 0, 0, 0, 0, 0, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
  std::string buffer = folder;
  buffer.resize(260, '\0');
  const HWND list = list_show(owner, count, buffer.data());
  ASSERT_NE(list, nullptr);
  Pump(200);
  const HWND view = GetDlgItem(list, kListViewId);

  // Select the rows named "account:number".
  LVITEMA clear{};
  clear.stateMask = LVIS_SELECTED;
  SendMessageA(view, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
  std::stringstream wanted(Env("TIDEWELL_LIST_SELECT"));
  std::string one;
  int selected = 0, want = 0;
  const int rows = static_cast<int>(SendMessageA(view, LVM_GETITEMCOUNT, 0, 0));
  while (std::getline(wanted, one, ',')) {
    ++want;
    const std::string name = one.substr(0, one.find(':'));
    const std::string number = one.substr(one.find(':') + 1);
    for (int i = 0; i < rows; ++i) {
      if (ItemText(view, i, 4) != name || ItemText(view, i, 5) != number) continue;
      LVITEMA item{};
      item.stateMask = LVIS_SELECTED;
      item.state = LVIS_SELECTED;
      SendMessageA(view, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
      ++selected;
    }
  }
  ASSERT_EQ(selected, want) << "every named row is in the list";

  SetTimer(nullptr, 0, 100, OnTimer);
  PostMessageA(list, WM_COMMAND, command, 0);
  Pump(300);
  const DWORD start = GetTickCount();
  bool done = false;
  while (!done && GetTickCount() - start < 60000) {
    Pump(100);
    done = ButtonEnabled(list, 1004) && ButtonEnabled(list, 40016) && !ButtonEnabled(list, 40007);
  }
  Pump(300);
  EXPECT_TRUE(done) << "the session ended";
  {
    std::ofstream out(g_out, std::ios::binary);
    for (const std::string& box : g_boxes) out << box << "\n.\n";
  }
  // Rows left after the command, "name:number:number_old:subject".
  std::ofstream out(g_out + ".rows", std::ios::binary);
  const int left = static_cast<int>(SendMessageA(view, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < left; ++i)
    out << ItemText(view, i, 4) << ":" << ItemText(view, i, 5) << ":" << ItemText(view, i, 6) << ":"
        << ItemText(view, i, 0) << "\n";
  DestroyWindow(list);
  Pump(200);
  DestroyWindow(owner);
  FreeLibrary(library);
}

}  // namespace
