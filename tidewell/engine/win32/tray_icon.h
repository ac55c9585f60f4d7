// The main tray icon: adding it, showing one of the five states, removing it.
#pragma once

#include <windows.h>

#include <string>

#include "tidewell/engine/tray_state.h"

namespace tidewell {

// The icon of a state, for the caller to destroy: the icon of the user's
// choice when Tidewell.ini selects one for the state (check key exactly 1)
// and its file holds an icon at that index; otherwise the built-in icon of
// the state from `module`'s resources.
HICON LoadTrayStateIcon(HMODULE module, TrayState state, const std::string& data_folder);

class TrayIcon {
 public:
  // id: the identifier given when the icon is added and used for every later
  // modify and delete.
  TrayIcon(HWND owner, UINT id) : owner_(owner), id_(id) {}

  // Adds the icon in its normal state (start-up, "TaskbarCreated",
  // WM_TRAY_RESTOREICON). MailShown is left alone by the caller.
  void Add(const std::string& data_folder);

  // Shows a state: the user icon of Tidewell.ini when its check key is 1 and
  // the file holds the icon, else the built-in one; the state's tooltip with
  // the total count. Re-adds the icon when the shell lost it.
  void Show(TrayState state, int total, const std::string& data_folder);

  void Delete();

 private:
  HICON LoadStateIcon(TrayState state, const std::string& data_folder) const;
  bool Notify(DWORD message, UINT flags, HICON icon, const std::string& tip);

  HWND owner_;
  UINT id_;
};

}  // namespace tidewell
