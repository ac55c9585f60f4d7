#include "common/oauth/base64.h"

namespace tidewell {
namespace oauth {
namespace {

std::string Encode(std::string_view bytes, const char* alphabet, bool pad) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += alphabet[v & 63];
  }
  const std::size_t left = bytes.size() - i;
  if (left > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (left == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    if (left == 2) out += alphabet[(v >> 6) & 63];
    if (pad) out.append(left == 1 ? "==" : "=");
  }
  return out;
}

int Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  return Encode(bytes, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", true);
}

std::string Base64UrlEncode(std::string_view bytes) {
  return Encode(bytes, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_", false);
}

bool Base64Decode(std::string_view text, std::string& out) {
  out.clear();
  std::size_t end = text.size();
  if (end % 4 == 0 && end > 0 && text[end - 1] == '=') {
    --end;
    if (text[end - 1] == '=') --end;
  }
  if (end % 4 == 1) return false;
  unsigned v = 0;
  int bits = 0;
  for (std::size_t i = 0; i < end; ++i) {
    const int d = Value(text[i]);
    if (d < 0) {
      out.clear();
      return false;
    }
    v = (v << 6) | static_cast<unsigned>(d);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((v >> bits) & 0xFF);
    }
  }
  // Left-over bits of the last character must be zero (canonical form).
  if (bits > 0 && (v & ((1u << bits) - 1)) != 0) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace oauth
}  // namespace tidewell
