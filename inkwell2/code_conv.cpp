// Code_Conv: the dispatcher over the conversion codes, and the Unicode codes.
#include <cstring>

#include "inkwell2/conv_internal.h"
#include "inkwell2/unicode_backend.h"

namespace inkwell2 {

std::size_t output_limit(std::size_t n, int factor) { return static_cast<std::size_t>(factor) * n + 1000; }

namespace {

// Delivers out when it fits the caller's bound for an input of n bytes.
// Takes out by reference so the caller's value argument is computed first.
std::string bounded(std::string& out, std::size_t n, int value, int* result) {
  if (out.size() + 1 > output_limit(n)) {
    out.clear();
    value = 0;
  }
  if (result) *result = value;
  return std::move(out);
}

int clamp_int(std::size_t v) { return v > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(v); }

// UTF-16 little-endian bytes up to the first zero unit.
std::u16string utf16_from_bytes(std::string_view src) {
  std::u16string w;
  w.reserve(src.size() / 2);
  for (std::size_t i = 0; i + 1 < src.size(); i += 2) {
    const char16_t u = static_cast<char16_t>(static_cast<unsigned char>(src[i]) |
                                             (static_cast<unsigned char>(src[i + 1]) << 8));
    if (u == 0) break;
    w.push_back(u);
  }
  return w;
}

std::string unicode_to_sjis(std::string_view src, int code, int* result) {
  std::u16string w;
  bool ok = true;
  if (code == kUtf16ToSjis)
    w = utf16_from_bytes(src);
  else
    ok = backend::to_utf16(code == kUtf7ToSjis ? backend::kCpUtf7 : backend::kCpUtf8, src, w);
  std::string out;
  ok = ok && backend::from_utf16(backend::kCp932, w, out);
  if (!ok) {
    if (result) *result = 0;
    return {};
  }
  return bounded(out, src.size(), clamp_int(out.size() + 1), result);
}

std::string sjis_to_unicode(std::string_view src, int code, int* result) {
  std::u16string w;
  if (!backend::to_utf16(backend::kCp932, src, w)) {
    if (result) *result = 0;
    return {};
  }
  std::string out;
  if (code == kSjisToUtf16) {
    out.resize(w.size() * 2);
    for (std::size_t i = 0; i < w.size(); ++i) {
      out[2 * i] = static_cast<char>(w[i] & 0xFF);
      out[2 * i + 1] = static_cast<char>(w[i] >> 8);
    }
    return bounded(out, src.size(), clamp_int(w.size() + 1), result);
  }
  if (!backend::from_utf16(code == kSjisToUtf7 ? backend::kCpUtf7 : backend::kCpUtf8, w, out)) {
    if (result) *result = 0;
    return {};
  }
  return bounded(out, src.size(), clamp_int(out.size() + 1), result);
}

}  // namespace

std::string code_conv(std::string_view src, int code, int* result) {
  std::string out;
  switch (code) {
    case kSjisToJis:
      out = sjis_to_iso2022jp(src);
      return bounded(out, src.size(), clamp_int(out.size()), result);
    case kJisToSjis:
      out = iso2022jp_to_sjis(src);
      return bounded(out, src.size(), clamp_int(out.size()), result);
    case kEucToJis:
      out = euc_to_iso2022jp(src);
      return bounded(out, src.size(), clamp_int(out.size()), result);
    case kEucToSjis:
      out = iso2022jp_to_sjis(euc_to_iso2022jp(src));
      return bounded(out, src.size(), clamp_int(out.size()), result);
    case kUtf7ToSjis:
    case kUtf8ToSjis:
    case kUtf16ToSjis:
      return unicode_to_sjis(src, code, result);
    case kSjisToUtf7:
    case kSjisToUtf8:
    case kSjisToUtf16:
      return sjis_to_unicode(src, code, result);
    default:
      if (result) *result = 0;
      return {};
  }
}

std::size_t sjis_cut(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t i = 0;
  while (i < limit) {
    const std::size_t step =
        (is_sjis_lead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
    if (i + step > limit) break;
    i += step;
  }
  return i;
}

}  // namespace inkwell2
