#include "common/oauth/url.h"

namespace tidewell {
namespace oauth {
namespace {

bool Unreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string PercentEncode(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (Unreserved(c)) {
      out += c;
    } else {
      const auto b = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

bool PercentDecode(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%') {
      if (i + 2 >= text.size()) {
        out.clear();
        return false;
      }
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi < 0 || lo < 0) {
        out.clear();
        return false;
      }
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += c;
    }
  }
  return true;
}

std::string FormEncode(const FormFields& fields) {
  std::string out;
  for (const auto& f : fields) {
    if (!out.empty()) out += '&';
    out += PercentEncode(f.first);
    out += '=';
    out += PercentEncode(f.second);
  }
  return out;
}

bool FormDecode(std::string_view text, FormFields& out) {
  out.clear();
  while (!text.empty()) {
    const std::size_t amp = text.find('&');
    const std::string_view part = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
    if (part.empty()) continue;
    const std::size_t eq = part.find('=');
    std::string name, value;
    if (!PercentDecode(part.substr(0, eq), name) ||
        (eq != std::string_view::npos && !PercentDecode(part.substr(eq + 1), value))) {
      out.clear();
      return false;
    }
    out.emplace_back(std::move(name), std::move(value));
  }
  return true;
}

std::string LoopbackRedirectUri(int port) { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

std::string AuthorizationUrl(const AuthorizationRequest& request) {
  FormFields fields = {
      {"response_type", "code"},
      {"client_id", request.client_id},
      {"redirect_uri", request.redirect_uri},
      {"scope", request.scope},
      {"state", request.state},
      {"code_challenge", request.code_challenge},
      {"code_challenge_method", "S256"},
  };
  if (!request.login_hint.empty()) fields.emplace_back("login_hint", request.login_hint);
  std::string url = request.endpoint;
  const std::size_t q = url.find('?');
  if (q == std::string::npos) url += '?';
  else if (q + 1 != url.size() && url.back() != '&') url += '&';
  return url + FormEncode(fields);
}

}  // namespace oauth
}  // namespace tidewell
