// Small helpers of the notification tests under Wine.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tidewell::testing {

// Folder of the running test program, with its trailing backslash.
inline std::string ExeFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string p(path);
  return p.substr(0, p.find_last_of('\\') + 1);
}

inline std::string ExePath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path));
  return path;
}

// A fresh empty folder under the temporary folder (no trailing backslash),
// removed with its files at the end of the scope.
class TempFolder {
 public:
  explicit TempFolder(const char* tag) {
    char base[MAX_PATH] = {};
    GetTempPathA(sizeof(base), base);
    path_ = std::string(base) + "tidewell_" + tag + "_" + std::to_string(GetCurrentProcessId());
    Clear();
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    Clear();
    RemoveDirectoryA(path_.c_str());
  }
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  void Clear() {
    WIN32_FIND_DATAA found{};
    HANDLE h = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
      DeleteFileA((path_ + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  std::string path_;
};

inline bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return ok && written == bytes.size();
}

inline std::string ReadFileBytes(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return std::string();
  std::string out;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof(buffer), &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(f);
  return out;
}

// Runs the message loop until `done` is true or `timeout_ms` has passed.
// Returns whether `done` became true.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeout_ms) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(10);
  }
  return true;
}

}  // namespace tidewell::testing
