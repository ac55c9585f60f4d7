#include "common/win32/own_module.h"

#include <vector>

namespace tidewell {

HMODULE OwnModule() {
  HMODULE module = nullptr;
  // The address of this very function lies in the module it was linked into.
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&OwnModule), &module))
    return nullptr;
  return module;
}

std::string ModuleFolderOf(HMODULE module) {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      std::string path(buffer.data(), n);
      // The last backslash of the name: in Shift_JIS a second byte may be
      // 0x5C, so the name is walked character by character.
      std::size_t slash = std::string::npos;
      for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
          ++i;
        } else if (path[i] == '\\' || path[i] == '/') {
          slash = i;
        }
      }
      return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    }
    if (buffer.size() >= 32768) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

HMODULE LoadBesideOwnModule(const char* name) {
  const std::string folder = ModuleFolderOf(OwnModule());
  if (folder.empty()) return nullptr;  // never fall back to the bare name
  // A full path is loaded from there or not at all.
  return LoadLibraryExA((folder + name).c_str(), nullptr, 0);
}

void RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return;
  // Bound at run time: older systems have neither call.
  if (auto set_dll_directory =
          reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA"))))
    set_dll_directory("");
  if (auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories"))))
    set_default(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

}  // namespace tidewell
