#include "tidewell/settings/win32/file_pickers.h"

#include <commdlg.h>
#include <shellapi.h>

#include <vector>

#include "tidewell/settings/sheet_rules.h"

namespace tidewell {

bool BrowseForFile(HWND owner, BrowseKind kind, std::string& text) {
  const BrowseStart start = SplitBrowsePath(text);
  const std::string filter = OpenFileFilter(kind == BrowseKind::kWave    ? kWaveFilter
                                            : kind == BrowseKind::kIcon ? kIconFilter
                                                                        : kProgramFilter);
  char file[MAX_PATH] = "";
  // A proposed name that does not fit the buffer is left out, not cut.
  if (start.file.size() < sizeof file) start.file.copy(file, start.file.size());
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrInitialDir = start.folder.empty() ? nullptr : start.folder.c_str();
  ofn.lpstrDefExt = kind == BrowseKind::kWave ? "wav" : kind == BrowseKind::kIcon ? "ico" : "exe";
  ofn.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  if (!GetOpenFileNameA(&ofn)) return false;
  text = file;
  return true;
}

namespace {

using PickIconA = BOOL(WINAPI*)(HWND, LPSTR, UINT, int*);
using PickIconW = BOOL(WINAPI*)(HWND, LPWSTR, UINT, int*);

// The stand-in for a platform whose icon-selection dialog cannot be shown.
bool PickIconFile(HWND owner, std::string& path, int& index) {
  std::string chosen = IconPickerStartPath(path);
  if (!BrowseForFile(owner, BrowseKind::kIcon, chosen)) return false;
  if (chosen != path) index = 0;
  path = chosen;
  return true;
}

bool IsWindows9x() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

}  // namespace

bool PickIcon(HWND owner, std::string& path, int& index) {
  UniqueLibrary shell(LoadLibraryA("SHELL32.DLL"));
  if (!shell) return false;
  FARPROC proc = GetProcAddress(shell.get(), MAKEINTRESOURCEA(62));
  if (!proc) return false;
  const std::string start = IconPickerStartPath(path);
  int chosen = index;
  // TRUE on OK, FALSE on cancel, -1 when the dialog could not be made.
  BOOL result;
  if (IsWindows9x()) {
    char buffer[kIconPathBuffer] = "";
    start.copy(buffer, start.size());
    result = reinterpret_cast<PickIconA>(reinterpret_cast<void*>(proc))(owner, buffer, kIconPathBuffer, &chosen);
    if (result < 0) return PickIconFile(owner, path, index);
    if (result == FALSE) return false;
    buffer[kIconPathBuffer - 1] = '\0';
    path = buffer;
  } else {
    wchar_t buffer[kIconPathBuffer] = L"";
    if (!start.empty() &&
        MultiByteToWideChar(CP_ACP, 0, start.c_str(), -1, buffer, static_cast<int>(kIconPathBuffer)) == 0)
      buffer[0] = L'\0';
    result = reinterpret_cast<PickIconW>(reinterpret_cast<void*>(proc))(owner, buffer, kIconPathBuffer, &chosen);
    if (result < 0) return PickIconFile(owner, path, index);
    if (result == FALSE) return false;
    buffer[kIconPathBuffer - 1] = L'\0';
    const int bytes = WideCharToMultiByte(CP_ACP, 0, buffer, -1, nullptr, 0, nullptr, nullptr);
    std::vector<char> out(bytes > 0 ? static_cast<std::size_t>(bytes) : 1, '\0');
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, buffer, -1, out.data(), bytes, nullptr, nullptr);
    path = out.data();
  }
  index = chosen;
  return true;
}

UniqueIcon ExtractFileIcon(const std::string& file, int index, bool large) {
  if (file.empty()) return UniqueIcon();
  HICON icon = nullptr;
  const UINT got = large ? ExtractIconExA(file.c_str(), index, &icon, nullptr, 1)
                         : ExtractIconExA(file.c_str(), index, nullptr, &icon, 1);
  if (got == 0 || got == static_cast<UINT>(-1)) return UniqueIcon();
  return UniqueIcon(icon);
}

UniqueIcon LoadOwnIcon(HINSTANCE instance, int id, int size) {
  return UniqueIcon(
      static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

}  // namespace tidewell
