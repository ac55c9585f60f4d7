// CAccountDlg: the modal dialog (resource 136) in which the user enters or
// edits one account. It checks the entry (limits and ranges, a display name
// unique in the caller's list, the required fields) and hands the values back;
// it never touches a file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "common/oauth/providers.h"
#include "common/oauth/signin_flow.h"
#include "common/win32/handles.h"
#include "common/win32/oauth_signin.h"
#include "tidewell/settings/account.h"
#include "tidewell/settings/profile.h"
#include "tidewell/settings/win32/connection_probe_driver.h"

namespace tidewell {

// Where the dialog reads the OAuth providers' settings (Tidewell.ini of the
// data folder, through profile) and keeps the access token of a sign-in
// (Token.dat). Without a profile the providers have their built-in values
// only (no client id).
struct AccountDialogPlace {
  std::string data_folder;
  Profile* profile = nullptr;
};

class CAccountDlg {
 public:
  // values: the account to edit (a default CAccount for a new one); list: the
  // accounts against which the display name must be unique.
  CAccountDlg(HINSTANCE instance, const CAccount& values, const AccountList& list, AccountDialogPlace place = {})
      : instance_(instance), values_(values), list_(list), place_(std::move(place)) {}
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
  void TestToken(ProbeAccount& account, ProbeRefresh& refresh);
  // The sign-in method (account_dialog_signin.cpp): the method and provider
  // controls, "サインイン" and its result.
  void InitSignIn();
  int MethodShown() const;
  int ProviderShown() const;
  oauth::ProviderSettings ProviderSettingsOf(int provider_index) const;
  void UpdateSignIn();
  void OnSignIn();
  void OnSignInDone(const oauth::SignInResult& result);
  void StopSignIn();
  // OK: the method into the entry, and the sign-in's access token into
  // Token.dat for the entry's final name.
  void TakeSignIn(CAccount& entry);

  HINSTANCE instance_;
  HWND dialog_ = nullptr;
  CAccount values_;
  const AccountList& list_;
  std::string opening_name_;
  int security_ = 0;  // the mode the combo box shows
  UniqueIcon button_picture_;
  UniqueIcon preview_;
  std::unique_ptr<ConnectionProbeDriver> probe_;
  AccountDialogPlace place_;
  std::unique_ptr<OAuthSignIn> signin_;
  int signin_provider_ = 0;  // provider index the running sign-in started with
  // The access token of this dialog's sign-in, for Token.dat at OK and for
  // the connection test.
  std::string signed_refresh_token_;
  std::string access_token_;
  std::int64_t access_expires_at_ = 0;
};

}  // namespace tidewell
