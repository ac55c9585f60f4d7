// Base64_Coding: the RFC 2045 alphabet, optionally around code 1 / code 2.
#include <cstring>

#include "inkwell2/conv_internal.h"

namespace inkwell2 {
namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 6-bit value of each character; every character outside the alphabet
// (the pad "=" included) is 0. CR and LF are marked to be skipped.
struct DecodeTable {
  unsigned char v[256];
  DecodeTable() {
    std::memset(v, 0, sizeof v);
    for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(kAlphabet[i])] = static_cast<unsigned char>(i);
    v[static_cast<unsigned char>('\r')] = v[static_cast<unsigned char>('\n')] = 0xFF;
  }
};
const DecodeTable kDecode;

// Encodes bytes; line_len > 0 puts CR LF after every line_len characters
// except after the last.
std::string encode(std::string_view src, std::size_t line_len) {
  const auto* p = reinterpret_cast<const unsigned char*>(src.data());
  const std::size_t n = src.size();
  const std::size_t chars = (n + 2) / 3 * 4;
  std::string out;
  out.reserve(chars + (line_len ? chars / line_len * 2 : 0));
  std::size_t col = 0;
  auto put = [&](char c) {
    if (line_len && col == line_len) {
      out += "\r\n";
      col = 0;
    }
    out.push_back(c);
    ++col;
  };
  std::size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    const unsigned v = p[i] << 16 | p[i + 1] << 8 | p[i + 2];
    put(kAlphabet[v >> 18]);
    put(kAlphabet[(v >> 12) & 63]);
    put(kAlphabet[(v >> 6) & 63]);
    put(kAlphabet[v & 63]);
  }
  if (n - i == 1) {
    const unsigned v = p[i] << 16;
    put(kAlphabet[v >> 18]);
    put(kAlphabet[(v >> 12) & 63]);
    put('=');
    put('=');
  } else if (n - i == 2) {
    const unsigned v = p[i] << 16 | p[i + 1] << 8;
    put(kAlphabet[v >> 18]);
    put(kAlphabet[(v >> 12) & 63]);
    put(kAlphabet[(v >> 6) & 63]);
    put('=');
  }
  return out;
}

std::string up_to_nul(std::string s) {
  const std::size_t z = s.find('\0');
  if (z != std::string::npos) s.resize(z);
  return s;
}

int to_int(std::size_t v) { return v > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(v); }

std::string deliver(std::string& out, std::size_t n, int factor, int value, int* result) {
  if (out.size() + 1 > output_limit(n, factor)) {
    out.clear();
    value = 0;
  }
  if (result) *result = value;
  return std::move(out);
}

}  // namespace

// Decodes Base64 text; the result ends at the first zero byte.
std::string base64_decode(std::string_view src) {
  const auto* p = reinterpret_cast<const unsigned char*>(src.data());
  const std::size_t n = src.size();
  std::string out(n / 4 * 3 + 3, '\0');
  auto* o = reinterpret_cast<unsigned char*>(out.data());
  unsigned vals[4];
  int k = 0;
  std::size_t i = 0;
  while (i < n) {
    if (k == 0) {
      // Whole groups without a line end in them, four characters at a time.
      while (i + 4 <= n) {
        const unsigned a = kDecode.v[p[i]], b = kDecode.v[p[i + 1]], c = kDecode.v[p[i + 2]],
                       d = kDecode.v[p[i + 3]];
        if ((a | b | c | d) & 0x80) break;  // a CR or LF among them
        o[0] = static_cast<unsigned char>(a << 2 | b >> 4);
        o[1] = static_cast<unsigned char>(b << 4 | c >> 2);
        o[2] = static_cast<unsigned char>(c << 6 | d);
        o += 3;
        i += 4;
      }
      if (i >= n) break;
    }
    const unsigned char v = kDecode.v[p[i++]];
    if (v == 0xFF) continue;
    vals[k++] = v;
    if (k == 4) {
      o[0] = static_cast<unsigned char>(vals[0] << 2 | vals[1] >> 4);
      o[1] = static_cast<unsigned char>(vals[1] << 4 | vals[2] >> 2);
      o[2] = static_cast<unsigned char>(vals[2] << 6 | vals[3]);
      o += 3;
      k = 0;
    }
  }
  if (k) {
    for (int j = k; j < 4; ++j) vals[j] = 0;
    o[0] = static_cast<unsigned char>(vals[0] << 2 | vals[1] >> 4);
    o[1] = static_cast<unsigned char>(vals[1] << 4 | vals[2] >> 2);
    o[2] = static_cast<unsigned char>(vals[2] << 6 | vals[3]);
    o += 3;
  }
  const auto* begin = reinterpret_cast<unsigned char*>(out.data());
  const void* z = std::memchr(begin, 0, static_cast<std::size_t>(o - begin));
  out.resize(z ? static_cast<std::size_t>(static_cast<const unsigned char*>(z) - begin)
               : static_cast<std::size_t>(o - begin));
  return out;
}

std::string base64_coding(std::string_view src, int op, const char* file, int* result) {
  const std::size_t n = src.size();
  std::string out;
  switch (op) {
    case 1:
      out = encode(src, 0);
      break;
    case 2:
      out = encode(sjis_to_iso2022jp(src), 0);
      break;
    case 3: {
      // The file is read into a buffer of the working size (2n + 1000, one
      // byte kept for the NUL); the encoder takes it up to its first zero byte.
      std::string data;
      if (!file || !read_file_prefix(file, output_limit(n) - 1, data)) {
        if (result) *result = 0;
        return {};
      }
      out = encode(up_to_nul(std::move(data)), 76);
      break;
    }
    case 11:
    case 13:
    case 14:
      out = base64_decode(src);
      break;
    case 12:
      out = iso2022jp_to_sjis(base64_decode(src));
      break;
    default:
      if (result) *result = 0;
      return {};
  }
  return deliver(out, n, 2, to_int(out.size()), result);
}

// Quoted_Coding and ToCrLf share the output rule of deliver().
std::string deliver_bounded(std::string& out, std::size_t n, int factor, int value, int* result) {
  return deliver(out, n, factor, value, result);
}

}  // namespace inkwell2
