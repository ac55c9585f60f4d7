// Drives the list window of Quillbox.dll over a data folder left by a real
// check against Dovecot: selects rows by account and number, sends one
// command (message view 40016, delete 1004) and waits until the session is
// over, answering the message boxes it raises and writing their captions and
// texts to a file. The end-to-end test (tests/tidewell/e2e.py, list_session)
// prepares the folder and checks the servers and files afterwards.
//   TIDEWELL_LIST_DATA     data folder        TIDEWELL_LIST_COUNT  accounts
//   TIDEWELL_LIST_COMMAND  command id         TIDEWELL_LIST_SELECT "name:number,..."
//   TIDEWELL_LIST_OUT      file for the message boxes seen
//   TIDEWELL_LIST_CLOSE_MS when set, the list window is destroyed that many
//                          milliseconds after the command (a run cut by
//                          closing the list)
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
  if (GetDlgItem(window, 1017)) {  // the message window: its subject field
    char subject[1024] = {};
    GetDlgItemTextA(window, 1015, subject, sizeof subject);
    g_boxes.push_back(std::string("message|") + subject);
    PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
  }
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
  const int close_ms = std::atoi(Env("TIDEWELL_LIST_CLOSE_MS").c_str());
  if (close_ms > 0) {
    Pump(static_cast<DWORD>(close_ms));
    EXPECT_FALSE(ButtonEnabled(list, 1004)) << "the run is still going when the list closes";
    DestroyWindow(list);
    Pump(500);
    std::ofstream out(g_out, std::ios::binary);
    for (const std::string& box : g_boxes) out << box << "\n.\n";
    std::ofstream(g_out + ".rows", std::ios::binary);
    DestroyWindow(owner);
    FreeLibrary(library);
    return;
  }
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

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Command 40028 adopts the new-mail program of Tidewell.ini, starts it and
// keeps the list open the first time (writing ExecEndCheck=1); the second
// time the list closes after starting it.
TEST(ListSessionUnderWine, ExternalProgramAdoptedThenClosesTheList) {
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string data = std::string(temp) + "quillbox_exec_" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(data.c_str(), nullptr);
  const std::string tidewell_ini = data + "\\Tidewell.ini", quillbox_ini = data + "\\Quillbox.ini";
  DeleteFileA(quillbox_ini.c_str());
  DeleteFileA((data + "\\started.txt").c_str());
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, sizeof system);
  const std::string cmd = std::string(system) + "\\cmd.exe";
  WritePrivateProfileStringA("Receive", "Exec", cmd.c_str(), tidewell_ini.c_str());
  WritePrivateProfileStringA("Receive", "ExecCmdline", "/c echo started>>started.txt", tidewell_ini.c_str());
  WritePrivateProfileStringA("Receive", "ExecWorkFolder", data.c_str(), tidewell_ini.c_str());

  HMODULE library = LoadLibraryA("Quillbox.dll");
  ASSERT_NE(library, nullptr);
  using ListShowFn = HWND(WINAPI*)(HWND, int, char*);
  auto list_show = reinterpret_cast<ListShowFn>(reinterpret_cast<void*>(GetProcAddress(library, "ListShow")));
  const HWND owner = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "owner", 0, 0, 0, 0, 0, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
  std::string buffer = data;
  buffer.resize(260, '\0');
  const HWND list = list_show(owner, 0, buffer.data());
  ASSERT_NE(list, nullptr);
  Pump(200);

  SendMessageA(list, WM_COMMAND, 40028, 0);
  char value[512] = {};
  GetPrivateProfileStringA("Setting", "Exec", "", value, sizeof value, quillbox_ini.c_str());
  EXPECT_EQ(std::string(value), cmd);
  GetPrivateProfileStringA("Setting", "ExecCmdline", "", value, sizeof value, quillbox_ini.c_str());
  EXPECT_EQ(std::string(value), "/c echo started>>started.txt");
  EXPECT_EQ(GetPrivateProfileIntA("Setting", "ExecEndCheck", -5, quillbox_ini.c_str()), 1);
  EXPECT_TRUE(IsWindow(list)) << "the first use keeps the list open";
  const DWORD start = GetTickCount();
  while (ReadFile(data + "\\started.txt").empty() && GetTickCount() - start < 20000) Pump(100);
  EXPECT_NE(ReadFile(data + "\\started.txt").find("started"), std::string::npos) << "the program ran";

  SendMessageA(list, WM_COMMAND, 40028, 0);
  Pump(200);
  EXPECT_FALSE(IsWindow(list)) << "ExecEndCheck=1 closes the list";
  DestroyWindow(owner);
  FreeLibrary(library);
}

}  // namespace
