// Codes 1 to 4 of Code_Conv: Shift_JIS, ISO-2022-JP and EUC-JP by arithmetic.
#include "inkwell2/conv_internal.h"

#include <cstring>

namespace inkwell2 {
namespace {

constexpr unsigned char kEsc = 0x1B;

inline bool is_jis(unsigned char c) { return c >= 0x21 && c <= 0x7E; }
inline bool is_euc(unsigned char c) { return c >= 0xA1 && c <= 0xFE; }

// Output buffer that grows in place; callers make room before each step.
class Out {
 public:
  explicit Out(std::size_t reserve) : s_(reserve + 16, '\0') {}
  // Ensures at least k more bytes can be written.
  inline unsigned char* room(std::size_t k) {
    if (pos_ + k > s_.size()) s_.resize((s_.size() + k) * 2);
    return reinterpret_cast<unsigned char*>(&s_[pos_]);
  }
  inline void put(unsigned char c) { s_[pos_++] = static_cast<char>(c); }
  inline void put2(unsigned char a, unsigned char b) {
    s_[pos_] = static_cast<char>(a);
    s_[pos_ + 1] = static_cast<char>(b);
    pos_ += 2;
  }
  inline void put3(unsigned char a, unsigned char b, unsigned char c) {
    s_[pos_] = static_cast<char>(a);
    s_[pos_ + 1] = static_cast<char>(b);
    s_[pos_ + 2] = static_cast<char>(c);
    pos_ += 3;
  }
  std::string take() {
    s_.resize(pos_);
    return std::move(s_);
  }

 private:
  std::string s_;
  std::size_t pos_ = 0;
};

// Writes CR LF for the line end at p[i] (CR, LF or CR LF) and returns the
// number of input bytes it covers, or 0 when p[i] is not a line end.
inline std::size_t line_end(const unsigned char* p, std::size_t i, std::size_t n, Out& out) {
  if (p[i] == '\n') {
    out.put2('\r', '\n');
    return 1;
  }
  if (p[i] == '\r') {
    out.put2('\r', '\n');
    return (i + 1 < n && p[i + 1] == '\n') ? 2 : 1;
  }
  return 0;
}

// JIS X 0201 katakana (0xA1-0xDF) as JIS X 0208 full-width characters.
const unsigned short kHalfKanaToJis[63] = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, 0x2525, 0x2527, 0x2529,
    0x2563, 0x2565, 0x2567, 0x2543, 0x213C, 0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B,
    0x252D, 0x252F, 0x2531, 0x2533, 0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, 0x2541,
    0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C, 0x254D, 0x254E, 0x254F, 0x2552, 0x2555,
    0x2558, 0x255B, 0x255E, 0x255F, 0x2560, 0x2561, 0x2562, 0x2564, 0x2566, 0x2568, 0x2569,
    0x256A, 0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C};

}  // namespace

bool sjis_to_jis(unsigned char s1, unsigned char s2, unsigned char& j1, unsigned char& j2) {
  if (!is_sjis_lead(s1) || !is_sjis_trail(s2)) return false;
  const int k = s1 < 0xA0 ? s1 - 0x81 : s1 - 0xC1;
  int a, b;
  if (s2 >= 0x9F) {
    a = 2 * k + 0x22;
    b = s2 - 0x7E;
  } else {
    a = 2 * k + 0x21;
    b = s2 <= 0x7E ? s2 - 0x1F : s2 - 0x20;
  }
  if (a < 0x21 || a > 0x7E || b < 0x21 || b > 0x7E) return false;
  j1 = static_cast<unsigned char>(a);
  j2 = static_cast<unsigned char>(b);
  return true;
}

void jis_to_sjis(unsigned char j1, unsigned char j2, unsigned char& s1, unsigned char& s2) {
  if (j1 & 1)
    s2 = static_cast<unsigned char>(j2 <= 0x5F ? j2 + 0x1F : j2 + 0x20);
  else
    s2 = static_cast<unsigned char>(j2 + 0x7E);
  int a = ((j1 - 0x21) >> 1) + 0x81;
  if (a > 0x9F) a += 0x40;
  s1 = static_cast<unsigned char>(a);
}

// Code 1. A two-byte character without a JIS X 0208 code becomes the geta
// mark (JIS 0x222E); a lead byte whose next byte is no trail byte is dropped
// and the next byte is taken on its own, so no line end or letter is lost.
std::string sjis_to_iso2022jp(std::string_view src) {
  const auto* p = reinterpret_cast<const unsigned char*>(src.data());
  const std::size_t n = src.size();
  Out out(n + n / 2);
  bool two = false;
  std::size_t i = 0;
  while (i < n) {
    out.room(8);
    const unsigned char c = p[i];
    if (is_sjis_lead(c)) {
      unsigned char j1 = 0x22, j2 = 0x2E;
      if (i + 1 >= n || !is_sjis_trail(p[i + 1])) {
        ++i;  // lone lead byte
        continue;
      }
      sjis_to_jis(c, p[i + 1], j1, j2);  // geta mark stays when there is no code
      if (!two) {
        out.put3(kEsc, '$', 'B');
        two = true;
      }
      out.put2(j1, j2);
      i += 2;
      continue;
    }
    if (two) {
      out.put3(kEsc, '(', 'B');
      two = false;
    }
    if (std::size_t k = line_end(p, i, n, out)) {
      i += k;
    } else {
      out.put(c);
      ++i;
    }
  }
  if (two) {
    out.room(3);
    out.put3(kEsc, '(', 'B');
  }
  return out.take();
}

namespace {
// Shift_JIS bytes of every JIS pair, by the rule of jis_to_sjis.
struct JisPairs {
  unsigned char sjis[94 * 94 * 2];
  JisPairs() {
    for (int a = 0; a < 94; ++a)
      for (int b = 0; b < 94; ++b)
        jis_to_sjis(static_cast<unsigned char>(a + 0x21), static_cast<unsigned char>(b + 0x21),
                    sjis[2 * (a * 94 + b)], sjis[2 * (a * 94 + b) + 1]);
  }
};
const JisPairs kJisPairs;
}  // namespace

// Code 2. Every step writes at most as many bytes as it reads, except a lone
// CR or LF that becomes CR LF: the output starts at the input's size and grows
// only there. Runs of plain bytes and of JIS pairs go through tight loops.
std::string iso2022jp_to_sjis(std::string_view src) {
  const auto* p = reinterpret_cast<const unsigned char*>(src.data());
  const std::size_t n = src.size();
  std::string out(n + n / 32 + 16, '\0');
  auto* o = reinterpret_cast<unsigned char*>(out.data());
  bool two = false;
  std::size_t i = 0;
  while (i < n) {
    if (two) {
      // Pairs of JIS bytes, through the table of all 94 x 94 pairs.
      const unsigned char* pairs = kJisPairs.sjis;
      while (i + 1 < n) {
        const unsigned a = p[i] - 0x21u, b = p[i + 1] - 0x21u;
        if (a >= 94 || b >= 94) break;
        std::memcpy(o, pairs + 2 * (a * 94 + b), 2);
        o += 2;
        i += 2;
      }
      if (i >= n) break;
      if (is_jis(p[i])) {  // a JIS byte without a partner is dropped
        ++i;
        continue;
      }
    } else {
      // Bytes copied as they are.
      const std::size_t start = i;
      while (i < n && p[i] != kEsc && p[i] != '\r' && p[i] != '\n') ++i;
      std::memcpy(o, p + start, i - start);
      o += i - start;
      if (i >= n) break;
    }
    const unsigned char c = p[i];
    if (c == kEsc) {
      two = i + 2 < n && p[i + 1] == '$' && (p[i + 2] == 'B' || p[i + 2] == '@');
      i += 3;  // the escape and the two bytes after it, whatever they are
    } else if (c == '\r' || c == '\n') {
      // Room for this line end and for the rest of the input copied 1:1.
      const std::size_t used = static_cast<std::size_t>(o - reinterpret_cast<unsigned char*>(out.data()));
      if (used + 2 + (n - i) > out.size()) {
        out.resize(2 * (used + 2 + (n - i)));
        o = reinterpret_cast<unsigned char*>(out.data()) + used;
      }
      *o++ = '\r';
      *o++ = '\n';
      i += (c == '\r' && i + 1 < n && p[i + 1] == '\n') ? 2 : 1;
    } else {
      *o++ = c;  // spaces, controls and 8-bit bytes in two-byte mode
      ++i;
    }
  }
  out.resize(static_cast<std::size_t>(o - reinterpret_cast<unsigned char*>(out.data())));
  return out;
}

// Code 3. Code set 2 (0x8E + half-width katakana) becomes the full-width
// katakana; code set 3 (0x8F + two bytes, JIS X 0212) has no JIS X 0208 code
// and becomes the geta mark. A pair byte whose partner is missing is dropped.
std::string euc_to_iso2022jp(std::string_view src) {
  const auto* p = reinterpret_cast<const unsigned char*>(src.data());
  const std::size_t n = src.size();
  Out out(n + n / 2);
  bool two = false;
  std::size_t i = 0;
  auto enter = [&] {
    if (!two) {
      out.put3(kEsc, '$', 'B');
      two = true;
    }
  };
  while (i < n) {
    out.room(8);
    const unsigned char c = p[i];
    if (is_euc(c)) {
      if (i + 1 < n && is_euc(p[i + 1])) {
        enter();
        out.put2(c & 0x7F, p[i + 1] & 0x7F);
        i += 2;
      } else {
        ++i;
      }
      continue;
    }
    if (c == 0x8E && i + 1 < n && p[i + 1] >= 0xA1 && p[i + 1] <= 0xDF) {
      const unsigned short j = kHalfKanaToJis[p[i + 1] - 0xA1];
      enter();
      out.put2(static_cast<unsigned char>(j >> 8), static_cast<unsigned char>(j & 0xFF));
      i += 2;
      continue;
    }
    if (c == 0x8F && i + 2 < n && is_euc(p[i + 1]) && is_euc(p[i + 2])) {
      enter();
      out.put2(0x22, 0x2E);
      i += 3;
      continue;
    }
    if (c == 0x8E || c == 0x8F) {  // a broken code set 2 or 3 character
      ++i;
      continue;
    }
    if (two) {
      out.put3(kEsc, '(', 'B');
      two = false;
    }
    if (std::size_t k = line_end(p, i, n, out)) {
      i += k;
    } else {
      out.put(c);
      ++i;
    }
  }
  if (two) {
    out.room(3);
    out.put3(kEsc, '(', 'B');
  }
  return out.take();
}

}  // namespace inkwell2
