#include "common/oauth/token.h"

#include <map>

#include "common/oauth/base64.h"
#include "common/oauth/json_object.h"
#include "common/oauth/url.h"

namespace tidewell {
namespace oauth {
namespace {

constexpr std::int64_t kMaxExpiresIn = 10LL * 365 * 24 * 3600;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A whole number of seconds from "3599", 3599 or 3599.0; false otherwise.
bool Seconds(const std::string& text, std::int64_t& out) {
  std::size_t i = 0;
  std::int64_t v = 0;
  if (text.empty()) return false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (v <= kMaxExpiresIn) v = v * 10 + (text[i] - '0');
  }
  if (i == 0) return false;
  if (i < text.size()) {
    if (text[i] != '.') return false;
    for (++i; i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
    }
  }
  out = v > kMaxExpiresIn ? kMaxExpiresIn : v;
  return true;
}

// RFC 6750 b64token characters, a little wider: any visible ASCII. The token
// goes into a SASL string, where ^A, spaces and line ends would break it.
bool VisibleAscii(std::string_view text) {
  for (char c : text) {
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

}  // namespace

std::string AuthorizationCodeBody(std::string_view client_id, std::string_view client_secret,
                                  std::string_view code, std::string_view redirect_uri,
                                  std::string_view code_verifier) {
  FormFields f = {{"grant_type", "authorization_code"},
                  {"code", std::string(code)},
                  {"redirect_uri", std::string(redirect_uri)},
                  {"client_id", std::string(client_id)},
                  {"code_verifier", std::string(code_verifier)}};
  if (!client_secret.empty()) f.emplace_back("client_secret", std::string(client_secret));
  return FormEncode(f);
}

std::string RefreshTokenBody(std::string_view client_id, std::string_view client_secret,
                             std::string_view refresh_token, std::string_view scope) {
  FormFields f = {{"grant_type", "refresh_token"},
                  {"refresh_token", std::string(refresh_token)},
                  {"client_id", std::string(client_id)}};
  if (!client_secret.empty()) f.emplace_back("client_secret", std::string(client_secret));
  if (!scope.empty()) f.emplace_back("scope", std::string(scope));
  return FormEncode(f);
}

TokenResponse ParseTokenResponse(std::string_view body) {
  TokenResponse r;
  JsonLimits limits;
  limits.max_text = kMaxTokenResponse;
  std::map<std::string, JsonMember> m;
  if (!ReadJsonObject(body, m, limits)) {
    r.error = "malformed";
    return r;
  }
  auto text = [&](const char* name, std::string& out) {
    auto it = m.find(name);
    if (it != m.end() && it->second.kind == JsonMember::Kind::kString) out = it->second.text;
  };
  text("access_token", r.access_token);
  text("refresh_token", r.refresh_token);
  text("token_type", r.token_type);
  text("scope", r.scope);
  text("id_token", r.id_token);
  text("error", r.error);
  text("error_description", r.error_description);
  auto expires = m.find("expires_in");
  if (expires != m.end() && (expires->second.kind == JsonMember::Kind::kNumber ||
                             expires->second.kind == JsonMember::Kind::kString)) {
    if (!Seconds(expires->second.text, r.expires_in)) r.expires_in = 0;
  }
  if (!r.error.empty()) {
    r.access_token.clear();
    r.refresh_token.clear();
    return r;
  }
  if (r.access_token.empty() || !VisibleAscii(r.access_token) || !VisibleAscii(r.refresh_token) ||
      !EqualsNoCase(r.token_type, "Bearer")) {
    r.error = "malformed";
    r.access_token.clear();
    r.refresh_token.clear();
    return r;
  }
  r.ok = true;
  return r;
}

bool TokenErrorNeedsSignIn(const TokenResponse& response) {
  return !response.ok && response.error == "invalid_grant";
}

std::string IdTokenUserName(std::string_view id_token) {
  const std::size_t first = id_token.find('.');
  if (first == std::string_view::npos) return {};
  const std::size_t second = id_token.find('.', first + 1);
  if (second == std::string_view::npos) return {};
  std::string payload(id_token.substr(first + 1, second - first - 1));
  for (char& c : payload) {
    if (c == '-') c = '+';
    else if (c == '_') c = '/';
    else if (c == '+' || c == '/') return {};
  }
  std::string json;
  if (!Base64Decode(payload, json)) return {};
  JsonLimits limits;
  limits.max_text = 16 * 1024;
  limits.max_string = 1024;
  std::map<std::string, JsonMember> m;
  if (!ReadJsonObject(json, m, limits)) return {};
  for (const char* name : {"email", "preferred_username", "upn"}) {
    auto it = m.find(name);
    if (it != m.end() && it->second.kind == JsonMember::Kind::kString && !it->second.text.empty()) {
      return it->second.text;
    }
  }
  return {};
}

}  // namespace oauth
}  // namespace tidewell
