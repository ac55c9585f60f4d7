// Peekglass.exe as a separate process on real .eml files with Japanese text,
// in a folder whose name has Japanese and a space: the fields and the body
// are read back from its window, the settings it writes from Quillbox.ini in
// the folder it was started in.
#include <windows.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "viewer_win32_util.h"

namespace tidewell::testing {
namespace {

constexpr DWORD kWaitMs = 15000;

class Peekglass : public ::testing::Test {
 protected:
  Peekglass() : folder_("表示 テスト") {}
  ~Peekglass() override {
    if (process_.hProcess) {
      TerminateProcess(process_.hProcess, 1);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
  }

  // Starts the viewer (or program, a copy of it) with arguments as its whole
  // command line, in the test folder.
  void Start(const std::string& arguments, const std::string& program = "") {
    std::string line = "\"" + (program.empty() ? ExeFolder() + "Peekglass.exe" : program) + "\" " + arguments;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder_.path().c_str(), &si,
                               &process_));
  }
  DWORD pid() const { return process_.dwProcessId; }

  // The message window once the 50 ms timer has put the subject in the caption.
  HWND Window(const std::string& caption) {
    HWND w = WaitFor([&] { return MessageWindowOf(pid()); }, kWaitMs);
    if (w) {
      EXPECT_TRUE(WaitText([&] { return TextOf(w); }, caption, kWaitMs)) << TextOf(w);
    }
    return w;
  }

  DWORD WaitExit() {
    EXPECT_EQ(WaitForSingleObject(process_.hProcess, kWaitMs), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  TempFolder folder_;
  PROCESS_INFORMATION process_{};
};

// The body as the user copies it: everything selected, then the copy command
// of the context menu; read from the clipboard.
std::string BodyByCopy(HWND w) {
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
  HWND body = GetDlgItem(w, 1017);
  SendMessageA(body, EM_SETSEL, 0, -1);
  SendMessageA(w, WM_COMMAND, 40036, 0);
  std::string text;
  if (OpenClipboard(nullptr)) {
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
      if (const char* p = static_cast<const char*>(GlobalLock(data))) {
        text = p;
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
  }
  return text;
}

struct MailCase {
  const char* file;
  bool quoted;
  std::string subject;
  std::string sender;
  std::string date;
  std::vector<std::string> lines;  // lines the body shows as first opened
};

// What no body may show: transfer-encoded text, part headers, boundaries, markup.
const char* const kNeverShown[] = {"Content-Type", "Content-Transfer-Encoding", "==_b0", "<p>", "</", "44GT",
                                   "=E3=81", "=82=B1", "$B"};

TEST_F(Peekglass, ShowsJapaneseMessages) {
  const std::string text_lines[] = {"こんにちは、世界。", "二行目です。"};
  const std::vector<std::string> text(std::begin(text_lines), std::end(text_lines));
  const std::string taro = "Taro <taro@example.jp>";
  const std::string date = "2024/1/8 10:00:00";
  const MailCase cases[] = {
      {"jis-cache.eml", false, "会議の予定について", "山田太郎 <taro@example.jp>", "2024/1/2 09:15:00",
       {"明日の会議は十時からです。"}},
      {"sjis.eml", true, "見積書の送付", "佐藤花子 <hanako@example.jp>", "2024/1/3 18:30:00",
       {"見積書を添付いたしました。ご確認ください。"}},
      {"utf8.eml", false, "新年のご挨拶", "鈴木一郎 <ichiro@example.jp>", "2024/1/4 07:00:00",
       {"本年もよろしくお願いいたします。"}},
      {"qp-jis.eml", true, "お昼ご飯", "jiro@example.jp", "2024/1/5 12:00:00", {"お昼はカレーにしましょう。"}},
      {"multipart.eml", false, "資料をお送りします", "高橋次郎 <jiro@example.jp>", "2024/1/6 20:45:00",
       {"資料を添付します。", "添付ファイル：a.bin (4 バイト)"}},
      {"utf8-base64.eml", false, "UTF-8 Base64", taro, date, text},
      {"utf8-qp.eml", false, "UTF-8 quoted-printable", taro, date, text},
      {"sjis-qp.eml", false, "Shift_JIS quoted-printable", taro, date, text},
      {"euc-8bit.eml", false, "EUC-JP 8bit", taro, date, text},
      {"alternative.eml", false, "alternative", taro, date, text},
      {"html-only.eml", false, "HTML only", taro, date, {"お知らせ&ご案内", "一段落目", "改行後", "項目一"}},
      {"mixed.eml", false, "mixed", taro, date,
       {"こんにちは、世界。", "添付ファイル：見積書.pdf (1,024 バイト)", "添付ファイル：資料.zip (100 バイト)"}},
      {"forward.eml", false, "forward", taro, date,
       {"転送します。", "件名：元の件名", "転送された本文です。"}},
      {"utf16.eml", false, "UTF-16", taro, date, {"日本語のテキスト"}},
  };
  for (const MailCase& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.quoted ? " quoted" : " unquoted"));
    const std::string path = folder_.File("会議 資料.eml");
    ASSERT_TRUE(WriteFileBytes(path, Fixture(c.file)));
    Start(c.quoted ? "\"" + path + "\"" : path);
    HWND w = Window(c.subject);
    ASSERT_NE(w, nullptr);
    EXPECT_NE(GetWindowLongA(w, GWL_STYLE) & WS_MINIMIZEBOX, 0);
    EXPECT_EQ(ItemText(w, 1015), c.subject);
    EXPECT_EQ(ItemText(w, 1013), c.sender);
    EXPECT_EQ(ItemText(w, 1014), c.date);
    const std::string body = BodyByCopy(w);
    for (const std::string& line : c.lines) EXPECT_NE(body.find(line), std::string::npos) << line << "\n" << body;
    for (const char* hidden : kNeverShown) EXPECT_EQ(body.find(hidden), std::string::npos) << hidden << "\n" << body;
    PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(WaitExit(), 0u);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    process_ = PROCESS_INFORMATION{};
  }
}

TEST_F(Peekglass, RtfLookingBodyIsShownAsText) {
  const std::string path = folder_.File("rtf.eml");
  ASSERT_TRUE(WriteFileBytes(path, Fixture("rtf.eml")));
  Start(path);
  HWND w = Window("RTF looking body");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(ItemText(w, 1017).find("{\\rtf1\\ansi {\\fonttbl\\f0 Arial;}\\f0 hidden\\v secret\\v0 shown}"), 0u)
      << ItemText(w, 1017);
  PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(WaitExit(), 0u);
}

TEST_F(Peekglass, MissingFileIsReportedAndNoWindowOpens) {
  Start("\"" + folder_.File("ありません.eml") + "\"");
  HWND box = WaitFor([&] { return MessageBoxOf(pid()); }, kWaitMs);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(TextOf(box), "Tidewell");
  EXPECT_EQ(BoxText(box), "ファイルのオープンに失敗しました。");
  EXPECT_EQ(MessageWindowOf(pid()), nullptr);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(WaitExit(), 0u);
}

TEST_F(Peekglass, DisplayFailureStillOpensTheWindowWithoutBody) {
  const std::string path = folder_.File("boundary.eml");
  ASSERT_TRUE(WriteFileBytes(path, "Subject: =?ISO-2022-JP?B?GyRCO3FOQRsoQg==?=\r\n"
                                   "Content-Type: multipart/mixed; boundary=\r\n\r\n--x\r\n\r\nbody\r\n--x--\r\n"));
  Start(path);
  HWND box = WaitFor([&] { return MessageBoxOf(pid()); }, kWaitMs);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(BoxText(box), "メッセージ表示に失敗しました。");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  HWND w = Window("資料");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(ItemText(w, 1015), "資料");
  EXPECT_EQ(ItemText(w, 1017), "");
  PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(WaitExit(), 0u);
}

TEST_F(Peekglass, WithoutTheRichEditLibraryNoWindowOpens) {
  // Wine's per-program library settings leave RICHED32.DLL out of a copy of
  // the viewer under a name of its own.
  if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) GTEST_SKIP() << "needs Wine";
  const std::string program = "PeekglassNoRichEdit.exe";
  const std::string key = "Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides";
  HKEY overrides = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &overrides, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(overrides, "riched32", 0, REG_SZ, reinterpret_cast<const BYTE*>("disabled"), 9);
  RegCloseKey(overrides);
  ASSERT_TRUE(CopyFileA((ExeFolder() + "Peekglass.exe").c_str(), folder_.File(program).c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((ExeFolder() + "Inkwell2.dll").c_str(), folder_.File("Inkwell2.dll").c_str(), FALSE));
  const std::string path = folder_.File("m.eml");
  ASSERT_TRUE(WriteFileBytes(path, Fixture("jis-cache.eml")));
  Start(path, folder_.File(program));
  HWND box = WaitFor([&] { return MessageBoxOf(pid()); }, kWaitMs);
  EXPECT_NE(box, nullptr);
  if (box) {
    EXPECT_EQ(TextOf(box), "Tidewell");
    EXPECT_EQ(BoxText(box), "表示に失敗しました。");
    EXPECT_EQ(MessageWindowOf(pid()), nullptr);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitExit(), 0u);
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}

TEST_F(Peekglass, SaveAsCopiesTheFileOnDisplay) {
  CreateDirectoryA(folder_.File("Mail").c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(folder_.File("Mail\\mailtemp.eml"), Fixture("sjis.eml")));
  const std::string path = folder_.File("会議 資料.eml");
  ASSERT_TRUE(WriteFileBytes(path, Fixture("multipart.eml")));
  const std::string target = folder_.File("保存 先.eml");
  Start(path);
  HWND w = Window("資料をお送りします");
  ASSERT_NE(w, nullptr);
  PostMessageA(w, WM_COMMAND, 40018, 0);
  HWND save = WaitFor([&] { return FindWindowA("#32770", "名前を付けて保存"); }, kWaitMs);
  ASSERT_NE(save, nullptr);
  // The file name box: cmb13 (or edt1 in the old style).
  HWND name = GetDlgItem(save, 0x47C) ? GetDlgItem(save, 0x47C) : GetDlgItem(save, 0x480);
  SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
  PostMessageA(save, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitText([&] { return ReadFileBytes(target); }, Fixture("multipart.eml"), kWaitMs));
  PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(WaitExit(), 0u);
  DeleteFileA(folder_.File("Mail\\mailtemp.eml").c_str());
  RemoveDirectoryA(folder_.File("Mail").c_str());
}

TEST_F(Peekglass, SettingsAreReadAndWrittenInTheStartUpFolder) {
  const std::string ini = folder_.File("Quillbox.ini");
  const std::string stored =
      "Top=120\nBottom=520\nRight=620\nLeft=100\nAutoWordWrap=1\nFontName=ＭＳ 明朝\nFontSize=105\n"
      "FontWeight=400\nFontItalic=0\nFontCharSet=128\n";
  ASSERT_TRUE(WriteFileBytes(ini, "[MessageWindow]\r\nTop=120\r\nBottom=520\r\nRight=620\r\nLeft=100\r\n"
                                  "AutoWordWrap=1\r\nFontName=ＭＳ 明朝\r\nFontSize=105\r\nFontWeight=400\r\n"));
  const std::string path = folder_.File("m.eml");
  ASSERT_TRUE(WriteFileBytes(path, Fixture("jis-cache.eml")));
  Start(path);
  HWND w = Window("会議の予定について");
  ASSERT_NE(w, nullptr);
  RECT r{};
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 120);
  // Wrap on: no horizontal scroll bar.
  EXPECT_EQ(GetWindowLongA(GetDlgItem(w, 1017), GWL_STYLE) & (WS_HSCROLL | ES_AUTOHSCROLL), 0);
  PostMessageA(w, WM_COMMAND, 40017, 0);
  EXPECT_EQ(WaitExit(), 0u);
  EXPECT_EQ(MessageWindowKeys(ini), stored);
}

}  // namespace
}  // namespace tidewell::testing
