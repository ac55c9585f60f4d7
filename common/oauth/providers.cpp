#include "common/oauth/providers.h"

namespace tidewell {
namespace oauth {
namespace {

std::string Trim(std::string s) {
  const char* space = " \t";
  const std::size_t first = s.find_first_not_of(space);
  if (first == std::string::npos) return {};
  const std::size_t last = s.find_last_not_of(space);
  return s.substr(first, last - first + 1);
}

bool IsHttps(const std::string& url) {
  if (url.size() <= 8) return false;
  std::string scheme = url.substr(0, 8);
  for (char& c : scheme) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return scheme == "https://";
}

}  // namespace

const char* ProviderSection(OAuthProvider provider) {
  switch (provider) {
    case OAuthProvider::kMicrosoft: return "OAuth.Microsoft";
    case OAuthProvider::kGoogle: return "OAuth.Google";
    case OAuthProvider::kCustom: break;
  }
  return "OAuth.Custom";
}

ProviderSettings ProviderDefaults(OAuthProvider provider) {
  ProviderSettings s;
  switch (provider) {
    case OAuthProvider::kMicrosoft:
      s.authorize_url = "https://login.microsoftonline.com/common/oauth2/v2.0/authorize";
      s.token_url = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
      s.scope = "https://outlook.office.com/POP.AccessAsUser.All offline_access";
      break;
    case OAuthProvider::kGoogle:
      s.authorize_url = "https://accounts.google.com/o/oauth2/v2/auth";
      s.token_url = "https://oauth2.googleapis.com/token";
      s.scope = "https://mail.google.com/";
      break;
    case OAuthProvider::kCustom:
      break;
  }
  return s;
}

ProviderSettings ReadProviderSettings(OAuthProvider provider, const ProfileLookup& lookup) {
  ProviderSettings s = ProviderDefaults(provider);
  const char* section = ProviderSection(provider);
  struct Key {
    const char* name;
    std::string ProviderSettings::*field;
  };
  static const Key kKeys[] = {
      {"ClientId", &ProviderSettings::client_id},       {"ClientSecret", &ProviderSettings::client_secret},
      {"AuthorizeUrl", &ProviderSettings::authorize_url}, {"TokenUrl", &ProviderSettings::token_url},
      {"Scope", &ProviderSettings::scope},
  };
  for (const Key& k : kKeys) {
    std::string value = Trim(lookup(section, k.name, ""));
    if (!value.empty()) s.*k.field = std::move(value);
  }
  return s;
}

ProviderProblem CheckProviderSettings(const ProviderSettings& settings) {
  if (settings.client_id.empty()) return ProviderProblem::kNoClientId;
  if (settings.authorize_url.empty() || settings.token_url.empty()) return ProviderProblem::kNoEndpoint;
  if (!IsHttps(settings.authorize_url) || !IsHttps(settings.token_url)) return ProviderProblem::kNotHttps;
  return ProviderProblem::kNone;
}

}  // namespace oauth
}  // namespace tidewell
