// The list window of Quillbox.dll under Wine: this program loads the library
// by name (it lies beside this program with Inkwell2.dll), calls ListShow on a
// data folder and reads the list view back in the same process.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "common/win32/inkwell_dll.h"
#include "tests/settings/account_fixtures.h"

namespace {

constexpr UINT kWmListClosed = WM_USER + 100;
constexpr int kListViewId = 1001;
constexpr int kToolbarId = 10001;
int g_closed = 0;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kWmListClosed) {
    ++g_closed;
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

bool Pump(bool (*done)(), DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(10);
  }
}

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
}

std::string ExeFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string p(path);
  return p.substr(0, p.find_last_of('\\'));
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return ok && written == bytes.size();
}

std::string ReadBytes(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return std::string();
  std::string out;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(f);
  return out;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found{};
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(folder + "\\" + name);
      else DeleteFileA((folder + "\\" + name).c_str());
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  RemoveDirectoryA(folder.c_str());
}

// Account mail files of the two accounts of kAccountV5.
const std::string kHome =
    "+OK 1 1025\r\n+OK\r\n"
    "Subject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=\r\n"
    "From: =?utf-8?B?5ryi5a2X?= <k@example.jp>\r\n"
    "Date: Wed, 3 Jan 2007 03:46:20 +0900\r\n"
    "X-UIDL: uidl-1\r\n"
    "Message-ID: <m1@example.jp>\r\n"
    "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
    "\r\n.\r\n"
    "-DE 2 100\r\n+OK\r\nSubject: gone\r\n\r\n.\r\n"
    "+OK 3 9216\r\n+OK\r\n"
    "Subject: =?iso-2022-jp?B?pcaluaXI?=\r\n"  // EUC-JP bytes sent as ISO-2022-JP
    "From: b@example.jp\r\n"
    "Date: 9 Feb 2007 10:00:00\r\n"
    "Content-Type: multipart/mixed; boundary=x\r\n"
    "\r\n.\r\n"
    "+OK 4 10240\r\n+OK\r\n"
    "Subject: plain\r\n"
    "Status: RO\r\n"
    "Date: 2 Oct 2007 08:00:00\r\n"
    "\r\n.\r\n";
const std::string kWork = "*ERR\r\n接続に失敗しました。\r\n.\r\n";

struct Row {
  std::vector<std::string> columns;
  int image = -1;
  LPARAM item = -1;
};

class ListWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = LoadLibraryA("Quillbox.dll");
    ASSERT_NE(library_, nullptr);
    list_show_ = reinterpret_cast<ListShowFn>(reinterpret_cast<void*>(GetProcAddress(library_, "ListShow")));
    ASSERT_NE(list_show_, nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ListTestOwner";
    RegisterClassA(&wc);
    owner_ = CreateWindowExA(WS_EX_TOOLWINDOW, "ListTestOwner", "Tidewell", 0, 0, 0, 0, 0, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner_, nullptr);
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    data_ = std::string(temp) + "quillbox_" + std::to_string(GetCurrentProcessId()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RemoveTree(data_);
    ASSERT_TRUE(CreateDirectoryA(data_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((data_ + "\\Mail").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(data_ + "\\Account.dat", kAccountV5));
    ASSERT_TRUE(WriteBytes(MailFile("Home"), kHome));
    ASSERT_TRUE(WriteBytes(MailFile("Work"), kWork));
    g_closed = 0;
  }
  void TearDown() override {
    if (list_ && IsWindow(list_)) Close();
    if (owner_) DestroyWindow(owner_);
    if (library_) FreeLibrary(library_);
    RemoveTree(data_);
  }

  std::string MailFile(const std::string& account) const {
    return data_ + "\\Mail\\" + tidewell::InkwellMd5(account);
  }
  std::string Ini() const { return data_ + "\\Quillbox.ini"; }
  int IniInt(const char* section, const char* key) const {
    return static_cast<int>(GetPrivateProfileIntA(section, key, -12345, Ini().c_str()));
  }

  HWND Open(const std::string& folder, int count = 2) {
    std::string buffer = folder;
    buffer.resize(260, '\0');
    list_ = list_show_(owner_, count, buffer.data());
    PumpFor(100);
    return list_;
  }
  HWND Open() { return Open(data_); }
  HWND View() const { return GetDlgItem(list_, kListViewId); }

  void Close() {
    const int before = g_closed;
    SendMessageA(list_, WM_COMMAND, IDCANCEL, 0);
    static int target;
    target = before + 1;
    EXPECT_TRUE(Pump([] { return g_closed >= target; }, 5000)) << "WM_LIST_CLOSED posted to the owner";
    EXPECT_FALSE(IsWindow(list_));
    list_ = nullptr;
  }

  std::vector<Row> Rows() const {
    std::vector<Row> rows;
    const int count = static_cast<int>(SendMessageA(View(), LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      Row row;
      for (int c = 0; c < 10; ++c) {
        char text[1024] = {};
        LVITEMA item{};
        item.iSubItem = c;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(View(), LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
        row.columns.push_back(text);
      }
      LVITEMA item{};
      item.mask = LVIF_IMAGE | LVIF_PARAM;
      item.iItem = i;
      SendMessageA(View(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
      row.image = item.iImage;
      row.item = item.lParam;
      rows.push_back(row);
    }
    return rows;
  }
  // Item data of the rows in list order.
  std::vector<LPARAM> Order() const {
    std::vector<LPARAM> order;
    for (const Row& row : Rows()) order.push_back(row.item);
    return order;
  }
  void ClickColumn(int column) {
    NMLISTVIEW click{};
    click.hdr.hwndFrom = View();
    click.hdr.idFrom = kListViewId;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageA(list_, WM_NOTIFY, kListViewId, reinterpret_cast<LPARAM>(&click));
  }
  void Select(int index) {
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = 0;
    SendMessageA(View(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED;
    SendMessageA(View(), LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
  }
  int IndexOfItem(LPARAM data) const {
    const std::vector<LPARAM> order = Order();
    for (std::size_t i = 0; i < order.size(); ++i)
      if (order[i] == data) return static_cast<int>(i);
    return -1;
  }

  using ListShowFn = HWND(WINAPI*)(HWND, int, char*);
  HMODULE library_ = nullptr;
  ListShowFn list_show_ = nullptr;
  HWND owner_ = nullptr;
  HWND list_ = nullptr;
  std::string data_;
};

TEST_F(ListWindowTest, RowsColumnsImagesAndItemData) {
  ASSERT_NE(Open(), nullptr);
  char title[64] = {};
  GetWindowTextA(list_, title, sizeof title);
  EXPECT_STREQ(title, "一覧");
  EXPECT_TRUE(IsWindowVisible(list_));
  EXPECT_TRUE(GetWindowLongPtrA(list_, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_EQ(GetWindow(list_, GW_OWNER), owner_);

  std::map<LPARAM, Row> rows;
  for (const Row& row : Rows()) rows[row.item] = row;
  ASSERT_EQ(rows.size(), 4u);
  const std::vector<std::string> home1 = {"テスト", "漢字 <k@example.jp>", "2007/1/3 03:46:20", "2 KB", "Home",
                                          "1", "1", "uidl-1", "<m1@example.jp>", ""};
  for (int c = 0; c < 9; ++c) EXPECT_EQ(rows[0].columns[c], home1[c]) << "column " << c;
  EXPECT_EQ(rows[0].columns[9].size(), 32u);
  EXPECT_EQ(rows[0].image, 0);

  EXPECT_EQ(rows[1].columns[3], "9 KB");
  EXPECT_EQ(rows[1].columns[5], "2");  // the deleted block is not counted
  EXPECT_EQ(rows[1].columns[6], "3");
  EXPECT_EQ(rows[1].image, 1);

  EXPECT_EQ(rows[2].columns[0], "plain");
  EXPECT_EQ(rows[2].columns[3], "10 KB");
  EXPECT_EQ(rows[2].columns[5], "3");
  EXPECT_EQ(rows[2].columns[6], "4");
  EXPECT_EQ(rows[2].image, 0);
  EXPECT_NE(rows[2].columns[9], rows[0].columns[9]);

  const std::vector<std::string> error = {"接続に失敗しました。", "", "", "", "Work", "", "", "", "", ""};
  EXPECT_EQ(rows[3].columns, error);
  EXPECT_EQ(rows[3].image, 2);

  // Column titles.
  const char* titles[] = {"Subject", "From", "Date", "Size", "Name", "Number", "Number_Old", "UIDL", "MsgID", "Hash"};
  for (int c = 0; c < 10; ++c) {
    char text[64] = {};
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT;
    col.pszText = text;
    col.cchTextMax = sizeof text;
    SendMessageA(View(), LVM_GETCOLUMNA, c, reinterpret_cast<LPARAM>(&col));
    EXPECT_STREQ(text, titles[c]);
  }
  EXPECT_EQ(SendMessageA(View(), LVM_GETCOLUMNWIDTH, 0, 0), 150);
  EXPECT_EQ(SendMessageA(View(), LVM_GETCOLUMNWIDTH, 5, 0), 0);
  EXPECT_EQ(SendMessageA(View(), LVM_GETCOLUMNWIDTH, 9, 0), 100);
  // Toolbar: 14 buttons and 5 separators.
  const HWND toolbar = GetDlgItem(list_, kToolbarId);
  ASSERT_NE(toolbar, nullptr);
  EXPECT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 19);
  EXPECT_TRUE(SendMessageA(toolbar, TB_ISBUTTONCHECKED, 40005, 0));  // DeleteCheck default 1
  EXPECT_FALSE(SendMessageA(toolbar, TB_ISBUTTONCHECKED, 40006, 0));
  EXPECT_FALSE(SendMessageA(toolbar, TB_ISBUTTONENABLED, 40007, 0));
}

TEST_F(ListWindowTest, ColumnClicksSortDatesAndSizesAndFlip) {
  ASSERT_NE(Open(), nullptr);
  ClickColumn(2);  // ascending: chronological, the error row's empty date first
  EXPECT_EQ(Order(), (std::vector<LPARAM>{3, 0, 1, 2}));
  ClickColumn(2);  // the same column again: the other way
  EXPECT_EQ(Order(), (std::vector<LPARAM>{2, 1, 0, 3}));
  ClickColumn(3);  // ascending again: none, 2 KB, 9 KB, 10 KB (numerically)
  EXPECT_EQ(Order(), (std::vector<LPARAM>{3, 0, 1, 2}));
  ClickColumn(3);
  EXPECT_EQ(Order(), (std::vector<LPARAM>{2, 1, 0, 3}));
}

TEST_F(ListWindowTest, CloseWritesTheSettingsAndASecondOpenRestoresThem) {
  ASSERT_NE(Open(), nullptr);
  SetWindowPos(list_, nullptr, 60, 70, 460, 370, SWP_NOZORDER);
  SendMessageA(View(), LVM_SETCOLUMNWIDTH, 1, 77);
  ClickColumn(3);  // ascending by size; the next click would go descending
  SendMessageA(list_, WM_COMMAND, 40027, 0);  // 最前面 from the menu: on
  EXPECT_TRUE(SendMessageA(GetDlgItem(list_, kToolbarId), TB_ISBUTTONCHECKED, 40006, 0));
  EXPECT_TRUE(GetWindowLongPtrA(list_, GWL_EXSTYLE) & WS_EX_TOPMOST);
  SendMessageA(list_, WM_COMMAND, 40025, 0);  // 削除確認 from the menu: off
  EXPECT_FALSE(SendMessageA(GetDlgItem(list_, kToolbarId), TB_ISBUTTONCHECKED, 40005, 0));
  Close();

  EXPECT_EQ(IniInt("Window", "Left"), 60);
  EXPECT_EQ(IniInt("Window", "Top"), 70);
  EXPECT_EQ(IniInt("Window", "Right"), 520);
  EXPECT_EQ(IniInt("Window", "Bottom"), 440);
  EXPECT_EQ(IniInt("Size", "From"), 77);
  EXPECT_EQ(IniInt("Sort", "Item"), 3);
  EXPECT_EQ(IniInt("Sort", "Order"), 1);
  EXPECT_EQ(IniInt("Setting", "Top"), 1);
  EXPECT_EQ(IniInt("Setting", "DeleteCheck"), 0);
  EXPECT_EQ(IniInt("Setting", "Toolbar"), 1);
  EXPECT_EQ(IniInt("Setting", "DeleteMsgFromAllHeader"), 1);
  // A new file: whole mails up to 1 MiB, 200 body lines of larger ones.
  EXPECT_EQ(IniInt("Message", "Line"), -1);
  EXPECT_EQ(IniInt("Message", "LargeLine"), 200);
  EXPECT_EQ(IniInt("Message", "Viewer"), 2);

  ASSERT_NE(Open(), nullptr);
  RECT r;
  GetWindowRect(list_, &r);
  EXPECT_EQ(r.left, 60);
  EXPECT_EQ(r.top, 70);
  EXPECT_EQ(r.right, 520);
  EXPECT_EQ(r.bottom, 440);
  EXPECT_EQ(SendMessageA(View(), LVM_GETCOLUMNWIDTH, 1, 0), 77);
  EXPECT_EQ(Order(), (std::vector<LPARAM>{3, 0, 1, 2}));  // by size, ascending as last used
  EXPECT_TRUE(GetWindowLongPtrA(list_, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_FALSE(SendMessageA(GetDlgItem(list_, kToolbarId), TB_ISBUTTONCHECKED, 40005, 0));
  ClickColumn(0);  // the pending direction was restored: descending now
  EXPECT_EQ(IniInt("Sort", "Order"), 1);
  const std::vector<Row> rows = Rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_GE(rows[0].columns[0], rows[1].columns[0]);
}

TEST_F(ListWindowTest, MinimisedCloseSavesTheRestoredRectangle) {
  ASSERT_NE(Open(), nullptr);
  SetWindowPos(list_, nullptr, 100, 110, 500, 410, SWP_NOZORDER);
  ShowWindow(list_, SW_MINIMIZE);
  PumpFor(200);
  ASSERT_TRUE(IsIconic(list_));
  Close();
  EXPECT_EQ(IniInt("Window", "Left"), 100);
  EXPECT_EQ(IniInt("Window", "Top"), 110);
  EXPECT_EQ(IniInt("Window", "Right"), 600);
  EXPECT_EQ(IniInt("Window", "Bottom"), 520);
}

TEST_F(ListWindowTest, StoredRectangleOffTheDesktopFallsBack) {
  WritePrivateProfileStringA("Window", "Left", "-20", Ini().c_str());
  ASSERT_NE(Open(), nullptr);
  RECT r;
  GetWindowRect(list_, &r);
  EXPECT_EQ(r.left, 50);
  EXPECT_EQ(r.top, 50);
  EXPECT_EQ(r.right, 350);
  EXPECT_EQ(r.bottom, 200);
}

TEST_F(ListWindowTest, WithoutToolbarTheListFillsTheWindow) {
  WritePrivateProfileStringA("Setting", "Toolbar", "0", Ini().c_str());
  ASSERT_NE(Open(), nullptr);
  EXPECT_EQ(GetDlgItem(list_, kToolbarId), nullptr);
  RECT client, view;
  GetClientRect(list_, &client);
  GetWindowRect(View(), &view);
  MapWindowPoints(nullptr, list_, reinterpret_cast<POINT*>(&view), 2);
  EXPECT_EQ(view.top, 0);
  EXPECT_EQ(view.bottom, client.bottom);
  EXPECT_EQ(view.right, client.right);
  Close();
  EXPECT_EQ(IniInt("Setting", "Toolbar"), 0);
}

TEST_F(ListWindowTest, DataFolderThatIsNoFolderMeansTheLibraryFolder) {
  const std::string own_ini = ExeFolder() + "\\Quillbox.ini";
  DeleteFileA(own_ini.c_str());
  for (const std::string& folder : {data_ + "\\Account.dat", std::string(), std::string(300, 'x')}) {
    ASSERT_NE(Open(folder, 0), nullptr);
    EXPECT_EQ(SendMessageA(View(), LVM_GETITEMCOUNT, 0, 0), 0);  // no accounts: an empty list
    Close();
    EXPECT_NE(ReadBytes(own_ini), "") << "Quillbox.ini written beside the library for '" << folder.substr(0, 40)
                                      << "'";
    DeleteFileA(own_ini.c_str());
  }
  EXPECT_EQ(ReadBytes(Ini()), "");
}

TEST_F(ListWindowTest, ReadOnlyDataFolderIsStillTheDataFolder) {
  SetFileAttributesA(data_.c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
  ASSERT_NE(Open(), nullptr);
  EXPECT_EQ(SendMessageA(View(), LVM_GETITEMCOUNT, 0, 0), 4);
  Close();
  SetFileAttributesA(data_.c_str(), FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(ListWindowTest, SelectAllAndRedecodeWithEuc) {
  ASSERT_NE(Open(), nullptr);
  const int row = IndexOfItem(1);
  ASSERT_GE(row, 0);
  Select(row);
  SendMessageA(list_, WM_COMMAND, 40010, 0);  // EUC
  EXPECT_EQ(Rows()[row].columns[0], "テスト");
  EXPECT_EQ(Rows()[row].columns[1], "b@example.jp");
  // The error row is skipped; the JIS row decodes as JIS again.
  SendMessageA(list_, WM_COMMAND, 40038, 0);  // select all
  EXPECT_EQ(SendMessageA(View(), LVM_GETSELECTEDCOUNT, 0, 0), 4);
  SendMessageA(list_, WM_COMMAND, 40008, 0);  // JIS
  const std::vector<Row> rows = Rows();
  EXPECT_EQ(rows[IndexOfItem(0)].columns[0], "テスト");
  EXPECT_EQ(rows[IndexOfItem(3)].columns[0], "接続に失敗しました。");
}

TEST_F(ListWindowTest, KeysTooltipsAndExports) {
  ASSERT_NE(Open(), nullptr);
  // Ctrl+A in the list view selects every row.
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  NMLVKEYDOWN key{};
  key.hdr.hwndFrom = View();
  key.hdr.idFrom = kListViewId;
  key.hdr.code = LVN_KEYDOWN;
  key.wVKey = 'A';
  SendMessageA(list_, WM_NOTIFY, kListViewId, reinterpret_cast<LPARAM>(&key));
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  EXPECT_EQ(SendMessageA(View(), LVM_GETSELECTEDCOUNT, 0, 0), 4);
  // Without Ctrl, A does nothing of the kind.
  Select(0);
  SendMessageA(list_, WM_NOTIFY, kListViewId, reinterpret_cast<LPARAM>(&key));
  EXPECT_EQ(SendMessageA(View(), LVM_GETSELECTEDCOUNT, 0, 0), 1);

  // Tooltips come from the library's string table, by command id.
  const struct {
    UINT id;
    const char* text;
  } tips[] = {{40006, "最前面"}, {1004, "メールサーバーからの削除"}, {40011, "UTF-7"}, {40028, "外部プログラムの実行"}, {2, "閉じる"}};
  for (const auto& tip : tips) {
    NMTTDISPINFOA info{};
    info.hdr.hwndFrom = nullptr;
    info.hdr.idFrom = tip.id;
    info.hdr.code = TTN_NEEDTEXTA;
    SendMessageA(list_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_EQ(info.hinst, library_);
    char text[100] = {};
    LoadStringA(info.hinst, static_cast<UINT>(reinterpret_cast<UINT_PTR>(info.lpszText)), text, sizeof text);
    EXPECT_STREQ(text, tip.text);
  }

  using IntFn = int (*)();
  auto fn = reinterpret_cast<IntFn>(reinterpret_cast<void*>(GetProcAddress(library_, "fnQuillbox")));
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(fn(), 42);
  const int* n = reinterpret_cast<const int*>(GetProcAddress(library_, "nQuillbox"));
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(*n, 0);
}

// The header dialog runs modally; a timer inside its loop reads and closes it.
std::string g_header_title, g_header_text;
HWND g_header_owner = nullptr;

BOOL CALLBACK FindHeaderDialog(HWND window, LPARAM found) {
  char cls[32] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (std::string(cls) == "#32770" && GetWindow(window, GW_OWNER) == g_header_owner) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK ReadHeaderDialog(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindHeaderDialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog) return;
  KillTimer(nullptr, id);
  char text[4096] = {};
  GetWindowTextA(dialog, text, sizeof text);
  g_header_title = text;
  GetDlgItemTextA(dialog, 1007, text, sizeof text);
  g_header_text = text;
  RECT r;
  GetWindowRect(dialog, &r);
  g_header_title += "|" + std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(ListWindowTest, HeaderDialogShowsTheStoredHeader) {
  ASSERT_NE(Open(), nullptr);
  Select(IndexOfItem(2));
  g_header_owner = list_;
  g_header_title.clear();
  g_header_text.clear();
  SetTimer(nullptr, 0, 100, ReadHeaderDialog);
  SendMessageA(list_, WM_COMMAND, 40014, 0);  // returns when the dialog is closed
  EXPECT_EQ(g_header_title, "plain|400x300");
  EXPECT_EQ(g_header_text, "Subject: plain\r\nStatus: RO\r\nDate: 2 Oct 2007 08:00:00\r\n\r\n.\r\n");
  EXPECT_TRUE(IsWindow(list_));
}

// The context menu runs its own loop; a timer inside it reads the check marks
// of the menu and closes it.
UINT g_menu_state[4];
bool g_menu_seen = false;

void CALLBACK ReadContextMenu(HWND, UINT, UINT_PTR id, DWORD) {
  HWND menu_window = FindWindowA("#32768", nullptr);
  if (!menu_window) return;
  KillTimer(nullptr, id);
  const HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menu_window, 0x01E1 /* MN_GETHMENU */, 0, 0));
  const UINT ids[4] = {40025, 40026, 40027, 40007};
  for (int i = 0; i < 4; ++i) g_menu_state[i] = GetMenuState(menu, ids[i], MF_BYCOMMAND);
  g_menu_seen = true;
  EndMenu();
}

TEST_F(ListWindowTest, ContextMenuMarksFollowTheMenuNotTheToolbar) {
  ASSERT_NE(Open(), nullptr);
  const HWND toolbar = GetDlgItem(list_, kToolbarId);
  // 最前面 on the toolbar: the setting and the window change, the menu's mark
  // stays as it was.
  SendMessageA(toolbar, TB_CHECKBUTTON, 40006, MAKELONG(TRUE, 0));
  SendMessageA(list_, WM_COMMAND, 40006, 0);
  EXPECT_TRUE(GetWindowLongPtrA(list_, GWL_EXSTYLE) & WS_EX_TOPMOST);
  // 削除ヘッダー保存 from the menu: the menu's mark and the toolbar follow.
  SendMessageA(list_, WM_COMMAND, 40026, 0);
  EXPECT_TRUE(SendMessageA(toolbar, TB_ISBUTTONCHECKED, 40015, 0));

  g_menu_seen = false;
  SetTimer(nullptr, 0, 100, ReadContextMenu);
  NMHDR click{View(), static_cast<UINT_PTR>(kListViewId), static_cast<UINT>(NM_RCLICK)};
  SendMessageA(list_, WM_NOTIFY, kListViewId, reinterpret_cast<LPARAM>(&click));  // returns when the menu closes
  ASSERT_TRUE(g_menu_seen);
  EXPECT_TRUE(g_menu_state[0] & MF_CHECKED);    // 削除確認 (DeleteCheck 1)
  EXPECT_TRUE(g_menu_state[1] & MF_CHECKED);    // 削除ヘッダー保存, flipped from the menu
  EXPECT_FALSE(g_menu_state[2] & MF_CHECKED);   // 最前面: switched on the toolbar only
  EXPECT_TRUE(g_menu_state[3] & MF_GRAYED);     // 切断 stays grayed
  Close();
  EXPECT_EQ(IniInt("Setting", "Top"), 1);
  EXPECT_EQ(IniInt("Setting", "DeleteMsgSave"), 1);
}

// A data folder left by a real check of Tidewell.exe against Dovecot holding
// the Japanese fixture mails (tests/servers/mail), given by the end-to-end
// test in TIDEWELL_LIST_DATA with the account count in TIDEWELL_LIST_COUNT.
TEST_F(ListWindowTest, DataFolderOfARealCheck) {
  const char* folder = std::getenv("TIDEWELL_LIST_DATA");
  const char* count = std::getenv("TIDEWELL_LIST_COUNT");
  if (!folder || !count) GTEST_SKIP() << "run by the end-to-end test after a real check";
  ASSERT_NE(Open(folder, std::atoi(count)), nullptr);
  const std::vector<Row> rows = Rows();
  std::map<std::string, Row> by_subject;
  for (const Row& row : rows) by_subject[row.columns[0]] = row;
  const struct {
    const char* subject;
    const char* from;
    const char* date;
  } expected[] = {
      {"会議の予定について", "山田太郎 <taro@example.jp>", "2024/1/2 09:15:00"},
      {"見積書送付のお知らせ", "佐藤花子 <hanako@example.jp>", "2024/1/3 18:30:00"},
      {"新年のご挨拶", "鈴木一郎 <ichiro@example.jp>", "2024/1/4 07:00:00"},
      {"お昼ご飯 どうしますか", "高橋次郎 <jiro@example.jp>", "2024/1/5 12:00:00"},
      {"既読のメール", "田中三郎 <saburo@example.jp>", "2024/1/6 20:45:00"},
  };
  const std::string hashes = ReadBytes(std::string(folder) + "\\Mail\\hash.dat");
  for (const auto& e : expected) {
    SCOPED_TRACE(e.subject);
    ASSERT_EQ(by_subject.count(e.subject), 1u);
    const Row& row = by_subject[e.subject];
    EXPECT_EQ(row.columns[1], e.from);
    EXPECT_EQ(row.columns[2], e.date);
    EXPECT_EQ(row.columns[3], "1 KB");
    EXPECT_EQ(row.image, 0);
    // The list's header hash is the one the check recorded.
    EXPECT_NE(hashes.find(row.columns[9] + "\n"), std::string::npos) << row.columns[9];
  }
  int errors = 0;
  for (const Row& row : rows) errors += row.image == 2;
  EXPECT_EQ(errors, static_cast<int>(rows.size()) - 5);
  ClickColumn(2);
  const std::vector<Row> sorted = Rows();
  EXPECT_EQ(sorted.back().columns[0], "既読のメール");
}

}  // namespace
