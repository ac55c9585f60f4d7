#include "tidewell/engine/win32/tray_icon.h"

#include <shellapi.h>

#include <cstring>

#include "tidewell/engine/data_folder.h"
#include "tidewell/engine/engine_state.h"
#include "common/win32/handles.h"
#include "tidewell/settings/win32/win32_profile.h"

namespace tidewell {

HICON LoadTrayStateIcon(HMODULE module, TrayState state, const std::string& data_folder) {
  const IconChoice choice = TrayUserIcon(SystemProfile(), data_folder, state);
  if (choice.use_own && !choice.path.empty()) {
    HICON small_icon = nullptr;
    if (ExtractIconExA(choice.path.c_str(), choice.index, nullptr, &small_icon, 1) > 0 && small_icon)
      return small_icon;
  }
  // The built-in icon is shared (LR_SHARED): it is copied so that the caller
  // can destroy whatever comes back.
  // The notification area's icon size: 16 pixels at 100 %, 24 at 150 %, 32
  // at 200 % for the DPI-aware program; the file holds each size.
  HICON shared = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(TrayIconResource(state)), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_SHARED));
  return shared ? CopyIcon(shared) : nullptr;
}

HICON TrayIcon::LoadStateIcon(TrayState state, const std::string& data_folder) const {
  return LoadTrayStateIcon(GetModuleHandleA(nullptr), state, data_folder);
}

bool TrayIcon::Notify(DWORD message, UINT flags, HICON icon, const std::string& tip) {
  NOTIFYICONDATAA nid;
  std::memset(&nid, 0, sizeof nid);
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;  // the 88-byte structure with its 64-byte tip
  nid.hWnd = owner_;
  nid.uID = id_;
  nid.uFlags = flags;
  nid.uCallbackMessage = kWmTrayNotify;
  nid.hIcon = icon;
  const std::string cut = CutShiftJis(tip, kTrayTipSize - 1);
  std::memcpy(nid.szTip, cut.c_str(), cut.size() + 1);
  return Shell_NotifyIconA(message, &nid) != FALSE;
}

void TrayIcon::Add(const std::string& data_folder) {
  UniqueIcon icon(LoadStateIcon(TrayState::kNormal, data_folder));
  Notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP, icon.get(), TrayTooltip(TrayState::kNormal, 0));
}

void TrayIcon::Show(TrayState state, int total, const std::string& data_folder) {
  UniqueIcon icon(LoadStateIcon(state, data_folder));
  const std::string tip = TrayTooltip(state, total);
  if (!Notify(NIM_MODIFY, NIF_ICON | NIF_TIP, icon.get(), tip))
    Notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP, icon.get(), tip);
}

void TrayIcon::Delete() {
  NOTIFYICONDATAA nid;
  std::memset(&nid, 0, sizeof nid);
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = owner_;
  nid.uID = id_;
  Shell_NotifyIconA(NIM_DELETE, &nid);
}

}  // namespace tidewell
