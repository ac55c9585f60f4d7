#include "common/oauth/signin_flow.h"

#include <algorithm>
#include <utility>

#include "common/oauth/pkce.h"
#include "common/oauth/token.h"
#include "common/oauth/token_refresh.h"
#include "common/oauth/url.h"

namespace tidewell {
namespace oauth {
namespace {

// Whether a space-separated scope holds `word`.
bool HasScopeWord(const std::string& scope, std::string_view word) {
  std::size_t at = 0;
  while (at < scope.size()) {
    const std::size_t end = std::min(scope.find(' ', at), scope.size());
    if (std::string_view(scope).substr(at, end - at) == word) return true;
    at = end + 1;
  }
  return false;
}

// A name shown in the dialog and kept in the record: printable ASCII within
// the field (an address or a UPN); anything else is not kept.
std::string ShownUserName(const std::string& name) {
  if (name.empty() || name.size() > kSignInMaxUserName) return {};
  for (char c : name)
    if (c < 0x21 || c > 0x7e) return {};
  return name;
}

// At most `max` bytes of a provider's text, printable ASCII only (the box is
// Shift_JIS; a provider writes English).
std::string ProviderText(std::string_view text, std::size_t max) {
  std::string out;
  for (char c : text) {
    if (out.size() >= max) break;
    out += (c >= 0x20 && c <= 0x7e) ? c : '?';
  }
  return out;
}

std::string Detail(std::string_view error, std::string_view description) {
  std::string d = ProviderText(error, 100);
  if (!description.empty()) d += (d.empty() ? "" : ": ") + ProviderText(description, 300);
  return d;
}

}  // namespace

std::string SignInRedirectUri(OAuthProvider provider, int port) {
  if (provider == OAuthProvider::kMicrosoft) return "http://localhost:" + std::to_string(port) + "/";
  return LoopbackRedirectUri(port);
}

std::string SignInScope(OAuthProvider provider, const std::string& scope) {
  if (provider == OAuthProvider::kCustom || HasScopeWord(scope, "openid")) return scope;
  return scope.empty() ? "openid email" : scope + " openid email";
}

SignInFlow::SignInFlow(OAuthProvider provider, ProviderSettings settings, RedirectPages pages)
    : provider_(provider), settings_(std::move(settings)), pages_(std::move(pages)) {}

void SignInFlow::End(SignInOutcome outcome) {
  result_.outcome = outcome;
  step_ = Step::kDone;
  // Nothing secret stays longer than the flow needs it.
  code_.clear();
  verifier_.clear();
}

void SignInFlow::Fail(SignInOutcome why) {
  if (step_ == Step::kDone) return;
  End(why);
}

bool SignInFlow::Begin(std::string_view state_random, std::string_view verifier_random, int port,
                       std::string_view login_hint) {
  if (step_ != Step::kIdle) return false;
  result_.settings_problem = CheckProviderSettings(settings_);
  if (result_.settings_problem != ProviderProblem::kNone) {
    End(SignInOutcome::kSettings);
    return false;
  }
  state_ = StateFromRandom(state_random);
  verifier_ = PkceVerifierFromRandom(verifier_random);
  if (state_.empty() || verifier_.empty()) {
    End(SignInOutcome::kNoRandom);
    return false;
  }
  if (port <= 0 || port > 65535) {
    End(SignInOutcome::kListenFailed);
    return false;
  }
  redirect_uri_ = SignInRedirectUri(provider_, port);
  AuthorizationRequest request;
  request.endpoint = settings_.authorize_url;
  request.client_id = settings_.client_id;
  request.redirect_uri = redirect_uri_;
  request.scope = SignInScope(provider_, settings_.scope);
  request.state = state_;
  request.code_challenge = PkceChallengeS256(verifier_);
  request.login_hint = std::string(login_hint);
  authorization_url_ = AuthorizationUrl(request);
  step_ = Step::kAwaitRedirect;
  return true;
}

SignInFlow::RedirectStep SignInFlow::OnRedirect(LoopbackRedirect::Status status, const LoopbackRedirect& reader) {
  using Status = LoopbackRedirect::Status;
  if (status == Status::kNeedMore) return RedirectStep::kRead;
  // Once the code is in hand (or the flow is over), a later request - a
  // reload of the tab, a second connection - changes nothing.
  if (step_ != Step::kAwaitRedirect) return RedirectStep::kReplyAndListen;
  switch (status) {
    case Status::kCode:
      code_ = reader.code();
      step_ = Step::kExchanging;
      return RedirectStep::kReplyAndExchange;
    case Status::kDenied:
      result_.detail = Detail(reader.error(), reader.error_description());
      End(SignInOutcome::kDenied);
      return RedirectStep::kReplyAndEnd;
    default:
      // Not an answer to our request (another path, a foreign state, an
      // unreadable request): the real redirect may still come.
      return RedirectStep::kReplyAndListen;
  }
}

std::string SignInFlow::ExchangeBody() const {
  if (step_ != Step::kExchanging) return {};
  return AuthorizationCodeBody(settings_.client_id, settings_.client_secret, code_, redirect_uri_, verifier_);
}

void SignInFlow::OnExchangeAnswer(bool answered, int status, std::string_view body, bool certificate,
                                  std::int64_t now) {
  if (step_ != Step::kExchanging) return;
  if (!answered) {
    End(certificate ? SignInOutcome::kCertificate : SignInOutcome::kUnreachable);
    return;
  }
  const TokenResponse response = ParseTokenResponse(body);
  if (!response.ok || status < 200 || status > 299) {
    result_.detail = Detail(response.error.empty() ? "HTTP " + std::to_string(status) : response.error,
                            response.error_description);
    End(SignInOutcome::kTokenRefused);
    return;
  }
  if (response.refresh_token.empty()) {
    End(SignInOutcome::kNoRefreshToken);
    return;
  }
  if (response.refresh_token.size() > kSignInMaxRefreshToken) {
    End(SignInOutcome::kTooLong);
    return;
  }
  result_.refresh_token = response.refresh_token;
  result_.access_token = response.access_token;
  result_.expires_at = ExpiresAt(now, response.expires_in);
  result_.user_name = ShownUserName(IdTokenUserName(response.id_token));
  End(SignInOutcome::kSignedIn);
}

std::string ProviderSettingsNote(OAuthProvider provider, ProviderProblem problem) {
  const std::string section = std::string("[") + ProviderSection(provider) + "]";
  switch (problem) {
    case ProviderProblem::kNone: return {};
    case ProviderProblem::kNoClientId:
      return "クライアントIDがありません。Tidewell.ini の " + section +
             " に ClientId= を書いてください（登録のしかたはヘルプ「OAuth 2.0」）。";
    case ProviderProblem::kNoEndpoint:
      return "Tidewell.ini の " + section + " に AuthorizeUrl= と TokenUrl= を書いてください。";
    case ProviderProblem::kNotHttps:
      return "Tidewell.ini の " + section + " の AuthorizeUrl と TokenUrl は https:// で始めてください。";
  }
  return {};
}

std::string SignInResultText(const SignInResult& result, OAuthProvider provider) {
  const std::string detail = result.detail.empty() ? std::string() : "\r\n(" + result.detail + ")";
  switch (result.outcome) {
    case SignInOutcome::kRunning:
    case SignInOutcome::kCancelled: return {};
    case SignInOutcome::kSignedIn:
      return result.user_name.empty() ? "サインインしました。" : "サインインしました: " + result.user_name;
    case SignInOutcome::kTimedOut:
      return "サインインの応答がないため、中止しました（5分）。もう一度サインインしてください。";
    case SignInOutcome::kSettings: return ProviderSettingsNote(provider, result.settings_problem);
    case SignInOutcome::kNoRandom: return "サインインを始められませんでした（乱数を得られません）。";
    case SignInOutcome::kListenFailed:
      return "サインインを始められませんでした（127.0.0.1 で待ち受けできません）。";
    case SignInOutcome::kNoBrowser: return "ブラウザーを起動できませんでした。";
    case SignInOutcome::kDenied: return "サインインが拒否されました。" + detail;
    case SignInOutcome::kUnreachable: return "トークンを取得できませんでした（サーバーに接続できません）。";
    case SignInOutcome::kCertificate:
      return "トークンを取得できませんでした（サーバー証明書が信頼できません）。";
    case SignInOutcome::kTokenRefused: return "トークンを取得できませんでした。" + detail;
    case SignInOutcome::kNoRefreshToken:
      return "リフレッシュトークンが返されなかったため、サインインを中止しました。"
             "Scope に offline_access などが必要か確かめてください。";
    case SignInOutcome::kTooLong:
      return "リフレッシュトークンが長すぎるため、保存できません。";
  }
  return {};
}

RedirectPages SignInPages() {
  RedirectPages pages;
  pages.charset = "Shift_JIS";
  pages.signed_in =
      "<html><head><title>Tidewell</title></head><body><p>サインインしました。"
      "このタブを閉じて Tidewell に戻ってください。</p></body></html>";
  pages.failed =
      "<html><head><title>Tidewell</title></head><body><p>サインインできませんでした。"
      "Tidewell のアカウントの画面を確かめてください。</p></body></html>";
  return pages;
}

}  // namespace oauth
}  // namespace tidewell
