// The list library's side of message display, in this process: DisplayMessage
// in its three modes on cache files in a data folder whose name has Japanese
// and a space, the message window's wrap toggle and code menu (UTF-16 through
// the real Inkwell2.dll), its settings keys and the numbered failures.
#include "viewer/win32/display_message.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "viewer/win32/message_window.h"
#include "common/win32/inkwell_dll.h"
#include "viewer_win32_util.h"

namespace tidewell::testing {
namespace {

constexpr DWORD kWaitMs = 15000;

// A data folder with its \Mail folder, removed at the end.
class DataFolder {
 public:
  DataFolder() : folder_("データ フォルダ") { CreateDirectoryA(mail().c_str(), nullptr); }
  ~DataFolder() {
    for (const char* name : {"cache 1", "mailtemp.eml"}) DeleteFileA((mail() + "\\" + name).c_str());
    RemoveDirectoryA(mail().c_str());
  }
  std::string path() const { return folder_.path(); }
  std::string mail() const { return folder_.path() + "\\Mail"; }
  std::string Cache(const std::string& bytes) const {
    const std::string p = mail() + "\\cache 1";
    EXPECT_TRUE(WriteFileBytes(p, bytes));
    return p;
  }

 private:
  TempFolder folder_;
};

// Runs step on this thread's first dialog (message window or box) from a
// timer inside the modal loop, every 100 ms while one shows; step returns
// false when the window is not ready yet, and closes what it has handled.
class ModalDriver {
 public:
  explicit ModalDriver(std::function<bool(HWND)> step) : step_(std::move(step)) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 100, &ModalDriver::Tick);
  }
  ~ModalDriver() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (!current_ || current_->busy_) return;
    const std::vector<HWND> dialogs = Dialogs(0);
    if (dialogs.empty()) return;
    current_->busy_ = true;
    current_->step_(dialogs.front());
    current_->busy_ = false;
  }
  static inline ModalDriver* current_ = nullptr;
  std::function<bool(HWND)> step_;
  UINT_PTR timer_ = 0;
  bool busy_ = false;
};

DisplayRequest Request(const DataFolder& data, const std::string& cache, int mode) {
  DisplayRequest r;
  r.mode = mode;
  r.resources = GetModuleHandleA(nullptr);
  r.cache_path = cache;
  r.data_folder = data.path();
  std::string folder = ExeFolder();
  r.library_folder = folder.substr(0, folder.size() - 1);
  return r;
}

// The window has run its 50 ms rebuild, which gives the body the focus.
bool Ready(HWND w) { return GetFocus() == GetDlgItem(w, 1017); }

// Wrap off builds the body with horizontal scrolling (the control itself
// hides an unneeded scroll bar, so the style bit to look at is ES_AUTOHSCROLL).
bool HasHorizontalScroll(HWND w) { return (GetWindowLongA(GetDlgItem(w, 1017), GWL_STYLE) & ES_AUTOHSCROLL) != 0; }
bool WrapChecked(HWND w) { return (GetMenuState(GetMenu(w), 40031, MF_BYCOMMAND) & MF_CHECKED) != 0; }

TEST(MessageWindow, OwnWindowShowsTheCacheFileAndRebuildsOnWrapToggles) {
  DataFolder data;
  const std::string cache = data.Cache(Fixture("utf8.eml"));
  std::string subject, sender, date, first, jis, utf8, after_toggle;
  bool wrap_before = true, wrap_after = false, scroll_before = false, scroll_after = true;
  std::string caption;
  bool minimise_box = true;
  ModalDriver driver([&](HWND w) {
    if (!Ready(w)) return false;
    caption = TextOf(w);
    minimise_box = (GetWindowLongA(w, GWL_STYLE) & WS_MINIMIZEBOX) != 0;
    subject = ItemText(w, 1015);
    sender = ItemText(w, 1013);
    date = ItemText(w, 1014);
    first = ItemText(w, 1017);
    wrap_before = WrapChecked(w);
    scroll_before = HasHorizontalScroll(w);
    SendMessageA(w, WM_COMMAND, 40019, 0);
    jis = ItemText(w, 1017);
    SendMessageA(w, WM_COMMAND, 40023, 0);
    utf8 = ItemText(w, 1017);
    SendMessageA(w, WM_COMMAND, 40019, 0);
    SendMessageA(w, WM_COMMAND, 40031, 0);
    wrap_after = WrapChecked(w);
    scroll_after = HasHorizontalScroll(w);
    after_toggle = ItemText(w, 1017);
    PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
    return true;
  });
  EXPECT_EQ(DisplayMessage(Request(data, cache, 0)), IDCANCEL);
  EXPECT_EQ(caption, "Tidewell");  // the list library's window keeps its caption
  EXPECT_FALSE(minimise_box);      // only the standalone viewer's has one
  EXPECT_EQ(subject, "新年のご挨拶");
  EXPECT_EQ(sender, "");           // the first line is not searched in a cache file
  EXPECT_EQ(date, "2024/1/4 07:00:00");
  // Readable at once (the charset is honoured); the code menu re-reads the
  // part, and a rebuild goes back to the reader's text.
  EXPECT_NE(first.find("本年もよろしくお願いいたします。"), std::string::npos) << first;
  EXPECT_NE(utf8.find("本年もよろしくお願いいたします。"), std::string::npos) << utf8;
  EXPECT_EQ(jis.find("本年もよろしくお願いいたします。"), std::string::npos) << jis;
  EXPECT_EQ(first, after_toggle);
  EXPECT_FALSE(wrap_before);
  EXPECT_TRUE(scroll_before);
  EXPECT_TRUE(wrap_after);
  EXPECT_FALSE(scroll_after);
}

TEST(MessageWindow, OwnWindowReadsCurrentMailAsPeekglassDoes) {
  const struct {
    const char* file;
    std::vector<std::string> lines;
  } cases[] = {
      {"utf8-base64.eml", {"こんにちは、世界。", "二行目です。"}},
      {"sjis-qp.eml", {"こんにちは、世界。", "二行目です。"}},
      {"euc-8bit.eml", {"こんにちは、世界。"}},
      {"html-only.eml", {"お知らせ&ご案内", "一段落目", "項目二"}},
      {"mixed.eml", {"こんにちは、世界。", "添付ファイル：見積書.pdf (1,024 バイト)", "添付ファイル：資料.zip (100 バイト)"}},
      {"forward.eml", {"転送します。", "件名：元の件名", "転送された本文です。"}},
      {"cut-base64.eml", {".この行は点で始まる", "（メッセージはここで途切れています。続きは受信していません）"}},
      {"dots-cache.eml", {".点で始まる行", "最後の行"}},
      {"rtf.eml", {"{\\rtf1\\ansi {\\fonttbl\\f0 Arial;}\\f0 hidden\\v secret\\v0 shown}"}},
  };
  const char* const never[] = {"Content-Type", "==_b0", "<p>", "</", "44GT", "=E3=81", "=82=B1", "+OK"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    DataFolder data;
    std::string bytes = Fixture(c.file);
    if (bytes.compare(0, 3, "+OK") != 0) bytes = "+OK\r\n" + bytes + ".\r\n";  // as the list caches it
    const std::string cache = data.Cache(bytes);
    std::string body = "<not read>";
    ModalDriver driver([&](HWND w) {
      if (!Ready(w)) return false;
      body = ItemText(w, 1017);
      PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
      return true;
    });
    EXPECT_EQ(DisplayMessage(Request(data, cache, 0)), IDCANCEL);
    for (const std::string& line : c.lines) EXPECT_NE(body.find(line), std::string::npos) << line << "\n" << body;
    for (const char* hidden : never) EXPECT_EQ(body.find(hidden), std::string::npos) << hidden << "\n" << body;
  }
}

TEST(MessageWindow, Utf16BodiesThroughTheCodecLibrary) {
  // "日本語\r\n" in UTF-16, little- and big-endian, with and without a mark.
  const std::string le("\xe5\x65\x2c\x67\x9e\x8a\x0d\x00\x0a\x00", 10);
  std::string be = le;
  for (std::size_t i = 0; i + 1 < be.size(); i += 2) std::swap(be[i], be[i + 1]);
  const struct {
    const char* name;
    std::string body;
    std::string shown;
  } cases[] = {
      {"little-endian", "\xff\xfe" + le, "日本語\r\n"},
      {"big-endian", "\xfe\xff" + be, "日本語\r\n"},
      {"odd length", "\xff\xfe" + le + "\x41", "日本語\r\n"},
      {"no mark", le, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DataFolder data;
    DisplayFields fields;
    fields.subject = "utf16";
    fields.part = c.body;
    InkwellDllTextCodec codec;
    MessageWindowOptions options;
    options.resources = GetModuleHandleA(nullptr);
    options.fields = &fields;
    options.codec = &codec;
    options.ini_path = data.path() + "\\Quillbox.ini";
    std::string shown = "<not read>";
    ModalDriver driver([&](HWND w) {
      if (!Ready(w)) return false;
      SendMessageA(w, WM_COMMAND, 40024, 0);
      shown = ItemText(w, 1017);
      PostMessageA(w, WM_COMMAND, IDOK, 0);
      return true;
    });
    EXPECT_EQ(ShowMessageWindow(options), IDOK);
    // The rich edit control may give its line ends back as a lone CR.
    std::string want = c.shown;
    if (shown.find("\r\n") == std::string::npos && !want.empty()) want = "日本語\r";
    EXPECT_EQ(shown, want);
  }
}

// The copy menu of a right click in the body, while it is open: whether
// "コピー" is grayed. -1 while no menu shows.
int CopyItemGrayed() {
  HWND menu_window = FindWindowA("#32768", nullptr);
  if (!menu_window || !IsWindowVisible(menu_window)) return -1;
  HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menu_window, MN_GETHMENU, 0, 0));
  const UINT state = GetMenuState(menu, 40036, MF_BYCOMMAND);
  if (state == static_cast<UINT>(-1)) return -1;
  return (state & MF_GRAYED) ? 1 : 0;
}

TEST(MessageWindow, CopyMenuIsGrayedWithoutASelection) {
  DataFolder data;
  const std::string cache = data.Cache(Fixture("jis-cache.eml"));
  int phase = 0;
  int without_selection = -1, with_selection = -1;
  const DWORD start = GetTickCount();
  ModalDriver driver([&](HWND w) {
    HWND body = GetDlgItem(w, 1017);
    if (GetTickCount() - start > kWaitMs) phase = 4;  // give up: the checks below fail
    if (!Ready(w) && phase == 0) return false;
    auto right_click = [&] {
      PostMessageA(body, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
    };
    switch (phase) {
      case 0:
        SendMessageA(body, EM_SETSEL, 0, 0);
        right_click();
        phase = 1;
        break;
      case 1:
        if ((without_selection = CopyItemGrayed()) < 0) return false;
        EndMenu();
        phase = 2;
        break;
      case 2:
        SendMessageA(body, EM_SETSEL, 0, -1);
        right_click();
        phase = 3;
        break;
      case 3:
        if ((with_selection = CopyItemGrayed()) < 0) return false;
        EndMenu();
        phase = 4;
        break;
      default:
        PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
        break;
    }
    return true;
  });
  DisplayMessage(Request(data, cache, 0));
  EXPECT_EQ(without_selection, 1);
  EXPECT_EQ(with_selection, 0);
}

TEST(MessageWindow, LargeBodiesAreShownWhole) {
  // A body filling the body buffer reaches the control whole, as first shown
  // and through the code menu.
  DataFolder data;
  DisplayFields fields;
  fields.body = std::string(kBodyBuffer - 1, 'x');
  fields.part = fields.body;
  InkwellDllTextCodec codec;
  MessageWindowOptions options;
  options.resources = GetModuleHandleA(nullptr);
  options.fields = &fields;
  options.codec = &codec;
  options.ini_path = data.path() + "\\Quillbox.ini";
  LRESULT jis = 0, sjis = 0;
  ModalDriver driver([&](HWND w) {
    if (!Ready(w)) return false;
    jis = SendMessageA(GetDlgItem(w, 1017), WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(w, WM_COMMAND, 40020, 0);
    sjis = SendMessageA(GetDlgItem(w, 1017), WM_GETTEXTLENGTH, 0, 0);
    PostMessageA(w, WM_COMMAND, IDOK, 0);
    return true;
  });
  EXPECT_EQ(ShowMessageWindow(options), IDOK);
  EXPECT_EQ(jis, static_cast<LRESULT>(kBodyBuffer - 1));
  EXPECT_EQ(sjis, static_cast<LRESULT>(kBodyBuffer - 1));
}

TEST(MessageWindow, SameSettingsKeysAsTheStandaloneViewer) {
  DataFolder data;
  const std::string ini = data.path() + "\\Quillbox.ini";
  ASSERT_TRUE(WriteFileBytes(ini, "[MessageWindow]\r\nTop=120\r\nBottom=520\r\nRight=620\r\nLeft=100\r\n"
                                  "AutoWordWrap=1\r\nFontName=ＭＳ 明朝\r\nFontSize=105\r\nFontWeight=400\r\n"));
  const std::string cache = data.Cache(Fixture("jis-cache.eml"));
  RECT r{};
  bool scroll = true;
  bool zoomed = false;
  ModalDriver driver([&](HWND w) {
    if (!Ready(w)) return false;
    GetWindowRect(w, &r);
    scroll = HasHorizontalScroll(w);
    // Closed maximised, the window stores its normal rectangle.
    ShowWindow(w, SW_MAXIMIZE);
    zoomed = IsZoomed(w) != FALSE;
    PostMessageA(w, WM_COMMAND, 40017, 0);
    return true;
  });
  EXPECT_EQ(DisplayMessage(Request(data, cache, 0)), 40017);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 120);
  EXPECT_FALSE(scroll);
  EXPECT_TRUE(zoomed);
  EXPECT_EQ(MessageWindowKeys(ini),
            "Top=120\nBottom=520\nRight=620\nLeft=100\nAutoWordWrap=1\nFontName=ＭＳ 明朝\nFontSize=105\n"
            "FontWeight=400\nFontItalic=0\nFontCharSet=128\n");
}

TEST(MessageWindow, FailuresShowNumberedMessagesAndNoWindow) {
  const struct {
    const char* name;
    bool missing;
    std::string text;
    std::vector<std::string> boxes;
  } cases[] = {
      {"no boundary", false, "+OK\r\nContent-Type: multipart/mixed; boundary=\r\n\r\nx\r\n.\r\n",
       {"メッセージ表示に失敗しました。(1)"}},
      {"no blank line", false, "+OK\r\nContent-Type: multipart/mixed; boundary=b\r\n--b\r\n",
       {"メッセージ表示に失敗しました。(2)"}},
      {"part without blank line", false,
       "+OK\r\nContent-Type: multipart/mixed; boundary=\"b\"; x=y\r\n\r\n--b\r\nContent-Type: text/plain\r\n--b--\r\n",
       {"メッセージ表示に失敗しました。(3)"}},
      {"missing file", true, "", {"メッセージ表示に失敗しました。(4)", "<path>"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DataFolder data;
    std::string cache = data.Cache(c.text);
    if (c.missing) {
      DeleteFileA(cache.c_str());
    }
    std::vector<std::string> boxes;
    bool window = false;
    ModalDriver driver([&](HWND w) {
      if (GetDlgItem(w, 1015)) window = true;
      boxes.push_back(GetDlgItem(w, 1015) ? "<window>" : BoxText(w));
      PostMessageA(w, WM_COMMAND, GetDlgItem(w, 1015) ? IDCANCEL : IDOK, 0);
      return true;
    });
    EXPECT_EQ(DisplayMessage(Request(data, cache, 0)), 0);
    std::vector<std::string> want = c.boxes;
    for (std::string& b : want)
      if (b == "<path>") b = cache;
    EXPECT_EQ(boxes, want);
    EXPECT_FALSE(window);
  }
}

TEST(MessageWindow, SaveAsCopiesTheMessageOnDisplayUnchanged) {
  DataFolder data;
  // An earlier message handed to the associated program is not the one shown.
  ASSERT_TRUE(WriteFileBytes(data.mail() + "\\mailtemp.eml", Fixture("sjis.eml")));
  const std::string cache = data.Cache(Fixture("jis-cache.eml"));
  const std::string target = data.path() + "\\保存 した.eml";
  bool asked = false;
  ModalDriver driver([&](HWND w) {
    if (GetDlgItem(w, 1015)) {
      if (!Ready(w)) return false;
      if (!asked) {
        asked = true;
        PostMessageA(w, WM_COMMAND, 40018, 0);
      } else {
        PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
      }
      return true;
    }
    // The save dialog: its file name box (cmb13, or edt1 in the old style).
    EXPECT_EQ(TextOf(w), "名前を付けて保存");
    if (!SetDlgItemTextA(w, 0x47C, target.c_str())) SetDlgItemTextA(w, 0x480, target.c_str());
    PostMessageA(w, WM_COMMAND, IDOK, 0);
    return true;
  });
  DisplayMessage(Request(data, cache, 0));
  EXPECT_TRUE(asked);
  EXPECT_EQ(ReadFileBytes(target), Fixture("jis-cache.eml"));
  DeleteFileA(target.c_str());
}

TEST(MessageWindow, AssociatedProgramGetsAFreshCopy) {
  DataFolder data;
  const std::string temp = data.mail() + "\\mailtemp.eml";
  ASSERT_TRUE(WriteFileBytes(temp, "an older message"));
  const std::string cache = data.Cache(Fixture("sjis.eml"));
  DisplayMessage(Request(data, cache, 1));
  EXPECT_EQ(ReadFileBytes(temp), Fixture("sjis.eml"));
}

TEST(MessageWindow, StandaloneViewerStartsOnTheUnquotedCachePath) {
  DataFolder data;
  const std::string cache = data.Cache(Fixture("jis-cache.eml"));
  EXPECT_GT(DisplayMessage(Request(data, cache, 2)), 32);
  // Peekglass.exe beside this program shows it and puts the subject in its caption.
  HWND w = WaitFor([] { return FindWindowA("#32770", "会議の予定について"); }, kWaitMs);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(ItemText(w, 1013), "山田太郎 <taro@example.jp>");
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(WaitForSingleObject(process, kWaitMs), WAIT_OBJECT_0);
  CloseHandle(process);
  // It was started in the data folder: its settings went there.
  EXPECT_NE(MessageWindowKeys(data.path() + "\\Quillbox.ini").find("AutoWordWrap=0"), std::string::npos);
  DeleteFileA((data.path() + "\\Quillbox.ini").c_str());
}

}  // namespace
}  // namespace tidewell::testing
