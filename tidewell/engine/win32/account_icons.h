// The accounts' own tray icons: one invisible modeless dialog (resource 147,
// AccountIconWindow) per account, owned by the main window, holding a tray
// icon with the account's display name as its tip. A left click on it removes
// it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tidewell {

class AccountIcons {
 public:
  // `instance` holds dialog 147 and icon 131.
  explicit AccountIcons(HINSTANCE instance) : instance_(instance) {}
  ~AccountIcons() { RemoveAll(); }
  AccountIcons(const AccountIcons&) = delete;
  AccountIcons& operator=(const AccountIcons&) = delete;

  // Shows the icon of account `index` (replacing its current one): the
  // small icon `icon_index` of `icon_file`, or the normal tray icon when the
  // file holds none.
  void Show(HWND owner, int index, const std::string& display_name, const std::string& icon_file,
            int icon_index);
  // Removes the icon of one account / of every account.
  void Remove(int index);
  void RemoveAll();

  // The window of an account's icon, or null.
  HWND window(int index) const;

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

  HINSTANCE instance_;
  std::vector<HWND> windows_;
};

}  // namespace tidewell
