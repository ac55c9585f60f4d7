// The account dialog's "接続テスト" button: the values as entered (nothing is
// taken into the account or saved), tried by ConnectionProbeDriver while the
// dialog stays usable; the button reads "中止" meanwhile and cancels the test.
#include <string>

#include "settings_res.h"
#include "tidewell/settings/sheet_rules.h"
#include "tidewell/settings/win32/account_dialog.h"
#include "tidewell/settings/win32/dialog_items.h"

namespace tidewell {
namespace {

constexpr char kTestCaption[] = "接続テスト";
constexpr char kTestLabel[] = "接続テスト";
constexpr char kCancelLabel[] = "中止";

}  // namespace

void CAccountDlg::OnConnectionTest() {
  if (probe_ && probe_->running()) {
    probe_->Cancel();
    SetItemText(dialog_, IDC_ACC_TEST, kTestLabel);
    return;
  }
  ProbeAccount account;
  account.user = ItemText(dialog_, IDC_ACC_USER);
  account.password = ItemText(dialog_, IDC_ACC_PASSWORD);
  account.server = ItemText(dialog_, IDC_ACC_SERVER);
  account.apop = IsChecked(dialog_, IDC_ACC_APOP);
  account.tls_mode = security_;
  unsigned port = 0;
  if (ParseUnsignedText(ItemText(dialog_, IDC_ACC_PORT), kPortMax, port) != NumberCheck::kOk) {
    RefuseItem(dialog_, IDC_ACC_PORT, "ポート番号は 0 から 65535 の数で入力してください。");
    return;
  }
  account.port = static_cast<int>(port);
  if (account.user.empty() || account.password.empty() || account.server.empty()) {
    MessageBoxA(dialog_, "必須項目を入力してください。", "", MB_OK);
    return;
  }
  if (!probe_)
    probe_ = std::make_unique<ConnectionProbeDriver>(
        instance_, [this](bool ok, const std::string& report) { OnConnectionTestDone(ok, report); });
  if (probe_->Start(account)) SetItemText(dialog_, IDC_ACC_TEST, kCancelLabel);
}

void CAccountDlg::OnConnectionTestDone(bool ok, const std::string& report) {
  SetItemText(dialog_, IDC_ACC_TEST, kTestLabel);
  MessageBoxA(dialog_, report.c_str(), kTestCaption, MB_OK | (ok ? MB_ICONINFORMATION : MB_ICONWARNING));
}

}  // namespace tidewell
