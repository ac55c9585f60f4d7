// The account dialog's "接続テスト" button: the values as entered (nothing is
// taken into the account or saved), tried by ConnectionProbeDriver while the
// dialog stays usable; the button reads "中止" meanwhile and cancels the test.
#include <string>

#include <ctime>

#include "settings_res.h"
#include "common/oauth/token_refresh.h"
#include "tidewell/settings/account_page.h"
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
  const SignInChoice method = static_cast<SignInChoice>(MethodShown());
  account.user = ItemText(dialog_, IDC_ACC_USER);
  account.oauth = method == SignInChoice::kOAuth;
  if (!account.oauth) account.password = ItemText(dialog_, IDC_ACC_PASSWORD);
  account.server = ItemText(dialog_, IDC_ACC_SERVER);
  account.apop = method == SignInChoice::kApop;
  account.tls_mode = security_;
  unsigned port = 0;
  if (ParseUnsignedText(ItemText(dialog_, IDC_ACC_PORT), kPortMax, port) != NumberCheck::kOk) {
    RefuseItem(dialog_, IDC_ACC_PORT, "ポート番号は 0 から 65535 の数で入力してください。");
    return;
  }
  account.port = static_cast<int>(port);
  if (account.user.empty() || (!account.oauth && account.password.empty()) || account.server.empty()) {
    MessageBoxA(dialog_, "必須項目を入力してください。", "", MB_OK);
    return;
  }
  ProbeRefresh refresh;
  if (account.oauth) TestToken(account, refresh);
  if (!probe_)
    probe_ = std::make_unique<ConnectionProbeDriver>(
        instance_, [this](bool ok, const std::string& report) { OnConnectionTestDone(ok, report); });
  if (probe_->Start(account, &refresh)) SetItemText(dialog_, IDC_ACC_TEST, kCancelLabel);
}

// The token of an OAuth account's test: this dialog's sign-in while it is
// good, else what the check would use (the Token.dat entry, or a refresh by
// the driver). The provider shown must be the one signed in with.
void CAccountDlg::TestToken(ProbeAccount& account, ProbeRefresh& refresh) {
  const int provider = ProviderShown();
  if (values_.oauth_provider != provider + 1 || values_.refresh_token.empty()) {
    account.signin_failure = kSignInNeeded;
    return;
  }
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  if (values_.refresh_token == signed_refresh_token_ && !access_token_.empty() &&
      (access_expires_at_ == 0 || access_expires_at_ - now >= oauth::kRefreshMarginSeconds)) {
    account.access_token = access_token_;
    return;
  }
  refresh.data_folder = place_.data_folder;
  // Token.dat keys its entries by the name the account is saved under.
  refresh.account.display_name = opening_name_.empty() ? ItemText(dialog_, IDC_ACC_NAME) : opening_name_;
  refresh.account.provider = provider + 1;
  refresh.account.refresh_token = values_.refresh_token;
}

void CAccountDlg::OnConnectionTestDone(bool ok, const std::string& report) {
  SetItemText(dialog_, IDC_ACC_TEST, kTestLabel);
  MessageBoxA(dialog_, report.c_str(), kTestCaption, MB_OK | (ok ? MB_ICONINFORMATION : MB_ICONWARNING));
}

}  // namespace tidewell
