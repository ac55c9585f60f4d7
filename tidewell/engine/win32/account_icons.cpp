#include "tidewell/engine/win32/account_icons.h"

#include <shellapi.h>

#include <cstring>

#include "notify_res.h"
#include "tidewell/engine/engine_state.h"
#include "tidewell/engine/notify_support.h"

namespace tidewell {
namespace {

// Tray icon ids of the account icons: apart from the main icon's.
constexpr UINT kAccountIconIdBase = 1000;

// What a new AccountIconWindow needs at its initialisation.
struct AccountIconInit {
  AccountIcons* owner;
  int index;
  const std::string* display_name;
  const std::string* icon_file;
  int icon_index;
  HINSTANCE instance;
};

// Per-window fields of an AccountIconWindow.
struct AccountIconWindow {
  AccountIcons* owner;
  int index;
  UINT tray_id;
};

NOTIFYICONDATAA IconData(HWND window, UINT id) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window;
  data.uID = id;
  return data;
}

// The tip field of the original structure (the size given in cbSize).
constexpr std::size_t kTipBytes = 64;

// Copies a tip into the 64-byte field without cutting a two-byte character.
void CopyTip(char* tip, const std::string& text) {
  std::size_t n = 0;
  while (n < text.size()) {
    std::size_t step = (IsSjisLead(static_cast<unsigned char>(text[n])) && n + 1 < text.size()) ? 2 : 1;
    if (n + step > kTipBytes - 1) break;
    n += step;
  }
  std::memcpy(tip, text.data(), n);
  tip[n] = '\0';
}

}  // namespace

INT_PTR CALLBACK AccountIcons::DialogProc(HWND dialog, UINT message, WPARAM, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* init = reinterpret_cast<const AccountIconInit*>(lparam);
      auto* self = new AccountIconWindow{init->owner, init->index, kAccountIconIdBase + init->index};
      SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
      HICON small_icon = nullptr;
      bool extracted = false;
      if (ExtractIconExA(init->icon_file->c_str(), init->icon_index, nullptr, &small_icon, 1) > 0 && small_icon) {
        extracted = true;
      } else {
        small_icon = static_cast<HICON>(
            LoadImageA(init->instance, MAKEINTRESOURCEA(IDI_TRAY_NORMAL), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                       GetSystemMetrics(SM_CYSMICON), LR_SHARED));
      }
      NOTIFYICONDATAA data = IconData(dialog, self->tray_id);
      data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
      data.uCallbackMessage = kWmTrayNotify;
      data.hIcon = small_icon;
      CopyTip(data.szTip, *init->display_name);
      Shell_NotifyIconA(NIM_ADD, &data);
      if (extracted) DestroyIcon(small_icon);
      return FALSE;
    }
    case kWmTrayNotify: {
      auto* self = reinterpret_cast<AccountIconWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
      if (self && lparam == WM_LBUTTONDOWN) self->owner->Remove(self->index);
      return TRUE;
    }
    case WM_NCDESTROY: {
      delete reinterpret_cast<AccountIconWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
      SetWindowLongPtrA(dialog, DWLP_USER, 0);
      return FALSE;
    }
    default:
      return FALSE;
  }
}

void AccountIcons::Show(HWND owner, int index, const std::string& display_name, const std::string& icon_file,
                        int icon_index) {
  if (index < 0) return;
  Remove(index);
  AccountIconInit init{this, index, &display_name, &icon_file, icon_index, instance_};
  HWND window = CreateDialogParamA(instance_, MAKEINTRESOURCEA(IDD_ACCOUNT_ICON), owner, DialogProc,
                                   reinterpret_cast<LPARAM>(&init));
  if (!window) return;
  if (windows_.size() <= static_cast<std::size_t>(index)) windows_.resize(index + 1, nullptr);
  windows_[index] = window;
}

void AccountIcons::Remove(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= windows_.size() || !windows_[index]) return;
  HWND window = windows_[index];
  windows_[index] = nullptr;
  NOTIFYICONDATAA data = IconData(window, kAccountIconIdBase + index);
  Shell_NotifyIconA(NIM_DELETE, &data);
  DestroyWindow(window);
}

void AccountIcons::RemoveAll() {
  for (int i = 0; i < static_cast<int>(windows_.size()); ++i) Remove(i);
}

HWND AccountIcons::window(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= windows_.size()) return nullptr;
  return windows_[index];
}

}  // namespace tidewell
