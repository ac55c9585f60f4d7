#include "tidewell/engine/win32/list_library.h"

#include <cstring>

#include "common/win32/own_module.h"
#include "tidewell/engine/win32/module_folder.h"

namespace tidewell {

bool ListLibraryPresent() { return GetFileAttributesA(BesideProgram("Quillbox.dll").c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ListLibrary::Load() {
  if (module_) return list_show_ != nullptr;
  HMODULE module = LoadBesideOwnModule("Quillbox.dll");
  if (!module) return false;
  auto list_show = reinterpret_cast<ListShowFn>(reinterpret_cast<void*>(GetProcAddress(module, "ListShow")));
  if (!list_show) {
    FreeLibrary(module);
    return false;
  }
  module_ = module;
  list_show_ = list_show;
  return true;
}

HWND ListLibrary::Show(HWND owner, int account_count, const std::string& data_folder) {
  if (!list_show_) return nullptr;
  char folder[260] = {};
  std::size_t n = data_folder.size() < sizeof(folder) - 1 ? data_folder.size() : sizeof(folder) - 1;
  std::memcpy(folder, data_folder.data(), n);
  window_ = list_show_(owner, account_count, folder);
  return window_;
}

void ListLibrary::Activate() {
  if (window_) SetActiveWindow(window_);
}

void ListLibrary::UnloadAfterClose() {
  Sleep(100);
  Unload();
}

void ListLibrary::Unload() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  list_show_ = nullptr;
  window_ = nullptr;
}

}  // namespace tidewell
