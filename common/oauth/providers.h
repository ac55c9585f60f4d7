// The OAuth 2.0 providers an account can sign in with, their built-in
// endpoints and scopes, and the Tidewell.ini sections that read over them:
//
//   [OAuth.Microsoft] / [OAuth.Google] / [OAuth.Custom]
//   ClientId=  ClientSecret=  AuthorizeUrl=  TokenUrl=  Scope=
//
// No client id is built in: the user or an administrator registers one with
// the provider and writes it in the section.
#pragma once

#include <functional>
#include <string>

namespace tidewell {
namespace oauth {

// The numbers are stored in the account record: keep them.
enum class OAuthProvider { kMicrosoft = 1, kGoogle = 2, kCustom = 3 };

struct ProviderSettings {
  std::string client_id;
  std::string client_secret;
  std::string authorize_url;
  std::string token_url;
  std::string scope;
};

// "OAuth.Microsoft", "OAuth.Google", "OAuth.Custom".
const char* ProviderSection(OAuthProvider provider);

// The built-in values: Microsoft's and Google's endpoints and POP scopes;
// Custom is empty. Never a client id or secret.
ProviderSettings ProviderDefaults(OAuthProvider provider);

// Reads a key of a section, giving `fallback` when the key is missing (the
// profile's GetString with the same arguments).
using ProfileLookup = std::function<std::string(const char* section, const char* key, const char* fallback)>;

// The defaults with every key of the provider's section read over them.
// Values are trimmed of surrounding spaces; an empty value keeps the default.
ProviderSettings ReadProviderSettings(OAuthProvider provider, const ProfileLookup& lookup);

enum class ProviderProblem {
  kNone,
  kNoClientId,     // the account dialog says how to register one
  kNoEndpoint,     // authorization or token URL missing
  kNotHttps,       // an endpoint that is not https://
};

// What keeps the settings from a sign-in.
ProviderProblem CheckProviderSettings(const ProviderSettings& settings);

}  // namespace oauth
}  // namespace tidewell
