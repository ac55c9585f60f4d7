// Base64 (RFC 4648) for the SASL exchanges and the PKCE values: the standard
// alphabet with padding, and the URL-safe alphabet without it.
#pragma once

#include <string>
#include <string_view>

namespace tidewell {
namespace oauth {

std::string Base64Encode(std::string_view bytes);
std::string Base64UrlEncode(std::string_view bytes);  // no '=' padding

// Standard alphabet; padding may be missing; no other characters (no white
// space). False, out empty, on anything else.
bool Base64Decode(std::string_view text, std::string& out);

}  // namespace oauth
}  // namespace tidewell
