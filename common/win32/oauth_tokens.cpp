#include "common/win32/oauth_tokens.h"

#include <ctime>
#include <vector>

#include "common/check_errors.h"
#include "common/oauth/token_cache.h"
#include "common/paths.h"
#include "common/win32/dpapi_protector.h"
#include "common/win32/https_post.h"

namespace tidewell {
namespace {

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

bool KnownProvider(int provider) { return provider >= 1 && provider <= 3; }

}  // namespace

oauth::ProviderSettings ProviderSettingsOf(const std::string& data_folder, int provider) {
  const oauth::OAuthProvider p =
      KnownProvider(provider) ? static_cast<oauth::OAuthProvider>(provider) : oauth::OAuthProvider::kCustom;
  const std::string ini = SettingsFilePath(data_folder);
  return oauth::ReadProviderSettings(p, [&ini](const char* section, const char* key, const char* fallback) {
    std::vector<char> buffer(4096, '\0');
    GetPrivateProfileStringA(section, key, fallback, buffer.data(), static_cast<DWORD>(buffer.size()), ini.c_str());
    return std::string(buffer.data());
  });
}

bool OAuthTokens::Begin(const std::string& data_folder, const OAuthAccount& account, bool forced) {
  Cancel();
  result_ = OAuthTokenResult();
  data_folder_ = data_folder;
  account_ = account.display_name;
  origin_ = account.refresh_token;

  oauth::TokenFetchInput in;
  in.provider = account.provider;
  in.account_refresh_token = account.refresh_token;
  in.refresh_token_unreadable = account.refresh_token_unreadable;
  in.forced = forced;
  in.now = Now();
  if (KnownProvider(account.provider)) in.settings = ProviderSettingsOf(data_folder, account.provider);
  if (!account.refresh_token.empty())
    in.has_cached =
        oauth::LoadCachedToken(data_folder, account_, origin_, SystemPasswordProtector(), in.cached);
  const oauth::TokenDecision d = fetch_.Begin(in);
  if (d.step != oauth::TokenDecision::Step::kPost) {
    Finish(d);
    return true;
  }
  request_ = StartHttpsPost(owner_, message_, d.url, d.body);
  if (request_ == 0) {
    // No worker could be started: the same as no answer.
    Finish(fetch_.OnAnswer(false, 0, "", Now()));
    return true;
  }
  return false;
}

bool OAuthTokens::OnAnswer(WPARAM id) {
  if (request_ == 0 || static_cast<unsigned>(id) != request_) return false;
  HttpsAnswer answer;
  if (!TakeHttpsAnswer(request_, answer)) return false;
  request_ = 0;
  Finish(fetch_.OnAnswer(answer.answered, answer.status, answer.body, Now()));
  SecureZeroMemory(&answer.body[0], answer.body.size());
  return true;
}

void OAuthTokens::Cancel() {
  if (request_ != 0) CancelHttpsPost(request_);
  request_ = 0;
}

void OAuthTokens::Finish(const oauth::TokenDecision& d) {
  if (d.store) oauth::StoreCachedToken(data_folder_, account_, origin_, d.entry, SystemPasswordProtector());
  if (d.forget) oauth::ForgetCachedToken(data_folder_, account_, SystemPasswordProtector());
  result_ = OAuthTokenResult();
  if (d.step == oauth::TokenDecision::Step::kUse) {
    result_.ok = true;
    result_.access_token = d.access_token;
    result_.fresh = d.fresh;
  } else {
    result_.signin_failure = d.signin_failure != 0 ? d.signin_failure : kSignInRefreshFailed;
  }
}

}  // namespace tidewell
