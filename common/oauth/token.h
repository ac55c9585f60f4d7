// The token endpoint (RFC 6749 sections 4.1.3, 5 and 6): the form bodies the
// program posts, and the reading of the JSON answer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tidewell {
namespace oauth {

// A token response larger than this is refused.
constexpr std::size_t kMaxTokenResponse = 64 * 1024;

// grant_type=authorization_code&code=..&redirect_uri=..&client_id=..
// &code_verifier=..[&client_secret=..] (application/x-www-form-urlencoded).
std::string AuthorizationCodeBody(std::string_view client_id, std::string_view client_secret,
                                  std::string_view code, std::string_view redirect_uri,
                                  std::string_view code_verifier);

// grant_type=refresh_token&refresh_token=..&client_id=..[&client_secret=..]
// [&scope=..].
std::string RefreshTokenBody(std::string_view client_id, std::string_view client_secret,
                             std::string_view refresh_token, std::string_view scope);

struct TokenResponse {
  bool ok = false;            // an access token of type Bearer arrived
  std::string access_token;
  std::string refresh_token;  // empty: the server kept the old one
  std::int64_t expires_in = 0;  // seconds; 0 when the server gave none
  std::string token_type;
  std::string scope;
  std::string id_token;
  std::string error;  // "invalid_grant", ...; "malformed" when unreadable
  std::string error_description;
};

// Reads the body of the token endpoint's answer, whatever the HTTP status
// (errors come as 400 with a JSON body). expires_in may be a number or a
// string of digits; it is kept within 0 to 10 years.
TokenResponse ParseTokenResponse(std::string_view body);

// True when the answer says the refresh token (or the code) is no longer
// good, so that only a new sign-in helps: "invalid_grant".
bool TokenErrorNeedsSignIn(const TokenResponse& response);

// Who signed in, for the account dialog: "email", else "preferred_username",
// else "upn" of the id token's payload (read, not verified: it is shown, never
// trusted). Empty when there is none or it cannot be read.
std::string IdTokenUserName(std::string_view id_token);

}  // namespace oauth
}  // namespace tidewell
