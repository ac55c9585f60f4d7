// The account dialog's sign-in method: the method control (パスワード, APOP,
// OAuth 2.0), the provider control, "サインイン" (the browser sign-in of
// OAuthSignIn while the dialog stays usable; the button reads "中止"
// meanwhile and cancels it), the line with who signed in and the notes
// (the provider's missing settings, OAuth without TLS). The rules are
// account_page.h's; this file wires them to the controls.
#include <string>

#include "settings_res.h"
#include "common/oauth/token_cache.h"
#include "common/paths.h"
#include "common/win32/dpapi_protector.h"
#include "tidewell/settings/account_page.h"
#include "tidewell/settings/win32/account_dialog.h"
#include "tidewell/settings/win32/dialog_items.h"

namespace tidewell {
namespace {

constexpr char kSignInCaption[] = "サインイン";
constexpr char kSignInLabel[] = "サインイン";
constexpr char kCancelLabel[] = "中止";

int ComboIndex(HWND dialog, int id) { return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0)); }

}  // namespace

void CAccountDlg::InitSignIn() {
  for (const char* name : kSignInChoiceNames)
    SendDlgItemMessageA(dialog_, IDC_ACC_METHOD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  for (const char* name : kProviderNames)
    SendDlgItemMessageA(dialog_, IDC_ACC_PROVIDER, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  SendDlgItemMessageA(dialog_, IDC_ACC_METHOD, CB_SETCURSEL, static_cast<WPARAM>(SignInChoiceOf(values_)), 0);
  SendDlgItemMessageA(dialog_, IDC_ACC_PROVIDER, CB_SETCURSEL, ProviderIndexOf(values_), 0);
  UpdateSignIn();
}

int CAccountDlg::MethodShown() const {
  const int i = ComboIndex(dialog_, IDC_ACC_METHOD);
  return i >= 0 && i < kSignInChoiceCount ? i : static_cast<int>(SignInChoice::kPassword);
}

int CAccountDlg::ProviderShown() const {
  const int i = ComboIndex(dialog_, IDC_ACC_PROVIDER);
  return i >= 0 && i < kProviderCount ? i : 0;
}

oauth::ProviderSettings CAccountDlg::ProviderSettingsOf(int provider_index) const {
  const oauth::OAuthProvider provider = ProviderOfIndex(provider_index);
  if (!place_.profile) return oauth::ProviderDefaults(provider);
  const std::string ini = SettingsFilePath(place_.data_folder);
  Profile& profile = *place_.profile;
  return oauth::ReadProviderSettings(provider, [&](const char* section, const char* key, const char* fallback) {
    return profile.GetString(ini, section, key, fallback);
  });
}

// Every control of the method group after a change of the method, the
// provider, the security or the sign-in's state.
void CAccountDlg::UpdateSignIn() {
  const SignInChoice choice = static_cast<SignInChoice>(MethodShown());
  const int provider = ProviderShown();
  const bool signing_in = signin_ && signin_->running();
  const SignInControls c = SignInControlsFor(choice, signing_in);
  EnableItems(dialog_, {IDC_ACC_PASSWORD}, c.password);
  EnableItems(dialog_, {IDC_ACC_METHOD}, c.method);
  EnableItems(dialog_, {IDC_ACC_PROVIDER}, c.provider);
  EnableItems(dialog_, {IDC_ACC_SIGNIN}, c.signin);
  SetItemText(dialog_, IDC_ACC_SIGNIN, signing_in ? kCancelLabel : kSignInLabel);
  SetItemText(dialog_, IDC_ACC_SIGNIN_STATUS, SignInStatusLine(values_, choice, provider));
  const oauth::ProviderProblem problem = oauth::CheckProviderSettings(ProviderSettingsOf(provider));
  SetItemText(dialog_, IDC_ACC_OAUTH_NOTE, SignInNotes(choice, ProviderOfIndex(provider), problem, security_));
}

void CAccountDlg::OnSignIn() {
  if (signin_ && signin_->running()) {
    StopSignIn();
    UpdateSignIn();
    return;
  }
  if (!signin_)
    signin_ = std::make_unique<OAuthSignIn>(instance_,
                                            [this](const oauth::SignInResult& r) { OnSignInDone(r); });
  signin_provider_ = ProviderShown();
  // Start may end at once (settings, listener, browser): OnSignInDone has
  // then told it.
  signin_->Start(ProviderOfIndex(signin_provider_), ProviderSettingsOf(signin_provider_),
                 ItemText(dialog_, IDC_ACC_USER));
  UpdateSignIn();
}

void CAccountDlg::StopSignIn() {
  if (signin_) signin_->Cancel();
}

void CAccountDlg::OnSignInDone(const oauth::SignInResult& result) {
  const oauth::OAuthProvider provider = ProviderOfIndex(signin_provider_);
  if (result.outcome == oauth::SignInOutcome::kSignedIn) {
    values_.user_id = ItemText(dialog_, IDC_ACC_USER);
    if (ApplySignIn(result, provider, values_)) SetItemText(dialog_, IDC_ACC_USER, values_.user_id.str());
    signed_refresh_token_ = result.refresh_token;
    access_token_ = result.access_token;
    access_expires_at_ = result.expires_at;
    // The provider control shows the provider signed in with.
    SendDlgItemMessageA(dialog_, IDC_ACC_PROVIDER, CB_SETCURSEL, signin_provider_, 0);
  }
  UpdateSignIn();
  const std::string text = result.outcome == oauth::SignInOutcome::kSignedIn
                               ? std::string()
                               : oauth::SignInResultText(result, provider);
  if (!text.empty()) MessageBoxA(dialog_, text.c_str(), kSignInCaption, MB_OK | MB_ICONWARNING);
}

void CAccountDlg::TakeSignIn(CAccount& entry) {
  StopSignIn();
  TakeSignInChoice(static_cast<SignInChoice>(MethodShown()), ProviderShown(), entry);
  // The sign-in's access token under the account's final name, so that the
  // first check needs no refresh. Its entry belongs to this refresh token:
  // when the sheet is cancelled, Account.dat keeps the old one and the entry
  // is never used.
  if (entry.signin_method == kSignInOAuth && !access_token_.empty() && !place_.data_folder.empty() &&
      entry.refresh_token == signed_refresh_token_) {
    oauth::CachedToken token;
    token.access_token = access_token_;
    token.expires_at = access_expires_at_;
    oauth::StoreCachedToken(place_.data_folder, entry.display_name.str(), entry.refresh_token, token,
                            SystemPasswordProtector());
  }
}

}  // namespace tidewell
