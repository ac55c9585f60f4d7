// The settings sheet and the account dialog under Wine, in-process: the sheet
// runs modally on the test's main thread while a second thread drives its
// controls with window messages, as a user would; the files it leaves are
// then compared byte for byte.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "settings_res.h"
#include "common/paths.h"
#include "common/win32/dpapi_protector.h"
#include "common/win32/inkwell_dll.h"
#include "common/oauth/signin_flow.h"
#include "tidewell/settings/account_page.h"
#include "tidewell/settings/account_file.h"
#include "tidewell/settings/sheet_rules.h"
#include "tidewell/settings/win32/settings_sheet.h"
#include "tidewell/settings/win32/win32_profile.h"
#include "win32/win_temp_folder.h"

namespace tidewell {
namespace {

std::string ReadBytes(const std::string& path) {
  std::string out;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return out;
  char buf[4096];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) out.append(buf, n);
  CloseHandle(h);
  return out;
}

// ---- the driving thread ------------------------------------------------------

// Runs on its own thread; every wait gives up after a few seconds and every
// failed expectation is recorded for the main thread to report.
class Driver {
 public:
  explicit Driver(DWORD ui_thread) : ui_thread_(ui_thread) {}

  std::vector<std::string> failures;

  void Check(bool ok, const std::string& what) {
    if (!ok) failures.push_back(what);
  }

  // A visible top-level dialog of the sheet's thread with this title.
  HWND Top(const char* title, DWORD ms = 5000) {
    return WaitFor(
        [&]() -> HWND {
          HWND w = FindWindowA("#32770", title);
          return w && IsWindowVisible(w) ? w : nullptr;
        },
        ms);
  }
  HWND Sheet() { return Top("設定"); }

  HWND Page(int n) {
    HWND sheet = Sheet();
    if (!sheet) return nullptr;
    SendMessageA(sheet, PSM_SETCURSEL, n, 0);
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
  }

  // A message box of the sheet's thread: its text (and it is closed with OK),
  // or "" when none came.
  std::string TakeMessageBox(DWORD ms = 5000) {
    std::string text;
    HWND box = WaitFor([&] { return FindMessageBox(&text); }, ms);
    if (box) {
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      WaitFor([&]() -> HWND { return IsWindow(box) ? nullptr : box; }, ms);
    }
    return text;
  }
  bool NoMessageBox() {
    std::string text;
    Sleep(300);
    return FindMessageBox(&text) == nullptr;
  }

  static void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
  // For a click that opens a modal window: the sender must not wait for it.
  static void ClickAsync(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
  static void SetText(HWND dialog, int id, const std::string& text) {
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  static std::string Text(HWND dialog, int id) {
    char text[1024] = "";
    SendMessageA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
  }
  static bool Checked(HWND dialog, int id) {
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  static bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
  void Press(int button) {
    if (HWND sheet = Sheet()) PostMessageA(sheet, PSM_PRESSBUTTON, button, 0);
  }
  bool SheetClosed(DWORD ms = 5000) {
    return WaitFor([&]() -> HWND { return FindWindowA("#32770", "設定") ? nullptr : HWND(1); }, ms) != nullptr;
  }

  // Rows of the account list view (first column and every column of a row).
  static int Rows(HWND page) {
    return static_cast<int>(SendDlgItemMessageA(page, IDC_ACCOUNT_LIST, LVM_GETITEMCOUNT, 0, 0));
  }
  static std::string Cell(HWND page, int row, int column) {
    char text[512] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendDlgItemMessageA(page, IDC_ACCOUNT_LIST, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
  }
  static void Select(HWND page, int row) {
    HWND view = GetDlgItem(page, IDC_ACCOUNT_LIST);
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(view, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    SendMessageA(view, LVM_SETSELECTIONMARK, 0, row);
  }

  // Fills the account dialog and presses its OK; returns the message box
  // text it answered with ("" when it closed).
  struct Entry {
    std::string name, user = "u", password = "p", server = "127.0.0.1", port = "110", priority = "0";
  };
  std::string FillAccount(const Entry& e, bool expect_close = true) {
    HWND dialog = Top("アカウント");
    Check(dialog != nullptr, "account dialog opened for " + e.name);
    if (!dialog) return "(no dialog)";
    SetText(dialog, IDC_ACC_NAME, e.name);
    SetText(dialog, IDC_ACC_USER, e.user);
    SetText(dialog, IDC_ACC_PASSWORD, e.password);
    SetText(dialog, IDC_ACC_SERVER, e.server);
    SetText(dialog, IDC_ACC_PORT, e.port);
    SetText(dialog, IDC_ACC_PRIORITY, e.priority);
    ClickAsync(dialog, IDOK);
    if (expect_close) {
      const bool closed = WaitFor([&]() -> HWND { return IsWindow(dialog) ? nullptr : HWND(1); }, 5000) != nullptr;
      Check(closed, "account dialog closed for " + e.name);
      return "";
    }
    const std::string text = TakeMessageBox();
    Check(IsWindow(dialog) != FALSE, "account dialog stays open after: " + text);
    return text;
  }
  // 追加 on the page, the account dialog filled with name and the defaults, OK.
  void AddAccount(HWND page, const std::string& name) {
    ClickAsync(page, IDC_ACCOUNT_ADD);
    Entry e;
    e.name = name;
    FillAccount(e);
  }
  void CancelAccount() {
    HWND dialog = Top("アカウント");
    if (dialog) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    WaitFor([&]() -> HWND { return FindWindowA("#32770", "アカウント") ? nullptr : HWND(1); }, 5000);
  }

  // The open-file dialog of the sheet's thread: a visible dialog holding the
  // file name box (combo 0x47C or edit 0x480).
  HWND FileDialog(DWORD ms = 5000) {
    return WaitFor(
        [&]() -> HWND {
          BoxSearch search;
          EnumThreadWindows(ui_thread_, &FindFileDialog, reinterpret_cast<LPARAM>(&search));
          return search.found;
        },
        ms);
  }
  // The icon picker of the sheet's thread: a visible dialog with a list box
  // of icons and an edit for the file.
  HWND IconPicker(DWORD ms = 5000) {
    return WaitFor(
        [&]() -> HWND {
          BoxSearch search;
          EnumThreadWindows(ui_thread_, &FindIconPicker, reinterpret_cast<LPARAM>(&search));
          return search.found;
        },
        ms);
  }
  static HWND ChildOfClass(HWND parent, const char* class_name) {
    return FindWindowExA(parent, nullptr, class_name, nullptr);
  }
  bool FileDialogGone(DWORD ms = 5000) {
    return WaitFor([&]() -> HWND { return FileDialog(0) ? nullptr : HWND(1); }, ms) != nullptr;
  }
  static HWND FileNameBox(HWND dialog) {
    HWND box = GetDlgItem(dialog, 0x47C);
    return box ? box : GetDlgItem(dialog, 0x480);
  }

  // Whatever is still open at the end (after a failed step) is cancelled, so
  // that the sheet's modal run returns.
  void CloseEverything() {
    for (int i = 0; i < 50 && FindWindowA("#32770", "設定"); ++i) {
      std::string text;
      if (HWND box = FindMessageBox(&text)) PostMessageA(box, WM_COMMAND, IDOK, 0);
      if (HWND dialog = FindWindowA("#32770", "アカウント")) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
      if (HWND dialog = FileDialog(0)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
      if (HWND dialog = IconPicker(0)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
      if (HWND sheet = FindWindowA("#32770", "設定")) PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
      Sleep(100);
    }
  }

 private:
  static HWND WaitFor(const std::function<HWND()>& find, DWORD ms) {
    const DWORD until = GetTickCount() + ms;
    for (;;) {
      if (HWND w = find()) return w;
      if (static_cast<LONG>(GetTickCount() - until) > 0) return nullptr;
      Sleep(20);
    }
  }

  struct BoxSearch {
    HWND found = nullptr;
    std::string text;
  };
  static BOOL CALLBACK StaticText(HWND child, LPARAM lp) {
    char cls[32] = "";
    GetClassNameA(child, cls, sizeof cls);
    char text[1024] = "";
    GetWindowTextA(child, text, sizeof text);
    if (lstrcmpiA(cls, "Static") == 0 && text[0]) reinterpret_cast<BoxSearch*>(lp)->text = text;
    return TRUE;
  }
  // A message box: a dialog without a title whose texts are static ones.
  static BOOL CALLBACK FindBox(HWND w, LPARAM lp) {
    char cls[32] = "", title[64] = "x";
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, title, sizeof title);
    if (lstrcmpA(cls, "#32770") != 0 || title[0] != '\0' || !IsWindowVisible(w)) return TRUE;
    auto* search = reinterpret_cast<BoxSearch*>(lp);
    EnumChildWindows(w, &StaticText, lp);
    search->found = w;
    return FALSE;
  }
  static BOOL CALLBACK FindIconPicker(HWND w, LPARAM lp) {
    char cls[32] = "";
    GetClassNameA(w, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(w) || !ChildOfClass(w, "ListBox") ||
        !ChildOfClass(w, "Edit"))
      return TRUE;
    reinterpret_cast<BoxSearch*>(lp)->found = w;
    return FALSE;
  }
  static BOOL CALLBACK FindFileDialog(HWND w, LPARAM lp) {
    char cls[32] = "";
    GetClassNameA(w, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(w) || !FileNameBox(w)) return TRUE;
    reinterpret_cast<BoxSearch*>(lp)->found = w;
    return FALSE;
  }
  HWND FindMessageBox(std::string* text) {
    BoxSearch search;
    EnumThreadWindows(ui_thread_, &FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found) *text = search.text;
    return search.found;
  }

  DWORD ui_thread_;
};

// Shows the sheet for folder on this thread while script drives it from a
// second thread; returns the sheet's flags. Failures of the script are
// reported here.
SheetFlags RunSheet(const std::string& folder, const std::function<void(Driver&)>& script) {
  Driver driver(GetCurrentThreadId());
  struct Start {
    Driver* driver;
    const std::function<void(Driver&)>* script;
  } start{&driver, &script};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](LPVOID p) -> DWORD {
        auto* s = static_cast<Start*>(p);
        (*s->script)(*s->driver);
        s->driver->CloseEverything();
        return 0;
      },
      &start, 0, nullptr);
  InkwellDllCodec codec;
  CSetDlg sheet(GetModuleHandleA(nullptr), folder, SystemProfile(), codec);
  sheet.DoModal();
  WaitForSingleObject(thread, 60000);
  CloseHandle(thread);
  for (const std::string& f : driver.failures) ADD_FAILURE() << f;
  return sheet.flags();
}

std::string Ini(const std::string& folder) { return ReadBytes(SettingsFilePath(folder)); }

constexpr char kMessageDefaults[] =
    "[Message]\r\nTimeCheck=0\r\nTime=10\r\nStart=0\r\nEnd=0\r\nErrorDisregard=0\r\nMsgCheck=0\r\nNewMessage=0\r\n";

// ---- Tidewell.ini pages --------------------------------------------------------

TEST(SettingsSheet, OkWithoutChangesRewritesTheMessagePageOnly) {
  WinTempFolder dir;
  SheetFlags flags = RunSheet(dir.path(), [](Driver& d) {
    HWND page = d.Page(0);
    d.Check(page != nullptr, "page 1 shown");
    d.Check(!d.Enabled(page, IDC_TIME) && !d.Enabled(page, IDC_TIME_SPIN), "interval disabled without 1000");
    d.Check(!d.Enabled(page, IDC_ERROR_DISREGARD), "1007 disabled without 1004");
    d.Check(d.Text(page, IDC_TIME) == "10", "default interval shown");
    d.Press(PSBTN_OK);
    d.Check(d.SheetClosed(), "sheet closed");
  });
  EXPECT_EQ(flags.message_applied, 1);
  EXPECT_EQ(flags.message_changed + flags.account_changed + flags.receive_changed + flags.icon_changed +
                flags.click_changed,
            0);
  EXPECT_FALSE(EngineReloadsAfterSheet(flags));
  EXPECT_EQ(Ini(dir.path()), kMessageDefaults);
  EXPECT_FALSE(Exists(AccountFilePath(dir.path())));  // the account page was never shown
}

TEST(SettingsSheet, EveryPageEditedAndWrittenWhole) {
  WinTempFolder dir;
  // A stored interval past the up-down range, ErrorDisregard on, a list
  // action for new mail (ReceiveClick=0).
  ASSERT_TRUE(WriteBytes(SettingsFilePath(dir.path()),
                         "[Message]\r\nTimeCheck=1\r\nTime=5000\r\nEnd=1\r\nErrorDisregard=1\r\n"
                         "[Icon]\r\nNormalCheck=1\r\nNormal=C:\\none.ico\r\nNormalNumber=3\r\nReceiveClick=0\r\n"));
  SheetFlags flags = RunSheet(dir.path(), [](Driver& d) {
    HWND p1 = d.Page(0);
    d.Check(d.Text(p1, IDC_TIME) == "1440", "stored 5000 shown as 1440, got " + d.Text(p1, IDC_TIME));
    d.Check(d.Enabled(p1, IDC_TIME), "interval enabled with 1000");
    d.Check(d.Checked(p1, IDC_ERROR_DISREGARD) && d.Enabled(p1, IDC_ERROR_DISREGARD), "1007 on and enabled");
    d.Click(p1, IDC_END);  // off: 1007 disabled but keeps its state
    d.Check(!d.Enabled(p1, IDC_ERROR_DISREGARD) && d.Checked(p1, IDC_ERROR_DISREGARD), "1007 kept while disabled");
    d.Click(p1, IDC_NEW_MESSAGE);

    HWND p3 = d.Page(1);
    d.Check(!d.Enabled(p3, IDC_SOUND) && !d.Enabled(p3, IDC_EXEC_DUPLICATE), "receive groups start disabled");
    d.Check(d.Checked(p3, IDC_BALLOON), "the balloon starts on without its key");
    d.Click(p3, IDC_BALLOON);
    d.Click(p3, IDC_SOUND_CHECK);
    d.Check(d.Enabled(p3, IDC_SOUND) && d.Enabled(p3, IDC_SOUND_BROWSE), "sound group enabled");
    d.SetText(p3, IDC_SOUND, "C:\\音\\表.wav");
    d.Click(p3, IDC_EXEC_CHECK);
    d.Check(d.Enabled(p3, IDC_EXEC_ICON_CHANGE) && d.Enabled(p3, IDC_EXEC_CMDLINE), "program group enabled");
    d.SetText(p3, IDC_EXEC, "C:\\bin\\mailer.exe");
    d.SetText(p3, IDC_EXEC_CMDLINE, "/new \"a b\"");
    d.SetText(p3, IDC_EXEC_WORK_FOLDER, "C:\\work");
    d.Click(p3, IDC_EXEC_DUPLICATE);
    d.Click(p3, IDC_LIST_OPEN);

    HWND p4 = d.Page(2);
    d.Check(d.Checked(p4, IDC_NORMAL_CHECK) && d.Enabled(p4, IDC_NORMAL_PATH), "normal icon state on");
    d.Check(!d.Enabled(p4, IDC_RECEIVE_PATH), "new-mail icon path disabled");
    d.Click(p4, IDC_CONNECT_CHECK);
    d.SetText(p4, IDC_CONNECT_PATH, "C:\\windows\\system32\\shell32.dll");

    HWND p5 = d.Page(3);
    d.Check(d.Checked(p5, IDC_NORMAL_CLICK_CHECK), "NormalClick 0 on 1046");
    d.Check(d.Checked(p5, IDC_RECEIVE_CLICK_LIST) && !d.Checked(p5, IDC_RECEIVE_CLICK_CHECK),
            "ReceiveClick 0 on 1049, not on the group's first button");
    d.Click(p5, IDC_NORMAL_CLICK_LIST);
    d.Click(p5, IDC_RECEIVE_CLICK_EXEC);

    d.Press(PSBTN_OK);
    d.Check(d.SheetClosed(), "sheet closed");
  });
  EXPECT_TRUE(EngineReloadsAfterSheet(flags));
  EXPECT_EQ(flags.message_changed, 1);
  EXPECT_EQ(flags.receive_changed, 1);
  EXPECT_EQ(flags.icon_changed, 1);
  EXPECT_EQ(flags.click_changed, 1);
  EXPECT_EQ(flags.account_changed, 0);
  EXPECT_EQ(Ini(dir.path()),
            "[Message]\r\nTimeCheck=1\r\nTime=1440\r\nEnd=0\r\nErrorDisregard=1\r\nStart=0\r\nMsgCheck=0\r\n"
            "NewMessage=1\r\nBalloon=0\r\n"
            "[Icon]\r\nNormalCheck=1\r\nNormal=C:\\none.ico\r\nNormalNumber=3\r\nReceiveClick=2\r\n"
            "ReceiveCheck=0\r\nReceive=\r\nReceiveNumber=0\r\nConnectCheck=1\r\n"
            "Connect=C:\\windows\\system32\\shell32.dll\r\nConnectNumber=0\r\nNormalClick=1\r\n"
            "[Receive]\r\nSoundCheck=1\r\nSound=C:\\音\\表.wav\r\nExecCheck=1\r\nExec=C:\\bin\\mailer.exe\r\n"
            "ExecCmdline=/new \"a b\"\r\nExecWorkFolder=C:\\work\r\nExecDuplicate=1\r\nExecIconChange=0\r\n"
            "ListOpen=1\r\n");
}

TEST(SettingsSheet, NonNumericIntervalKeepsTheSheetOpen) {
  WinTempFolder dir;
  SheetFlags flags = RunSheet(dir.path(), [](Driver& d) {
    HWND p1 = d.Page(0);
    d.Click(p1, IDC_TIME_CHECK);
    d.SetText(p1, IDC_TIME, "abc");
    d.Press(PSBTN_OK);
    d.Check(d.TakeMessageBox() == kIntegerText, "integer message shown");
    d.Check(d.Sheet() != nullptr, "sheet still open");
    d.SetText(p1, IDC_TIME, "-3");  // typed values are stored as typed
    // A text past its edit's limit (only possible from outside the keyboard).
    HWND p3 = d.Page(1);
    d.SetText(p3, IDC_EXEC_CMDLINE, std::string(1001, 'x'));
    d.Press(PSBTN_OK);
    d.Check(d.TakeMessageBox() == TooManyCharsText(1000), "over-long command line refused");
    d.SetText(p3, IDC_EXEC_CMDLINE, std::string(1000, 'x'));
    d.Press(PSBTN_OK);
    d.Check(d.SheetClosed(), "sheet closed after a number");
  });
  EXPECT_TRUE(EngineReloadsAfterSheet(flags));
  EXPECT_EQ(Ini(dir.path()),
            "[Message]\r\nTimeCheck=1\r\nTime=-3\r\nStart=0\r\nEnd=0\r\nErrorDisregard=0\r\nMsgCheck=0\r\n"
            "NewMessage=0\r\nBalloon=1\r\n"
            "[Receive]\r\nSoundCheck=0\r\nSound=\r\nExecCheck=0\r\nExec=\r\nExecCmdline=" +
                std::string(1000, 'x') +
                "\r\nExecWorkFolder=\r\nExecDuplicate=0\r\nExecIconChange=0\r\nListOpen=0\r\n");
}

// "参照" starts the open-file dialog at the edit's folder with its file name;
// the chosen file's full path replaces the edit's text and marks the page.
TEST(SettingsSheet, BrowseReplacesTheEditWithTheChosenFile) {
  WinTempFolder dir;
  ASSERT_TRUE(CreateDirectoryA((dir / "sounds").c_str(), nullptr));
  const std::string old_sound = dir / "sounds\\old.wav";
  const std::string new_sound = dir / "sounds\\new.wav";
  ASSERT_TRUE(WriteBytes(old_sound, "RIFF"));
  ASSERT_TRUE(WriteBytes(new_sound, "RIFF"));
  ASSERT_TRUE(WriteBytes(SettingsFilePath(dir.path()),
                         "[Receive]\r\nSoundCheck=1\r\nSound=" + old_sound + "\r\n"));
  SheetFlags flags = RunSheet(dir.path(), [&](Driver& d) {
    HWND page = d.Page(1);
    d.ClickAsync(page, IDC_SOUND_BROWSE);
    HWND dialog = d.FileDialog();
    d.Check(dialog != nullptr, "open-file dialog shown");
    if (!dialog) return;
    char name[MAX_PATH] = "";
    GetWindowTextA(Driver::FileNameBox(dialog), name, sizeof name);
    d.Check(std::string(name) == "old.wav", std::string("proposed name old.wav, got ") + name);
    SendMessageA(Driver::FileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("new.wav"));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    d.Check(d.FileDialogGone(), "file dialog closed");
    d.Check(d.Text(page, IDC_SOUND) == new_sound, "edit holds the chosen path: " + d.Text(page, IDC_SOUND));
    d.Press(PSBTN_OK);
    d.Check(d.SheetClosed(), "sheet closed");
  });
  EXPECT_EQ(flags.receive_changed, 1);
  EXPECT_TRUE(EngineReloadsAfterSheet(flags));
}

// The icon picker opens on the state's file; choosing an icon of the same
// file leaves the path text (and the page's changed flag) as it was, and OK
// writes the index. Where the shell's picker cannot be shown (this Wine), the
// open-file dialog for icon files stands in and keeps the index of the same
// file. A path longer than the picker's buffer starts it without a path.
TEST(SettingsSheet, IconPickerChoosesAnIndexOfTheSameFile) {
  WinTempFolder dir;
  char system[MAX_PATH];
  GetSystemDirectoryA(system, sizeof system);
  const std::string shell32 = std::string(system) + "\\shell32.dll";
  ASSERT_TRUE(WriteBytes(SettingsFilePath(dir.path()),
                         "[Icon]\r\nConnectCheck=1\r\nConnect=" + shell32 + "\r\nConnectNumber=3\r\n"
                         "ReceiveCheck=1\r\nReceive=" + std::string(300, 'r') + "\r\nReceiveNumber=2\r\n"));
  int expected_index = -1;
  SheetFlags flags = RunSheet(dir.path(), [&](Driver& d) {
    HWND page = d.Page(2);
    d.ClickAsync(page, IDC_CONNECT_PICK);
    HWND picker = nullptr, files = nullptr;
    for (int i = 0; i < 100 && !picker && !files; ++i) {
      picker = d.IconPicker(0);
      files = d.FileDialog(0);
      Sleep(50);
    }
    d.Check(picker || files, "a picker shown");
    char text[MAX_PATH] = "";
    if (picker) {
      GetWindowTextA(Driver::ChildOfClass(picker, "Edit"), text, sizeof text);
      d.Check(lstrcmpiA(text, shell32.c_str()) == 0, std::string("picker opened on the file, got ") + text);
      SendMessageA(Driver::ChildOfClass(picker, "ListBox"), LB_SETCURSEL, 5, 0);
      PostMessageA(picker, WM_COMMAND, IDOK, 0);
      expected_index = 5;
    } else if (files) {
      GetWindowTextA(Driver::FileNameBox(files), text, sizeof text);
      d.Check(std::string(text) == "shell32.dll", std::string("file dialog on the file, got ") + text);
      SendMessageA(Driver::FileNameBox(files), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(shell32.c_str()));
      PostMessageA(files, WM_COMMAND, IDOK, 0);
      expected_index = 3;
    }
    d.Check(d.FileDialogGone() && !d.IconPicker(300), "picker closed");
    d.Check(d.Text(page, IDC_CONNECT_PATH) == shell32, "path unchanged");

    // An over-long path: the picker starts without it, and a cancel changes nothing.
    d.ClickAsync(page, IDC_RECEIVE_PICK);
    picker = files = nullptr;
    for (int i = 0; i < 100 && !picker && !files; ++i) {
      picker = d.IconPicker(0);
      files = d.FileDialog(0);
      Sleep(50);
    }
    d.Check(picker || files, "a picker shown for the long path");
    text[0] = 'x';
    if (picker) GetWindowTextA(Driver::ChildOfClass(picker, "Edit"), text, sizeof text);
    if (files) GetWindowTextA(Driver::FileNameBox(files), text, sizeof text);
    d.Check(text[0] == '\0', std::string("picker starts without the long path, got ") + text);
    if (picker) PostMessageA(picker, WM_COMMAND, IDCANCEL, 0);
    if (files) PostMessageA(files, WM_COMMAND, IDCANCEL, 0);
    d.Check(d.FileDialogGone() && !d.IconPicker(300), "picker cancelled");
    d.Check(d.Text(page, IDC_RECEIVE_PATH) == std::string(300, 'r'), "long path kept");
    d.Press(PSBTN_OK);
    d.Check(d.SheetClosed(), "sheet closed");
  });
  EXPECT_EQ(flags.icon_changed, 0);
  const std::string ini = Ini(dir.path());
  EXPECT_NE(ini.find("ConnectNumber=" + std::to_string(expected_index) + "\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("ReceiveNumber=2\r\n"), std::string::npos) << ini;
}

TEST(SettingsSheet, FailedSettingsWriteIsToldAndTheSheetStays) {
  WinTempFolder dir;
  // A folder where Tidewell.ini should be: every profile write fails.
  ASSERT_TRUE(CreateDirectoryA(SettingsFilePath(dir.path()).c_str(), nullptr));
  SheetFlags flags = RunSheet(dir.path(), [](Driver& d) {
    d.Page(0);
    d.Press(PSBTN_OK);
    d.Check(d.TakeMessageBox() == kSettingsSaveFailedText, "write failure told");
    d.Check(d.Sheet() != nullptr, "sheet stays open");
    d.Press(PSBTN_CANCEL);
    d.Check(d.SheetClosed(), "sheet cancelled");
  });
  // The sheet was applied (the page's apply ran), but nothing changed.
  EXPECT_EQ(flags.message_applied, 1);
  EXPECT_FALSE(EngineReloadsAfterSheet(flags));
}

// The pixels of one of the module's icons at 16 x 16.
std::string IconPixels(int id) {
  HICON icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0));
  if (!icon) return std::string();
  ICONINFO info = {};
  GetIconInfo(icon, &info);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 16;
  bi.bmiHeader.biHeight = 16;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  std::string pixels(16 * 16 * 4, '\0');
  HDC dc = GetDC(nullptr);
  GetDIBits(dc, info.hbmColor, 0, 16, &pixels[0], &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(icon);
  return pixels;
}

// Every icon of the program's resources is its own picture: icons of two
// resource files must not share image numbers.
TEST(SettingsSheet, DialogIconsAreTheirOwnPictures) {
  const int ids[] = {128, 131, 132, 133, IDI_BROWSE, IDI_ACCOUNT_DEFAULT};
  std::vector<std::string> pictures;
  for (int id : ids) {
    pictures.push_back(IconPixels(id));
    EXPECT_FALSE(pictures.back().empty()) << "icon " << id;
  }
  for (std::size_t i = 0; i < pictures.size(); ++i)
    for (std::size_t j = i + 1; j < pictures.size(); ++j)
      EXPECT_NE(pictures[i], pictures[j]) << "icons " << ids[i] << " and " << ids[j];
}

// ---- accounts --------------------------------------------------------------------

class SheetAccounts : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InkwellAvailable()) {
#ifdef TIDEWELL_HAVE_INKWELL2_DLL
      FAIL() << "Inkwell2.dll is not beside the test program";
#else
      GTEST_SKIP() << "Inkwell2.dll is not built in this tree";
#endif
    }
  }
  static CAccount Account(const std::string& name, int priority, const std::string& server = "127.0.0.1") {
    CAccount a;
    a.display_name = name;
    a.user_id = "u";
    a.password = "p";
    a.server = server;
    a.priority = priority;
    return a;
  }
  static std::string MailFile(const std::string& folder, const std::string& name) {
    return AccountMailFilePath(folder, InkwellMd5(name));
  }
};

TEST_F(SheetAccounts, AddChangeDeleteThroughTheDialog) {
  WinTempFolder dir;
  ASSERT_TRUE(CreateDirectoryA(MailFolderPath(dir.path()).c_str(), nullptr));
  ASSERT_TRUE(SaveAccounts(dir.path(), {Account("Home", 1), Account("Old", 2)}, SystemPasswordProtector()));
  ASSERT_TRUE(WriteBytes(MailFile(dir.path(), "Old"), "+OK\r\n"));
  ASSERT_TRUE(WriteBytes(MailFile(dir.path(), "Home"), "+OK\r\n"));
  std::string long_name;
  for (int i = 0; i < 75; ++i) long_name += "あ";  // 150 bytes
  SheetFlags flags = RunSheet(dir.path(), [&](Driver& d) {
    HWND page = d.Page(4);
    d.Check(d.Rows(page) == 2 && d.Cell(page, 0, 0) == "Home" && d.Cell(page, 1, 5) == "2", "list filled");

    // A new account starts empty with port 110, priority 0, groups disabled.
    d.ClickAsync(page, IDC_ACCOUNT_ADD);
    HWND dialog = d.Top("アカウント");
    d.Check(dialog && d.Text(dialog, IDC_ACC_PORT) == "110" && d.Text(dialog, IDC_ACC_PRIORITY) == "0",
            "new account defaults");
    d.Check(dialog && !d.Enabled(dialog, IDC_ACC_ICON_FILE) && !d.Enabled(dialog, IDC_ACC_SOUND_BROWSE) &&
                !d.Enabled(dialog, IDC_ACC_NO_DUPLICATE),
            "groups start disabled");
    Driver::Entry e;
    e.name = "Home";  // duplicate, and every other field empty: uniqueness first
    e.user = e.password = e.server = "";
    d.Check(d.FillAccount(e, false) == kDuplicateNameText, "duplicate refused");
    e.name = "New";
    d.Check(d.FillAccount(e, false) == kRequiredFieldsText, "empty fields refused");
    e.name = long_name;
    e.user = e.password = "x";
    e.server = "s";
    d.Check(d.FillAccount(e, false) == kDisplayNameTooLongText, "150-byte name refused");
    e.name = "New";
    e.port = "70000";
    d.Check(d.FillAccount(e, false) == RangeText(0, 65535), "port range refused");
    // TLS on connect moves port 110 to 995; "なし" moves it back; STLS keeps it.
    {
      HWND dialog = d.Top("アカウント");
      const auto choose = [&](int mode) {
        SendDlgItemMessageA(dialog, IDC_ACC_SECURITY, CB_SETCURSEL, mode, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ACC_SECURITY, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_ACC_SECURITY)));
        return Driver::Text(dialog, IDC_ACC_PORT);
      };
      Driver::SetText(dialog, IDC_ACC_PORT, "110");
      d.Check(choose(kTlsOnConnect) == "995", "TLS on connect moves 110 to 995");
      d.Check(choose(kTlsNone) == "110", "no security moves 995 back to 110");
      d.Check(choose(kTlsStls) == "110", "STLS keeps 110");
      d.Check(choose(kTlsOnConnect) == "995", "STLS to TLS on connect moves 110 to 995");
    }
    e.port = "995";
    e.priority = "1";
    d.FillAccount(e);
    d.Check(d.Rows(page) == 3 && d.Cell(page, 2, 0) == "New" && d.Cell(page, 2, 5) == "1" &&
                d.Cell(page, 0, 5) == "2" && d.Cell(page, 1, 5) == "3",
            "New takes rank 1, the others move down");

    // Rename "Old" to "home" (another letter case is another name), rank 1.
    Driver::Select(page, 1);
    d.ClickAsync(page, IDC_ACCOUNT_CHANGE);
    HWND change = d.Top("アカウント");
    d.Check(change && d.Text(change, IDC_ACC_NAME) == "Old" && d.Text(change, IDC_ACC_PRIORITY) == "3",
            "change dialog filled");
    Driver::Entry c;
    c.name = "home";
    c.priority = "1";
    d.FillAccount(c);
    d.Check(d.Cell(page, 1, 0) == "home" && d.Cell(page, 1, 5) == "1" && d.Cell(page, 0, 5) == "3" &&
                d.Cell(page, 2, 5) == "2",
            "renamed with rank 1");

    // Delete "Home".
    Driver::Select(page, 0);
    d.Click(page, IDC_ACCOUNT_DELETE);
    d.Check(d.Rows(page) == 2 && d.Cell(page, 0, 0) == "home", "Home deleted");
    d.Press(PSBTN_OK);
    d.Check(d.SheetClosed(), "sheet closed");
  });
  EXPECT_EQ(flags.account_changed, 1);
  EXPECT_TRUE(EngineReloadsAfterSheet(flags));
  CAccount home = Account("home", 1);
  CAccount added = Account("New", 2, "s");
  added.user_id = "x";
  added.password = "x";
  added.port = 995;
  added.tls_mode = kTlsOnConnect;
  // The password is sealed (fresh bytes each time): the file is compared
  // as the reader gives it back, and holds no password in clear.
  const std::string written = ReadBytes(AccountFilePath(dir.path()));
  EXPECT_EQ(written[9], 8);
  AccountList back;
  ASSERT_EQ(ParseAccountFile(written, AccountReader::kSettingsPage, back, &SystemPasswordProtector()),
            AccountFileStatus::kOk);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_TRUE(SameStoredFields(back[0], home));
  EXPECT_TRUE(SameStoredFields(back[1], added));
  EXPECT_EQ(written.find("\x01x\x01x"), std::string::npos);  // user ID "x", then password "x" in clear
  EXPECT_FALSE(Exists(MailFile(dir.path(), "Old")));
  EXPECT_FALSE(Exists(MailFile(dir.path(), "Home")));
}

TEST_F(SheetAccounts, CancelAfterDeleteKeepsAccountAndMailFile) {
  WinTempFolder dir;
  ASSERT_TRUE(CreateDirectoryA(MailFolderPath(dir.path()).c_str(), nullptr));
  ASSERT_TRUE(SaveAccounts(dir.path(), {Account("A", 0)}, SystemPasswordProtector()));
  const std::string before = ReadBytes(AccountFilePath(dir.path()));
  ASSERT_TRUE(WriteBytes(MailFile(dir.path(), "A"), "+OK\r\n"));
  SheetFlags flags = RunSheet(dir.path(), [](Driver& d) {
    HWND page = d.Page(4);
    Driver::Select(page, 0);
    d.Click(page, IDC_ACCOUNT_DELETE);
    d.Check(d.Rows(page) == 0, "deleted from the list");
    d.Press(PSBTN_CANCEL);
    d.Check(d.SheetClosed(), "sheet cancelled");
  });
  EXPECT_FALSE(EngineReloadsAfterSheet(flags));
  EXPECT_EQ(ReadBytes(AccountFilePath(dir.path())), before);
  EXPECT_TRUE(Exists(MailFile(dir.path(), "A")));
}

// The line under the list when the page keeps the file: shown, with its
// text, and the list view ends above it.
bool NoteShown(HWND page, const std::string& text) {
  HWND note = GetDlgItem(page, IDC_ACCOUNT_NOTE);
  if (!note || !IsWindowVisible(note) || Driver::Text(page, IDC_ACCOUNT_NOTE) != text) return false;
  RECT n{}, v{};
  GetWindowRect(note, &n);
  GetWindowRect(GetDlgItem(page, IDC_ACCOUNT_LIST), &v);
  return v.bottom <= n.top;
}

TEST_F(SheetAccounts, NewerFileIsToldAndKept) {
  WinTempFolder dir;
  const std::string newer("Tidewellv\x09\x01\x01X", 13);  // a version this build does not know
  ASSERT_TRUE(WriteBytes(AccountFilePath(dir.path()), newer));
  RunSheet(dir.path(), [](Driver& d) {
    HWND page = d.Page(4);
    d.Check(NoteShown(page, kAccountFileNewerNote), "newer file told under the list");
    d.Check(d.NoMessageBox(), "no message box");
    d.Check(!d.Enabled(page, IDC_ACCOUNT_ADD) && !d.Enabled(page, IDC_ACCOUNT_DELETE), "commands disabled");
    d.Press(PSBTN_APPLYNOW);
    d.Check(d.NoMessageBox(), "apply quiet");
    d.Press(PSBTN_OK);
    d.Check(d.SheetClosed(), "sheet closed");
  });
  EXPECT_EQ(ReadBytes(AccountFilePath(dir.path())), newer);
}

// Account.dat held open without sharing by another program (a backup or sync
// tool) while the sheet opens and OK is pressed: the page says so, offers no
// command and writes nothing; once the holder lets go the file is as it was,
// and the next showing of the sheet reads it.
TEST_F(SheetAccounts, FileHeldByAnotherProgramIsNeitherShownNorSaved) {
  WinTempFolder dir;
  ASSERT_TRUE(SaveAccounts(dir.path(), {Account("Home", 1), Account("Work", 0)}, SystemPasswordProtector()));
  const std::string before = ReadBytes(AccountFilePath(dir.path()));
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  std::string holder = exe;
  holder = holder.substr(0, holder.rfind('\\') + 1) + "hold_file.exe";
  const std::string name = "tidewell-hold-" + std::to_string(GetCurrentProcessId());
  HANDLE held = CreateEventA(nullptr, TRUE, FALSE, (name + "-held").c_str());
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, (name + "-release").c_str());
  std::string line = "\"" + holder + "\" " + name + " \"" + AccountFilePath(dir.path()) + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) << line;
  ASSERT_EQ(WaitForSingleObject(held, 20000), WAIT_OBJECT_0) << "the holder did not open the file";

  const SheetFlags flags = RunSheet(dir.path(), [](Driver& d) {
    HWND page = d.Page(4);
    d.Check(d.Rows(page) == 0, "no accounts shown");
    d.Check(NoteShown(page, kAccountFileBusyNote), "held file told under the list");
    d.Check(!d.Enabled(page, IDC_ACCOUNT_ADD) && !d.Enabled(page, IDC_ACCOUNT_CHANGE) &&
                !d.Enabled(page, IDC_ACCOUNT_DELETE),
            "commands disabled");
    d.Press(PSBTN_OK);
    d.Check(d.SheetClosed(), "sheet closed");
  });
  EXPECT_EQ(flags.account_changed, 0);
  SetEvent(release);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(held);
  CloseHandle(release);
  EXPECT_EQ(ReadBytes(AccountFilePath(dir.path())), before);

  RunSheet(dir.path(), [](Driver& d) {
    HWND page = d.Page(4);
    d.Check(d.Rows(page) == 2 && d.Cell(page, 1, 0) == "Work", "read again by the next sheet");
    d.Check(d.Enabled(page, IDC_ACCOUNT_ADD), "commands back");
    d.Check(!IsWindowVisible(GetDlgItem(page, IDC_ACCOUNT_NOTE)), "no note");
    d.Press(PSBTN_CANCEL);
    d.Check(d.SheetClosed(), "sheet cancelled");
  });
}

// A Tidewell.ini that cannot be written (read-only) fails page 1's apply;
// the other pages are applied all the same, so the account added through the
// dialog reaches Account.dat; the failure is told once and the sheet stays
// open on page 1 until it is cancelled.
TEST_F(SheetAccounts, ReadOnlySettingsFileStillSavesTheAccounts) {
  WinTempFolder dir;
  const std::string ini = "[Message]\r\nTime=10\r\n";
  const std::string ini_path = SettingsFilePath(dir.path());
  ASSERT_TRUE(WriteBytes(ini_path, ini));
  ASSERT_TRUE(SetFileAttributesA(ini_path.c_str(), FILE_ATTRIBUTE_READONLY));
  // Run as root, Wine writes a read-only file all the same: a handle that
  // shares reading only keeps every writer out, as the attribute does for a
  // user.
  HANDLE reader = CreateFileA(ini_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  const SheetFlags flags = RunSheet(dir.path(), [](Driver& d) {
    HWND first = d.Page(0);
    HWND page = d.Page(4);
    d.AddAccount(page, "A");
    d.Press(PSBTN_OK);
    d.Check(d.TakeMessageBox() == kSettingsSaveFailedText, "settings write failure told");
    d.Check(d.NoMessageBox(), "told once");
    HWND sheet = d.Sheet();
    d.Check(sheet != nullptr, "sheet stays open");
    if (sheet)
      d.Check(reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) == first,
              "the failed page is shown");
    d.Press(PSBTN_CANCEL);
    d.Check(d.SheetClosed(), "sheet cancelled");
  });
  CloseHandle(reader);
  SetFileAttributesA(ini_path.c_str(), FILE_ATTRIBUTE_NORMAL);
  const AccountList saved = LoadPageAccounts(dir.path(), SystemPasswordProtector());
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].display_name, "A");
  EXPECT_EQ(Ini(dir.path()), ini);
  // The engine takes the saved account up.
  EXPECT_TRUE(EngineReloadsAfterSheet(flags));
}

TEST_F(SheetAccounts, FailedAccountWriteIsToldAndTheEditsStay) {
  WinTempFolder dir;
  ASSERT_TRUE(CreateDirectoryA(MailFolderPath(dir.path()).c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(MailFile(dir.path(), "A"), "+OK\r\n"));
  // A folder where the new file is written first: Account.dat cannot be
  // replaced (a folder named Account.dat would be a file the page cannot read).
  ASSERT_TRUE(CreateDirectoryA((AccountFilePath(dir.path()) + ".tmp~").c_str(), nullptr));
  RunSheet(dir.path(), [](Driver& d) {
    HWND page = d.Page(4);
    d.AddAccount(page, "A");
    d.Press(PSBTN_OK);
    d.Check(d.TakeMessageBox() == kAccountSaveFailedText, "write failure told");
    d.Check(d.Sheet() != nullptr && d.Rows(page) == 1, "sheet open with the new account");
    d.Press(PSBTN_CANCEL);
    d.Check(d.SheetClosed(), "sheet cancelled");
  });
  EXPECT_TRUE(Exists(MailFile(dir.path(), "A")));
}

TEST_F(SheetAccounts, A256thAccountIsRefusedBeforeTheDialog) {
  WinTempFolder dir;
  AccountList full;
  for (int i = 0; i < 255; ++i) full.push_back(Account("a" + std::to_string(i), 0));
  ASSERT_TRUE(SaveAccounts(dir.path(), full, SystemPasswordProtector()));
  RunSheet(dir.path(), [](Driver& d) {
    HWND page = d.Page(4);
    d.Check(d.Rows(page) == 255, "255 rows");
    d.ClickAsync(page, IDC_ACCOUNT_ADD);
    d.Check(d.TakeMessageBox() == kTooManyAccountsText, "refusal told");
    d.Check(FindWindowA("#32770", "アカウント") == nullptr, "no account dialog");
    d.Press(PSBTN_OK);
    d.Check(d.SheetClosed(), "sheet closed");
  });
  // OK saves the list again (its passwords sealed afresh): the same 255.
  const AccountList after = LoadPageAccounts(dir.path(), SystemPasswordProtector());
  ASSERT_EQ(after.size(), full.size());
  for (std::size_t i = 0; i < full.size(); ++i) EXPECT_TRUE(SameStoredFields(after[i], full[i])) << i;
}

// ---- the account dialog's sign-in method ------------------------------------------

void Choose(HWND dialog, int combo, int index) {
  SendDlgItemMessageA(dialog, combo, CB_SETCURSEL, index, 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(combo, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dialog, combo)));
}
std::string ComboText(HWND dialog, int combo) {
  const LRESULT i = SendDlgItemMessageA(dialog, combo, CB_GETCURSEL, 0, 0);
  char text[256] = "";
  if (i >= 0) SendDlgItemMessageA(dialog, combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
  return text;
}
// The static text of a message box.
std::string BoxText(HWND box) {
  std::string text;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM lp) -> BOOL {
        char cls[32] = "", t[1024] = "";
        GetClassNameA(child, cls, sizeof cls);
        GetWindowTextA(child, t, sizeof t);
        if (lstrcmpiA(cls, "Static") == 0 && t[0]) *reinterpret_cast<std::string*>(lp) = t;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

// The method control switches the password edit, the provider control and
// サインイン; the line under them says who signed in or that a sign-in is
// needed; the notes name the section of a missing client id and warn of
// OAuth without TLS; サインイン without a client id is refused at once; an
// OAuth account is saved without a password and a signed-in one keeps its
// sign-in.
TEST_F(SheetAccounts, SignInMethodControls) {
  WinTempFolder dir;
  ASSERT_TRUE(WriteBytes(SettingsFilePath(dir.path()), "[OAuth.Google]\r\nClientId=google-client\r\n"));
  CAccount apop = Account("Apop", 0);
  apop.apop = 1;
  CAccount signed_in = Account("Signed", 0);
  signed_in.signin_method = kSignInOAuth;
  signed_in.oauth_provider = 2;
  signed_in.oauth_account = "taro@example.com";
  signed_in.refresh_token = "rt-1";
  signed_in.password = "";
  signed_in.tls_mode = kTlsOnConnect;
  signed_in.port = 995;
  ASSERT_TRUE(SaveAccounts(dir.path(), {apop, signed_in}, SystemPasswordProtector()));
  const std::string needed = "未サインイン（メールチェックの前にサインインしてください）";
  const std::string no_microsoft_id =
      oauth::ProviderSettingsNote(oauth::OAuthProvider::kMicrosoft, oauth::ProviderProblem::kNoClientId);
  RunSheet(dir.path(), [&](Driver& d) {
    HWND page = d.Page(4);
    Driver::Select(page, 0);
    d.ClickAsync(page, IDC_ACCOUNT_CHANGE);
    HWND dialog = d.Top("アカウント");
    d.Check(dialog && ComboText(dialog, IDC_ACC_METHOD) == "APOP", "APOP account shows APOP");
    d.Check(dialog && d.Enabled(dialog, IDC_ACC_PASSWORD) && !d.Enabled(dialog, IDC_ACC_PROVIDER) &&
                !d.Enabled(dialog, IDC_ACC_SIGNIN),
            "password method: password on, provider and sign-in off");
    d.Check(dialog && d.Text(dialog, IDC_ACC_SIGNIN_STATUS).empty() && d.Text(dialog, IDC_ACC_OAUTH_NOTE).empty(),
            "password method: no sign-in line, no note");
    d.CancelAccount();

    Driver::Select(page, 1);
    d.ClickAsync(page, IDC_ACCOUNT_CHANGE);
    dialog = d.Top("アカウント");
    if (!dialog) return d.Check(false, "no dialog for the OAuth account");
    d.Check(ComboText(dialog, IDC_ACC_METHOD) == "OAuth 2.0" && ComboText(dialog, IDC_ACC_PROVIDER) == "Google",
            "OAuth account shows its method and provider");
    d.Check(!d.Enabled(dialog, IDC_ACC_PASSWORD) && d.Enabled(dialog, IDC_ACC_PROVIDER) &&
                d.Enabled(dialog, IDC_ACC_SIGNIN),
            "OAuth: password off, provider and sign-in on");
    d.Check(d.Text(dialog, IDC_ACC_SIGNIN_STATUS) == "サインイン済み: taro@example.com", "who signed in");
    d.Check(d.Text(dialog, IDC_ACC_OAUTH_NOTE).empty(), "Google has its client id: no note");
    // Microsoft has no client id: the note says where to set it, and the
    // Google sign-in is not Microsoft's.
    Choose(dialog, IDC_ACC_PROVIDER, 0);
    d.Check(d.Text(dialog, IDC_ACC_SIGNIN_STATUS) == needed, "another provider needs a sign-in");
    d.Check(d.Text(dialog, IDC_ACC_OAUTH_NOTE) == no_microsoft_id, "missing client id told: " +
                                                                       d.Text(dialog, IDC_ACC_OAUTH_NOTE));
    d.Check(no_microsoft_id.find("[OAuth.Microsoft]") != std::string::npos, "note names the section");
    d.ClickAsync(dialog, IDC_ACC_SIGNIN);
    HWND box = d.Top("サインイン");
    d.Check(box && BoxText(box) == no_microsoft_id, "sign-in without a client id refused at once");
    if (box) PostMessageA(box, WM_COMMAND, IDOK, 0);
    Sleep(300);
    d.Check(d.Text(dialog, IDC_ACC_SIGNIN) == "サインイン" && d.Enabled(dialog, IDC_ACC_PROVIDER),
            "no sign-in running afterwards");
    Choose(dialog, IDC_ACC_PROVIDER, 1);
    d.Check(d.Text(dialog, IDC_ACC_SIGNIN_STATUS) == "サインイン済み: taro@example.com", "back to Google");
    Choose(dialog, IDC_ACC_SECURITY, kTlsNone);
    d.Check(d.Text(dialog, IDC_ACC_OAUTH_NOTE) == kOAuthNotSecuredNote, "OAuth without TLS warned");
    Choose(dialog, IDC_ACC_METHOD, 0);
    d.Check(d.Enabled(dialog, IDC_ACC_PASSWORD) && !d.Enabled(dialog, IDC_ACC_PROVIDER) &&
                !d.Enabled(dialog, IDC_ACC_SIGNIN) && d.Text(dialog, IDC_ACC_OAUTH_NOTE).empty(),
            "back to the password method");
    d.CancelAccount();

    // A new OAuth account needs no password.
    d.ClickAsync(page, IDC_ACCOUNT_ADD);
    dialog = d.Top("アカウント");
    if (!dialog) return d.Check(false, "no dialog for a new account");
    Choose(dialog, IDC_ACC_METHOD, 2);
    Choose(dialog, IDC_ACC_PROVIDER, 1);
    Choose(dialog, IDC_ACC_SECURITY, kTlsOnConnect);
    d.Check(d.Text(dialog, IDC_ACC_SIGNIN_STATUS) == needed, "new OAuth account: sign-in needed");
    Driver::SetText(dialog, IDC_ACC_NAME, "New");
    Driver::SetText(dialog, IDC_ACC_USER, "hanako@example.com");
    Driver::SetText(dialog, IDC_ACC_SERVER, "127.0.0.1");
    d.ClickAsync(dialog, IDOK);
    d.Check(d.NoMessageBox(), "saved without a password");
    d.Press(PSBTN_OK);
    d.Check(d.SheetClosed(), "sheet closed");
  });
  const AccountList saved = LoadPageAccounts(dir.path(), SystemPasswordProtector());
  ASSERT_EQ(saved.size(), 3u);
  EXPECT_EQ(saved[0].apop, 1);
  EXPECT_EQ(saved[0].signin_method, kSignInPassword);
  EXPECT_TRUE(SameStoredFields(saved[1], signed_in));
  EXPECT_EQ(saved[2].display_name, "New");
  EXPECT_EQ(saved[2].signin_method, kSignInOAuth);
  EXPECT_EQ(saved[2].oauth_provider, 2);
  EXPECT_EQ(saved[2].port, 995);
  EXPECT_TRUE(saved[2].password.empty());
  EXPECT_TRUE(saved[2].refresh_token.empty());
}

}  // namespace
}  // namespace tidewell
