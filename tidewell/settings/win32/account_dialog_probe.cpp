// The account dialog's "接続テスト" button: the values as entered (nothing is
// taken into the account or saved), tried by ConnectionProbeDriver while the
// dialog stays usable; the button reads "中止" meanwhile and cancels the test.
#include <string>

#include <ctime>

#include "settings_res.h"
#include "common/oauth/token_cache.h"
#include "common/oauth/token_refresh.h"
#include "common/win32/dpapi_protector.h"
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
// good, else the check's cached one (Token.dat, read only), else a refresh
// with the account's refresh token by the driver. The provider shown must be
// the one signed in with.
void CAccountDlg::TestToken(ProbeAccount& account, ProbeRefresh& refresh) {
  const int provider = ProviderShown();
  if (values_.oauth_provider != provider + 1 || values_.refresh_token.empty()) {
    account.signin_failure = kSignInNeeded;
    return;
  }
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  const auto good = [now](const std::string& token, std::int64_t expires_at) {
    return !token.empty() && (expires_at == 0 || expires_at - now >= oauth::kRefreshMarginSeconds);
  };
  if (values_.refresh_token == signed_refresh_token_ && good(access_token_, access_expires_at_)) {
    account.access_token = access_token_;
    return;
  }
  oauth::CachedToken cached;
  if (!place_.data_folder.empty() && !opening_name_.empty() &&
      oauth::LoadCachedToken(place_.data_folder, opening_name_, values_.refresh_token, SystemPasswordProtector(),
                             cached) &&
      good(cached.access_token, cached.expires_at)) {
    account.access_token = cached.access_token;
    return;
  }
  refresh.settings = ProviderSettingsOf(provider);
  refresh.refresh_token = values_.refresh_token;
}

void CAccountDlg::OnConnectionTestDone(bool ok, const std::string& report) {
  SetItemText(dialog_, IDC_ACC_TEST, kTestLabel);
  // A refresh token the provider rotated during the test replaces the old
  // one with OK (the old one may no longer be taken).
  if (probe_ && !probe_->rotated_refresh_token().empty() &&
      probe_->rotated_refresh_token().size() <= oauth::kSignInMaxRefreshToken) {
    values_.refresh_token = probe_->rotated_refresh_token();
    signed_refresh_token_.clear();
    access_token_.clear();
  }
  MessageBoxA(dialog_, report.c_str(), kTestCaption, MB_OK | (ok ? MB_ICONINFORMATION : MB_ICONWARNING));
}

}  // namespace tidewell
