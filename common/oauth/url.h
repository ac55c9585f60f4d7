// URL and form texts of the authorization code flow (RFC 6749, RFC 8252):
// percent-encoding, the authorization URL, the loopback redirect URI.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tidewell {
namespace oauth {

// Every byte but A-Z a-z 0-9 - . _ ~ as %XX (upper-case hex).
std::string PercentEncode(std::string_view text);

// Percent-decoding of one query or form value; '+' reads as a space. False on
// a '%' not followed by two hex digits.
bool PercentDecode(std::string_view text, std::string& out);

using FormFields = std::vector<std::pair<std::string, std::string>>;

// name=value pairs joined with '&', names and values percent-encoded.
std::string FormEncode(const FormFields& fields);

// Splits "a=1&b=2" (no leading '?') into decoded pairs; a part without '='
// has an empty value; empty parts are skipped. False on a bad escape.
bool FormDecode(std::string_view text, FormFields& out);

// "http://127.0.0.1:" port "/": the redirect URI the program listens on.
std::string LoopbackRedirectUri(int port);

struct AuthorizationRequest {
  std::string endpoint;  // the provider's authorization URL (may hold a query)
  std::string client_id;
  std::string redirect_uri;
  std::string scope;
  std::string state;
  std::string code_challenge;  // S256
  std::string login_hint;      // left out when empty
};

// endpoint ('?' or '&') response_type=code&client_id=..&redirect_uri=..
// &scope=..&state=..&code_challenge=..&code_challenge_method=S256
// [&login_hint=..].
std::string AuthorizationUrl(const AuthorizationRequest& request);

}  // namespace oauth
}  // namespace tidewell
