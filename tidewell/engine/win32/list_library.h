// The mail list library Quillbox.dll: loaded from the program's own folder
// (never from anywhere else) when the list opens, ListShow called with the owner window, the account count and
// the data folder, unloaded 100 ms after the list window reports its close
// (WM_LIST_CLOSED).
#pragma once

#include <windows.h>

#include <string>

namespace tidewell {

// Quillbox.dll beside the program file exists.
bool ListLibraryPresent();

class ListLibrary {
 public:
  ListLibrary() = default;
  ~ListLibrary() { Unload(); }
  ListLibrary(const ListLibrary&) = delete;
  ListLibrary& operator=(const ListLibrary&) = delete;

  // Loads the library and looks up ListShow; false (and nothing loaded) when
  // either is missing.
  bool Load();
  // Calls ListShow (the data folder goes in a 260-byte buffer) and keeps the
  // list window it returns.
  HWND Show(HWND owner, int account_count, const std::string& data_folder);
  // Brings the open list window forward.
  void Activate();
  // After WM_LIST_CLOSED: waits 100 ms, unloads, forgets window and library.
  void UnloadAfterClose();
  // Unloads at once (exit).
  void Unload();

  bool loaded() const { return module_ != nullptr; }
  HWND window() const { return window_; }

 private:
  using ListShowFn = HWND(WINAPI*)(HWND, int, char*);
  HMODULE module_ = nullptr;
  ListShowFn list_show_ = nullptr;
  HWND window_ = nullptr;
};

}  // namespace tidewell
