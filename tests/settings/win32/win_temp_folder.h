// A fresh folder under the Windows temporary folder, removed with its
// contents at the end of the test. Paths use "\" as the program builds them.
#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

inline void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  RemoveDirectoryA(folder.c_str());
}

class WinTempFolder {
 public:
  // sub: an optional last component (e.g. a Shift_JIS folder name).
  explicit WinTempFolder(const std::string& sub = "") {
    static int serial = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    root_ = std::string(temp) + "twset" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial);
    // Wine reuses process ids: a folder left by an earlier, interrupted run
    // may carry this name.
    RemoveTree(root_);
    EXPECT_TRUE(CreateDirectoryA(root_.c_str(), nullptr)) << root_;
    path_ = root_;
    if (!sub.empty()) {
      path_ += "\\" + sub;
      EXPECT_TRUE(CreateDirectoryA(path_.c_str(), nullptr)) << path_;
    }
  }
  ~WinTempFolder() { RemoveTree(root_); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string root_, path_;
};

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

// Whether this Wine can map Shift_JIS file names to the host's (it needs the
// ja_JP.UTF-8 locale to exist on the host; without it every non-ASCII name
// is refused).
inline bool ShiftJisFileNamesWork() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string probe = std::string(temp) + "\x95\x5C" + std::to_string(GetCurrentProcessId());
  if (!CreateDirectoryA(probe.c_str(), nullptr)) return false;
  RemoveDirectoryA(probe.c_str());
  return true;
}

#define SKIP_WITHOUT_SHIFT_JIS_FILE_NAMES()                                                   \
  do {                                                                                        \
    if (!ShiftJisFileNamesWork())                                                             \
      GTEST_SKIP() << "Wine cannot create Shift_JIS file names here (ja_JP.UTF-8 locale missing)"; \
  } while (0)

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
