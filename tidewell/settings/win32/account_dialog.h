// CAccountDlg: the modal dialog (resource 136) in which the user enters or
// edits one account. It checks the entry (limits and ranges, a display name
// unique in the caller's list, the required fields) and hands the values back;
// it never touches a file.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/win32/handles.h"
#include "tidewell/settings/account.h"
#include "tidewell/settings/win32/connection_probe_driver.h"

namespace tidewell {

class CAccountDlg {
 public:
  // values: the account to edit (a default CAccount for a new one); list: the
  // accounts against which the display name must be unique.
  CAccountDlg(HINSTANCE instance, const CAccount& values, const AccountList& list)
      : instance_(instance), values_(values), list_(list) {}
  CAccountDlg(const CAccountDlg&) = delete;
  CAccountDlg& operator=(const CAccountDlg&) = delete;

  // Runs the dialog modally. True on OK: values() then holds the checked
  // entry; on Cancel it is to be ignored.
  bool DoModal(HWND owner);

  const CAccount& values() const { return values_; }

 private:
  static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  void OnInitDialog();
  bool OnCommand(int id, int code);
  void OnOk();
  void OnPickIcon();
  void OnBrowse(int edit, bool wave);
  void EnableGroups();
  void OnSecurityChange();
  void ShowPreview(UniqueIcon icon);
  // "接続テスト" (account_dialog_probe.cpp): starts the test with the values
  // as entered, or cancels the running one.
  void OnConnectionTest();
  void OnConnectionTestDone(bool ok, const std::string& report);

  HINSTANCE instance_;
  HWND dialog_ = nullptr;
  CAccount values_;
  const AccountList& list_;
  std::string opening_name_;
  int security_ = 0;  // the mode the combo box shows
  UniqueIcon button_picture_;
  UniqueIcon preview_;
  std::unique_ptr<ConnectionProbeDriver> probe_;
};

}  // namespace tidewell
