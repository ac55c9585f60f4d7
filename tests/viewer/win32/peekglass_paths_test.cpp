// Peekglass.exe and the paths it must not lose: a message file named
// relative to the folder it was started in (the save dialog moves the current
// folder), the window's place when it is closed minimised, and the codec
// library, which comes from the program's folder and nowhere else.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "viewer_win32_util.h"

namespace tidewell::testing {
namespace {

constexpr DWORD kWaitMs = 15000;

class PeekglassPaths : public ::testing::Test {
 protected:
  PeekglassPaths() : folder_("表示 パス") {
    for (const char* sub : kSubFolders) RemoveSub(sub);
  }
  ~PeekglassPaths() override {
    Forget();
    for (const char* sub : kSubFolders) RemoveSub(sub);
  }

  // Folders the tests make inside the test folder (which clears only files).
  static constexpr const char* kSubFolders[] = {"保存先", "program"};
  void RemoveSub(const std::string& name) {
    const std::string sub = folder_.File(name);
    WIN32_FIND_DATAA found{};
    HANDLE h = FindFirstFileA((sub + "\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileA((sub + "\\" + found.cFileName).c_str());
      } while (FindNextFileA(h, &found));
      FindClose(h);
    }
    RemoveDirectoryA(sub.c_str());
  }

  // Starts program (the built viewer by default) on arguments, in the test
  // folder.
  void Start(const std::string& arguments, const std::string& program = "") {
    Forget();
    std::string line = "\"" + (program.empty() ? ExeFolder() + "Peekglass.exe" : program) + "\" " + arguments;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder_.path().c_str(), &si,
                               &process_));
  }
  HWND Window(const std::string& caption) {
    HWND w = WaitFor([&] { return MessageWindowOf(process_.dwProcessId); }, kWaitMs);
    if (w) EXPECT_TRUE(WaitText([&] { return TextOf(w); }, caption, kWaitMs)) << TextOf(w);
    return w;
  }
  void Close(HWND w) {
    PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(WaitForSingleObject(process_.hProcess, kWaitMs), WAIT_OBJECT_0);
  }
  void Forget() {
    if (!process_.hProcess) return;
    TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    process_ = PROCESS_INFORMATION{};
  }

  TempFolder folder_;
  PROCESS_INFORMATION process_{};
};

// Started as "Peekglass.exe m.eml" in its folder, save as into another
// folder: the copy is that file, although the dialog moved the current folder.
TEST_F(PeekglassPaths, RelativePathSavedAsIntoAnotherFolder) {
  const std::string message = Fixture("multipart.eml");
  ASSERT_TRUE(WriteFileBytes(folder_.File("m.eml"), message));
  ASSERT_TRUE(CreateDirectoryA(folder_.File("保存先").c_str(), nullptr));
  Start("m.eml");
  HWND w = Window("資料をお送りします");
  ASSERT_NE(w, nullptr);
  for (const char* name : {"保存先\\一.eml", "保存先\\二.eml"}) {
    const std::string target = folder_.File(name);
    PostMessageA(w, WM_COMMAND, 40018, 0);
    HWND save = WaitFor([&] { return FindWindowA("#32770", "名前を付けて保存"); }, kWaitMs);
    ASSERT_NE(save, nullptr);
    HWND box = GetDlgItem(save, 0x47C) ? GetDlgItem(save, 0x47C) : GetDlgItem(save, 0x480);
    SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
    PostMessageA(save, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitText([&] { return ReadFileBytes(target); }, message, kWaitMs)) << name;
    WaitFor([&]() -> HWND { return FindWindowA("#32770", "名前を付けて保存") ? nullptr : w; }, kWaitMs);
  }
  Close(w);
}

// Closed while minimised, the window stores the place it comes back to, not
// the minimised one (-32000), so the next start opens where it was.
TEST_F(PeekglassPaths, MinimisedWindowStoresItsNormalPlace) {
  const std::string ini = folder_.File("Quillbox.ini");
  ASSERT_TRUE(WriteFileBytes(ini, "[MessageWindow]\r\nTop=120\r\nBottom=520\r\nRight=620\r\nLeft=100\r\n"));
  ASSERT_TRUE(WriteFileBytes(folder_.File("m.eml"), Fixture("jis-cache.eml")));
  Start("m.eml");
  HWND w = Window("会議の予定について");
  ASSERT_NE(w, nullptr);
  ShowWindow(w, SW_MINIMIZE);
  ASSERT_TRUE(WaitFor([&]() -> HWND { return IsIconic(w) ? w : nullptr; }, kWaitMs));
  Close(w);
  EXPECT_EQ(MessageWindowKeys(ini).substr(0, 38), "Top=120\nBottom=520\nRight=620\nLeft=100\n");
}

// The viewer copied to a folder without Inkwell2.dll, started in a folder
// that holds a stranger's Inkwell2.dll and is on the PATH: that library never
// runs (it would leave a file in the current folder), the fields stay
// undecoded. With the program's own copy beside it, that one is used.
TEST_F(PeekglassPaths, OnlyTheProgramsOwnInkwellIsLoaded) {
  const std::string program_folder = folder_.File("program");
  ASSERT_TRUE(CreateDirectoryA(program_folder.c_str(), nullptr));
  const std::string program = program_folder + "\\Peekglass.exe";
  ASSERT_TRUE(CopyFileA((ExeFolder() + "Peekglass.exe").c_str(), program.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((ExeFolder() + "planted\\Inkwell2.dll").c_str(), folder_.File("Inkwell2.dll").c_str(), FALSE));
  ASSERT_TRUE(WriteFileBytes(folder_.File("m.eml"), Fixture("jis-cache.eml")));
  const std::string marker = folder_.File("planted-inkwell-loaded.txt");
  // The PATH of the started programs leads to the stranger's folder first.
  struct PathFirst {
    std::string old;
    explicit PathFirst(const std::string& folder) {
      std::string path(32768, '\0');
      path.resize(GetEnvironmentVariableA("PATH", &path[0], static_cast<DWORD>(path.size())));
      old = path;
      SetEnvironmentVariableA("PATH", (folder + ";" + old).c_str());
    }
    ~PathFirst() { SetEnvironmentVariableA("PATH", old.c_str()); }
  } path_first(folder_.path());

  Start("m.eml", program);
  HWND w = WaitFor([&] { return MessageWindowOf(process_.dwProcessId); }, kWaitMs);
  ASSERT_NE(w, nullptr);
  Sleep(500);  // past the caption timer
  EXPECT_EQ(ItemText(w, 1015), "");  // no codec: the subject stays empty
  Close(w);
  EXPECT_EQ(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES) << "the planted library ran";

  ASSERT_TRUE(CopyFileA((ExeFolder() + "Inkwell2.dll").c_str(), (program_folder + "\\Inkwell2.dll").c_str(), FALSE));
  Start("m.eml", program);
  w = Window("会議の予定について");
  ASSERT_NE(w, nullptr);
  Close(w);
  EXPECT_EQ(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES) << "the planted library ran";
}

}  // namespace
}  // namespace tidewell::testing
