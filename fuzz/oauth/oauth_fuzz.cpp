// The texts of the OAuth sign-in that come from outside, fed any bytes: the
// loopback redirect request (in pieces), the token endpoint's JSON answer and
// the mail server's replies to AUTH. Each reader stays within its bounds, keeps
// its answer once given, and hands out only what it checked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "common/oauth/json_object.h"
#include "common/oauth/loopback_redirect.h"
#include "common/oauth/sasl.h"
#include "common/oauth/token.h"

namespace {

using namespace tidewell::oauth;

void Check(bool ok) {
  if (!ok) std::abort();
}

bool VisibleAscii(const std::string& s) {
  for (char c : s) {
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

void Redirect(std::size_t piece, std::string_view input) {
  RedirectPages pages;
  pages.signed_in = "ok";
  pages.failed = "ng";
  LoopbackRedirect reader("state1234", pages);
  LoopbackRedirect::Status status = LoopbackRedirect::Status::kNeedMore;
  for (std::size_t at = 0; at < input.size(); at += piece) {
    const LoopbackRedirect::Status before = status;
    status = reader.Feed(input.substr(at, piece));
    if (before != LoopbackRedirect::Status::kNeedMore) Check(status == before);
  }
  if (status == LoopbackRedirect::Status::kNeedMore) {
    Check(reader.reply().empty());
    Check(input.size() < LoopbackRedirect::kMaxRequest);
    return;
  }
  Check(reader.reply().rfind("HTTP/1.1 ", 0) == 0);
  Check(reader.code().size() <= LoopbackRedirect::kMaxValue);
  Check(reader.error().size() <= LoopbackRedirect::kMaxValue);
  Check(reader.error_description().size() <= LoopbackRedirect::kMaxValue);
  Check((status == LoopbackRedirect::Status::kCode) == !reader.code().empty());
  Check((status == LoopbackRedirect::Status::kDenied) == !reader.error().empty());
  const std::string body = reader.reply().substr(reader.reply().find("\r\n\r\n") + 4);
  if (status == LoopbackRedirect::Status::kCode) Check(body == "ok");
  if (status == LoopbackRedirect::Status::kDenied || status == LoopbackRedirect::Status::kBadState) {
    Check(body == "ng");
  }
}

void Token(std::string_view input) {
  const TokenResponse r = ParseTokenResponse(input);
  if (r.ok) {
    Check(!r.access_token.empty() && VisibleAscii(r.access_token) && VisibleAscii(r.refresh_token));
    Check(r.error.empty());
    Check(input.size() <= kMaxTokenResponse);
  } else {
    Check(r.access_token.empty() && r.refresh_token.empty());
  }
  Check(r.expires_in >= 0 && r.expires_in <= 10LL * 365 * 24 * 3600);
  JsonLimits limits;
  limits.max_string = 64;
  limits.max_depth = 4;
  std::map<std::string, JsonMember> members;
  if (ReadJsonObject(input, members, limits)) {
    for (const auto& m : members) Check(m.first.size() <= 64 && m.second.text.size() <= input.size());
  } else {
    Check(members.empty());
  }
}

void Sasl(bool bearer, std::string_view input) {
  SaslLogin login(bearer ? SaslMechanism::kOAuthBearer : SaslMechanism::kXOAuth2, "UmVzcG9uc2U=", true);
  Check(!login.First().empty());
  bool done = false;
  while (!input.empty()) {
    const std::size_t nl = input.find('\n');
    const std::string_view line = input.substr(0, nl);
    input = nl == std::string_view::npos ? std::string_view() : input.substr(nl + 1);
    std::string send;
    const SaslLogin::Result r = login.OnLine(line, send);
    if (done) Check(r == SaslLogin::Result::kProtocol && send.empty());
    if (r != SaslLogin::Result::kPending) {
      Check(send.empty());
      done = true;
    } else {
      Check(send.size() >= 2 && send.compare(send.size() - 2, 2, "\r\n") == 0);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data + 2), size - 2);
  switch (data[0] % 4) {
    case 0: Redirect(static_cast<std::size_t>(data[1]) + 1, input); break;
    case 1: Token(input); break;
    case 2: Sasl(false, input); break;
    default: Sasl(true, input); break;
  }
  return 0;
}
