// The character-set backend on systems with glibc iconv (the native build
// and its tests). Shift_JIS goes through two tables built once from iconv's
// CP932 mapping; UTF-8 is coded by hand with the platform's rules (invalid
// bytes become U+FFFD, unpaired surrogates U+FFFD); UTF-7 goes through iconv.
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <vector>

#include "inkwell2/unicode_backend.h"

namespace inkwell2::backend {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kUndefinedDbcs = 0x30FB;  // the platform's default for code page 932
constexpr char kDefaultChar = '?';

struct Cp932Tables {
  std::vector<char16_t> single;  // 256 entries; 0 = undefined (except 0x00)
  std::vector<char16_t> dbcs;    // lead << 8 | trail; 0 = undefined
  std::vector<std::uint16_t> from_unicode;  // 0 = no code (except U+0000)
};

char16_t iconv_one(iconv_t cd, const unsigned char* bytes, std::size_t len) {
  char in[2] = {static_cast<char>(bytes[0]), len > 1 ? static_cast<char>(bytes[1]) : '\0'};
  unsigned char out[8];
  char* ip = in;
  char* op = reinterpret_cast<char*>(out);
  std::size_t il = len, ol = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0) return 0;
  if (sizeof out - ol != 2) return 0;  // outside the BMP or more than one unit
  return static_cast<char16_t>(out[0] | (out[1] << 8));
}

const Cp932Tables& tables() {
  static Cp932Tables t;
  static std::once_flag once;
  std::call_once(once, [] {
    t.single.assign(256, 0);
    t.dbcs.assign(65536, 0);
    t.from_unicode.assign(65536, 0);
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    for (int c = 1; c < 256; ++c) {
      const unsigned char b = static_cast<unsigned char>(c);
      if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) continue;
      const char16_t u = iconv_one(cd, &b, 1);
      t.single[c] = u;
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
      if (lead > 0x9F && lead < 0xE0) continue;
      for (int trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F) continue;
        const unsigned char b[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
        const char16_t u = iconv_one(cd, b, 2);
        if (!u) continue;
        t.dbcs[static_cast<std::uint16_t>(lead << 8 | trail)] = u;
      }
    }
    iconv_close(cd);
    // The other direction is asked of iconv too: it also has one-way
    // mappings (U+301C WAVE DASH to 0x8160, as the platform's best fit does).
    cd = iconv_open("CP932", "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    for (unsigned u = 0x80; u <= 0xFFFF; ++u) {
      if (u >= 0xD800 && u <= 0xDFFF) continue;
      const unsigned char w[2] = {static_cast<unsigned char>(u & 0xFF), static_cast<unsigned char>(u >> 8)};
      char in[2] = {static_cast<char>(w[0]), static_cast<char>(w[1])};
      unsigned char out[4];
      char* ip = in;
      char* op = reinterpret_cast<char*>(out);
      std::size_t il = 2, ol = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) continue;
      const std::size_t len = sizeof out - ol;
      if (len == 1) t.from_unicode[u] = out[0];
      else if (len == 2) t.from_unicode[u] = static_cast<std::uint16_t>(out[0] << 8 | out[1]);
    }
    iconv_close(cd);
  });
  return t;
}

bool decode_cp932(std::string_view src, std::u16string& out) {
  const Cp932Tables& t = tables();
  if (t.dbcs.empty()) return false;
  out.clear();
  out.reserve(src.size());
  const auto* p = reinterpret_cast<const unsigned char*>(src.data());
  const std::size_t n = src.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      out.push_back(c);
      ++i;
    } else if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      if (i + 1 >= n) {  // a lead byte at the end is dropped
        ++i;
        continue;
      }
      const char16_t u = t.dbcs[c << 8 | p[i + 1]];
      out.push_back(u ? u : kUndefinedDbcs);
      i += 2;
    } else {
      const char16_t u = t.single[c];
      out.push_back(u ? u : kUndefinedDbcs);
      ++i;
    }
  }
  return true;
}

bool encode_cp932(std::u16string_view src, std::string& out) {
  const Cp932Tables& t = tables();
  if (t.from_unicode.empty()) return false;
  out.clear();
  out.resize(src.size() * 2);
  char* o = out.data();
  for (char16_t u : src) {
    if (u < 0x80) {
      *o++ = static_cast<char>(u);
      continue;
    }
    const std::uint16_t code = t.from_unicode[u];
    if (code == 0) {
      *o++ = kDefaultChar;
    } else if (code > 0xFF) {
      *o++ = static_cast<char>(code >> 8);
      *o++ = static_cast<char>(code & 0xFF);
    } else {
      *o++ = static_cast<char>(code);
    }
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return true;
}

bool decode_utf8(std::string_view src, std::u16string& out) {
  // Never more units than bytes: sized once, written through a pointer.
  out.resize(src.size());
  char16_t* o = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(src.data());
  const std::size_t n = src.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      *o++ = c;
      ++i;
      continue;
    }
    if (c >= 0xE1 && c <= 0xEC && i + 2 < n && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80) {
      // The common three-byte form (U+1000 to U+CFFF: kana and kanji).
      *o++ = static_cast<char16_t>((c & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F));
      i += 3;
      continue;
    }
    int len;
    std::uint32_t cp, min;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4, cp = c & 0x07, min = 0x10000;
    } else {
      *o++ = kReplacement;
      ++i;
      continue;
    }
    int k = 1;
    for (; k < len && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k) cp = cp << 6 | (p[i + k] & 0x3F);
    if (k < len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      *o++ = kReplacement;  // one replacement for the broken sequence
      i += static_cast<std::size_t>(k);
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *o++ = static_cast<char16_t>(0xD800 | (cp >> 10));
      *o++ = static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
    } else {
      *o++ = static_cast<char16_t>(cp);
    }
    i += static_cast<std::size_t>(len);
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return true;
}

bool encode_utf8(std::u16string_view src, std::string& out) {
  out.clear();
  out.reserve(src.size() * 3);
  for (std::size_t i = 0; i < src.size(); ++i) {
    std::uint32_t cp = src[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < src.size() && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (src[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return true;
}

// Runs iconv over the whole input; an invalid byte becomes replacement
// (when given) and is stepped over, an incomplete sequence at the end is dropped.
bool run_iconv(const char* to, const char* from, std::string_view src, std::string& out,
               std::string_view replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  std::string buf(src.size() * 4 + 64, '\0');
  char* ip = const_cast<char*>(src.data());
  std::size_t il = src.size();
  bool ok = true;
  while (il > 0) {
    char* op = buf.data();
    std::size_t ol = buf.size();
    const std::size_t r = iconv(cd, &ip, &il, &op, &ol);
    out.append(buf.data(), buf.size() - ol);
    if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    if (errno == EILSEQ) {
      out.append(replacement);
      ++ip, --il;
      continue;
    }
    if (errno != EINVAL) ok = false;
    break;  // EINVAL: an incomplete sequence at the end is dropped
  }
  char* op = buf.data();
  std::size_t ol = buf.size();
  iconv(cd, nullptr, nullptr, &op, &ol);  // closes a shift state (UTF-7)
  out.append(buf.data(), buf.size() - ol);
  iconv_close(cd);
  return ok;
}

}  // namespace

bool to_utf16(int cp, std::string_view src, std::u16string& out) {
  switch (cp) {
    case kCp932:
      return decode_cp932(src, out);
    case kCpUtf8:
      return decode_utf8(src, out);
    case kCpUtf7: {
      std::string bytes;
      if (!run_iconv("UTF-16LE", "UTF-7", src, bytes, std::string_view("\xFD\xFF", 2))) return false;
      out.resize(bytes.size() / 2);
      for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
      return true;
    }
    default:
      return false;
  }
}

bool from_utf16(int cp, std::u16string_view src, std::string& out) {
  switch (cp) {
    case kCp932:
      return encode_cp932(src, out);
    case kCpUtf8:
      return encode_utf8(src, out);
    case kCpUtf7: {
      std::string bytes(src.size() * 2, '\0');
      for (std::size_t i = 0; i < src.size(); ++i) {
        bytes[2 * i] = static_cast<char>(src[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(src[i] >> 8);
      }
      return run_iconv("UTF-7", "UTF-16LE", bytes, out, {});
    }
    default:
      return false;
  }
}

}  // namespace inkwell2::backend
