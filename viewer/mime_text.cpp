#include "viewer/mime_text.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tidewell {

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerTrimmed(std::string_view name) {
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t' || name.front() == '"')) name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '"')) name.remove_suffix(1);
  std::string lower(name);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

void AppendUtf8(std::uint32_t cp, std::string& out) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
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

// Windows-1252 0x80-0x9F; 0xFFFD where the code page has no character.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

std::string SingleByteToUtf8(std::string_view bytes, bool windows1252) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (char ch : bytes) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == 0) continue;
    std::uint32_t cp = c;
    if (windows1252 && c >= 0x80 && c <= 0x9F) cp = kCp1252High[c - 0x80];
    AppendUtf8(cp, out);
  }
  return out;
}

// UTF-16 bytes as Code_Conv code 7 reads them: little-endian units ended by a
// zero unit, the byte-order mark left out.
std::string Utf16LeSource(std::string_view bytes, Charset charset) {
  bool big = charset == Charset::kUtf16Be;
  if (bytes.size() >= 2) {
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    const auto b1 = static_cast<unsigned char>(bytes[1]);
    if (b0 == 0xFF && b1 == 0xFE && charset != Charset::kUtf16Be) {
      big = false;
      bytes.remove_prefix(2);
    } else if (b0 == 0xFE && b1 == 0xFF && charset != Charset::kUtf16Le) {
      big = true;
      bytes.remove_prefix(2);
    } else if (charset == Charset::kUtf16) {
      // No mark: big-endian unless the bytes plainly are little-endian text
      // (zero high bytes of ASCII characters in the odd places).
      std::size_t even_zero = 0, odd_zero = 0;
      for (std::size_t i = 0; i + 1 < std::min<std::size_t>(bytes.size(), 4096); i += 2) {
        even_zero += bytes[i] == '\0';
        odd_zero += bytes[i + 1] == '\0';
      }
      big = !(odd_zero > even_zero);
    }
  }
  std::string out;
  out.reserve(bytes.size() + 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(big ? bytes[i + 1] : bytes[i]);
    out.push_back(big ? bytes[i] : bytes[i + 1]);
  }
  out.append(2, '\0');
  return out;
}

bool IsAsciiOnly(std::string_view bytes) {
  for (char c : bytes) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x80 || u == 0x1B || u == 0) return false;
  }
  return true;
}

std::string WithoutZeros(std::string_view bytes) {
  std::string out(bytes);
  out.erase(std::remove(out.begin(), out.end(), '\0'), out.end());
  return out;
}

int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsQuoted(std::string_view encoding) { return LowerTrimmed(encoding) == "quoted-printable"; }
bool IsBase64(std::string_view encoding) { return LowerTrimmed(encoding) == "base64"; }

}  // namespace

Charset CharsetOf(std::string_view name) {
  const std::string n = LowerTrimmed(name);
  if (n.empty()) return Charset::kNone;
  struct Alias {
    std::string_view name;
    Charset charset;
  };
  static constexpr Alias kAliases[] = {
      {"iso-2022-jp", Charset::kJis},     {"iso-2022-jp-1", Charset::kJis},   {"iso-2022-jp-2", Charset::kJis},
      {"iso-2022-jp-3", Charset::kJis},   {"iso-2022-jp-2004", Charset::kJis}, {"csiso2022jp", Charset::kJis},
      {"jis", Charset::kJis},             {"shift_jis", Charset::kSjis},      {"shift-jis", Charset::kSjis},
      {"sjis", Charset::kSjis},           {"x-sjis", Charset::kSjis},         {"windows-31j", Charset::kSjis},
      {"cp932", Charset::kSjis},          {"ms932", Charset::kSjis},          {"x-ms-cp932", Charset::kSjis},
      {"ms_kanji", Charset::kSjis},       {"csshiftjis", Charset::kSjis},     {"csWindows31J", Charset::kSjis},
      {"shift_jisx0213", Charset::kSjis}, {"euc-jp", Charset::kEuc},          {"x-euc-jp", Charset::kEuc},
      {"eucjp", Charset::kEuc},           {"euc_jp", Charset::kEuc},          {"cseucpkdfmtjapanese", Charset::kEuc},
      {"utf-8", Charset::kUtf8},          {"utf8", Charset::kUtf8},           {"unicode-1-1-utf-8", Charset::kUtf8},
      {"utf-7", Charset::kUtf7},          {"utf7", Charset::kUtf7},           {"utf-16", Charset::kUtf16},
      {"utf16", Charset::kUtf16},         {"ucs-2", Charset::kUtf16},         {"utf-16le", Charset::kUtf16Le},
      {"utf-16be", Charset::kUtf16Be},    {"us-ascii", Charset::kAscii},      {"ascii", Charset::kAscii},
      {"ansi_x3.4-1968", Charset::kAscii}, {"iso-8859-1", Charset::kLatin1},  {"iso8859-1", Charset::kLatin1},
      {"iso_8859-1", Charset::kLatin1},   {"latin1", Charset::kLatin1},       {"l1", Charset::kLatin1},
      {"iso-8859-15", Charset::kLatin1},  {"windows-1252", Charset::kWindows1252},
      {"cp1252", Charset::kWindows1252},  {"x-cp1252", Charset::kWindows1252},
  };
  for (const Alias& a : kAliases) {
    if (a.name.size() != n.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < n.size() && same; ++i) same = AsciiLower(a.name[i]) == n[i];
    if (same) return a.charset;
  }
  return Charset::kUnknown;
}

bool LooksLikeUtf8(std::string_view bytes) {
  bool multi = false;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len = 0;
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c >= 0xE0 && c <= 0xEF) len = 3;
    else if (c >= 0xF0 && c <= 0xF4) len = 4;
    else return false;
    if (i + len > n) return multi;  // a sequence cut at the end of a fetched part
    for (std::size_t k = 1; k < len; ++k)
      if ((p[i + k] & 0xC0) != 0x80) return false;
    multi = true;
    i += len;
  }
  return multi;
}

std::string CrLfText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else if (c != '\0') {
      out.push_back(c);
    }
  }
  return out;
}

bool ConvertToSjis(TextCodec& codec, std::string_view bytes, Charset charset, std::string& out) {
  out.clear();
  const bool wide = charset == Charset::kUtf16 || charset == Charset::kUtf16Le || charset == Charset::kUtf16Be;
  if (bytes.empty()) return true;
  if (!wide && charset != Charset::kUtf7 && IsAsciiOnly(bytes)) {
    out = CrLfText(bytes);
    return true;
  }
  int code = 0;
  std::string source;
  switch (charset) {
    case Charset::kSjis:
      out = CrLfText(bytes);
      return true;
    case Charset::kNone:
    case Charset::kUnknown:
      code = LooksLikeUtf8(bytes) ? 6 : 2;
      break;
    case Charset::kJis:
    case Charset::kAscii:
      code = 2;
      break;
    case Charset::kEuc:
      code = 4;
      break;
    case Charset::kUtf8:
      code = 6;
      if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
      break;
    case Charset::kUtf7:
      code = 5;
      break;
    case Charset::kUtf16:
    case Charset::kUtf16Le:
    case Charset::kUtf16Be:
      code = 7;
      source = Utf16LeSource(bytes, charset);
      break;
    case Charset::kLatin1:
    case Charset::kWindows1252:
      code = 6;
      source = SingleByteToUtf8(bytes, charset == Charset::kWindows1252);
      break;
  }
  if (code != 7 && source.empty()) source = WithoutZeros(bytes);
  std::string converted;
  if (!codec.CodeConv(source, code, converted)) return false;
  out = CrLfText(converted);
  return true;
}

std::string DecodeBase64(std::string_view text, std::size_t limit) {
  std::string out;
  out.reserve(std::min(limit, text.size() / 4 * 3 + 3));
  std::uint32_t group = 0;
  int have = 0;
  for (char ch : text) {
    if (out.size() >= limit) break;
    if (ch == '=') break;
    const int v = Base64Value(static_cast<unsigned char>(ch));
    if (v < 0) continue;
    group = group << 6 | static_cast<std::uint32_t>(v);
    if (++have == 4) {
      out.push_back(static_cast<char>(group >> 16));
      out.push_back(static_cast<char>(group >> 8));
      out.push_back(static_cast<char>(group));
      group = 0;
      have = 0;
    }
  }
  // A group cut short still holds its whole bytes: 2 characters one byte, 3 two.
  if (have == 2) {
    out.push_back(static_cast<char>(group >> 4));
  } else if (have == 3) {
    out.push_back(static_cast<char>(group >> 10));
    out.push_back(static_cast<char>(group >> 2));
  }
  if (out.size() > limit) out.resize(limit);
  return out;
}

std::string DecodeQuotedPrintable(std::string_view text, std::size_t limit) {
  std::string out;
  out.reserve(std::min(limit, text.size()));
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n && out.size() < limit;) {
    const char c = text[i];
    if (c != '=') {
      out.push_back(c);
      ++i;
      continue;
    }
    if (i + 2 < n && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) << 4 | HexValue(text[i + 2])));
      i += 3;
      continue;
    }
    // A soft line break: "=" then blanks to the line end.
    std::size_t j = i + 1;
    while (j < n && (text[j] == ' ' || text[j] == '\t')) ++j;
    if (j < n && (text[j] == '\r' || text[j] == '\n')) {
      if (text[j] == '\r' && j + 1 < n && text[j + 1] == '\n') ++j;
      i = j + 1;
      continue;
    }
    if (j == n) break;  // "=" at the very end: a part cut short
    out.push_back(c);
    ++i;
  }
  if (out.size() > limit) out.resize(limit);
  return out;
}

std::size_t DecodedSize(std::string_view text, std::string_view transfer_encoding) {
  if (IsBase64(transfer_encoding)) {
    std::size_t chars = 0;
    for (char ch : text) {
      if (ch == '=') break;
      if (Base64Value(static_cast<unsigned char>(ch)) >= 0) ++chars;
    }
    return chars / 4 * 3 + (chars % 4 == 3 ? 2 : chars % 4 == 2 ? 1 : 0);
  }
  if (IsQuoted(transfer_encoding)) return DecodeQuotedPrintable(text).size();
  return text.size();
}

std::string DecodeTransfer(std::string_view text, std::string_view transfer_encoding, std::size_t limit) {
  if (IsBase64(transfer_encoding)) return DecodeBase64(text, limit);
  if (IsQuoted(transfer_encoding)) return DecodeQuotedPrintable(text, limit);
  return std::string(text.substr(0, std::min(limit, text.size())));
}

// ---- HTML ------------------------------------------------------------------

namespace {

// Marks a character reference whose character the codec converts later;
// the byte is taken out of the input first.
constexpr char kEntityMark = '\x01';

struct NamedEntity {
  std::string_view name;
  std::uint32_t cp;
};

constexpr NamedEntity kEntities[] = {
    {"amp", '&'},       {"lt", '<'},        {"gt", '>'},        {"quot", '"'},      {"apos", '\''},
    {"nbsp", ' '},      {"ensp", ' '},      {"emsp", ' '},      {"thinsp", ' '},    {"copy", 0xA9},
    {"reg", 0xAE},      {"trade", 0x2122},  {"yen", 0xA5},      {"euro", 0x20AC},   {"pound", 0xA3},
    {"cent", 0xA2},     {"hellip", 0x2026}, {"mdash", 0x2014},  {"ndash", 0x2013},  {"lsquo", 0x2018},
    {"rsquo", 0x2019},  {"ldquo", 0x201C},  {"rdquo", 0x201D},  {"laquo", 0xAB},    {"raquo", 0xBB},
    {"bull", 0x2022},   {"middot", 0xB7},   {"times", 0xD7},    {"divide", 0xF7},   {"deg", 0xB0},
    {"plusmn", 0xB1},   {"sect", 0xA7},     {"para", 0xB6},     {"larr", 0x2190},   {"rarr", 0x2192},
    {"uarr", 0x2191},   {"darr", 0x2193},   {"shy", 0},         {"zwnj", 0},        {"zwj", 0},
    {"lrm", 0},         {"rlm", 0},
};

bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }
bool IsAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool StartsNoCase(std::string_view text, std::size_t pos, std::string_view what) {
  if (text.size() - std::min(pos, text.size()) < what.size()) return false;
  for (std::size_t i = 0; i < what.size(); ++i)
    if (AsciiLower(text[pos + i]) != what[i]) return false;
  return true;
}

enum class TagKind { kOther, kBreak, kBlock, kCell, kSkip, kPre };

TagKind KindOf(std::string_view name) {
  static constexpr std::string_view kBlocks[] = {
      "p", "div", "li", "tr", "h1", "h2", "h3", "h4", "h5", "h6", "table", "ul", "ol", "dl", "dt", "dd",
      "blockquote", "hr", "address", "center", "form", "header", "footer", "section", "article", "nav",
      "aside", "tbody", "thead", "tfoot", "caption", "fieldset", "figure", "main", "body", "html"};
  static constexpr std::string_view kSkips[] = {"script", "style", "head", "title", "noscript", "template",
                                                "object", "iframe", "svg"};
  if (name == "br") return TagKind::kBreak;
  if (name == "pre" || name == "xmp" || name == "listing" || name == "plaintext") return TagKind::kPre;
  if (name == "td" || name == "th") return TagKind::kCell;
  for (std::string_view b : kBlocks)
    if (name == b) return TagKind::kBlock;
  for (std::string_view s : kSkips)
    if (name == s) return TagKind::kSkip;
  return TagKind::kOther;
}

// Builds the text, line by line: blanks collapse to one space between words,
// no line starts or ends with one, and at most one blank line in a row.
class TextSink {
 public:
  void Char(char c) {
    if (pending_space_ && !line_empty_) out_.push_back(' ');
    pending_space_ = false;
    out_.push_back(c);
    line_empty_ = false;
    breaks_ = 0;
  }
  void Space() { pending_space_ = true; }
  // A raw character of a pre block (spaces kept).
  void PreChar(char c) {
    out_.push_back(c);
    line_empty_ = false;
    breaks_ = 0;
  }
  void Break() {
    pending_space_ = false;
    if (out_.empty() || breaks_ >= 2) return;
    out_ += "\r\n";
    line_empty_ = true;
    ++breaks_;
  }
  // Ends the current line if it has text (a block edge).
  void EndLine() {
    if (!line_empty_) Break();
  }
  // A block edge that also leaves a blank line (paragraphs).
  void Paragraph() {
    EndLine();
    Break();
  }
  std::string Take() {
    while (out_.size() >= 2 && out_.compare(out_.size() - 2, 2, "\r\n") == 0) out_.resize(out_.size() - 2);
    if (!out_.empty()) out_ += "\r\n";
    return std::move(out_);
  }

 private:
  std::string out_;
  bool pending_space_ = false;
  bool line_empty_ = true;
  int breaks_ = 0;
};

// The character of an entity at text[pos] ('&'), and its length; false when
// it is not one (the '&' then stands for itself).
bool ReadEntity(std::string_view text, std::size_t pos, std::uint32_t& cp, std::size_t& length) {
  std::size_t i = pos + 1;
  if (i < text.size() && text[i] == '#') {
    ++i;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex) ++i;
    const std::size_t digits = i;
    std::uint64_t v = 0;
    while (i < text.size() && i - digits < 10) {
      const int d = hex ? HexValue(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
      if (d < 0) break;
      v = v * (hex ? 16 : 10) + static_cast<unsigned>(d);
      ++i;
    }
    if (i == digits) return false;
    if (i < text.size() && text[i] == ';') ++i;
    cp = (v == 0 || v > 0x10FFFF) ? 0xFFFD : static_cast<std::uint32_t>(v);
    length = i - pos;
    return true;
  }
  const std::size_t start = i;
  while (i < text.size() && IsAlnum(text[i]) && i - start < 10) ++i;
  const std::string_view name = text.substr(start, i - start);
  for (const NamedEntity& e : kEntities) {
    if (e.name != name) continue;
    if (i < text.size() && text[i] == ';') ++i;
    cp = e.cp;
    length = i - pos;
    return true;
  }
  return false;
}

// Position after the end tag "</name" (its '>' included), or the end of text.
std::size_t SkipElement(std::string_view text, std::size_t from, std::string_view name) {
  for (std::size_t i = text.find('<', from); i != std::string_view::npos; i = text.find('<', i + 1)) {
    if (i + 1 < text.size() && text[i + 1] == '/' && StartsNoCase(text, i + 2, name)) {
      const std::size_t after = i + 2 + name.size();
      if (after >= text.size() || !IsAlnum(text[after])) {
        const std::size_t close = text.find('>', after);
        return close == std::string_view::npos ? text.size() : close + 1;
      }
    }
  }
  return text.size();
}

// End of a tag starting at pos ('<'): after its '>', quoted attribute values
// stepped over; the end of text when it has none.
std::size_t TagEnd(std::string_view text, std::size_t pos) {
  char quote = 0;
  for (std::size_t i = pos + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      // Only a quote that opens an attribute value counts.
      if (text[i - 1] == '=' || IsHtmlSpace(text[i - 1])) quote = c;
    } else if (c == '>') {
      return i + 1;
    }
  }
  // An unclosed quote: the tag ends at the first '>' after all.
  const std::size_t close = text.find('>', pos + 1);
  return close == std::string_view::npos ? text.size() : close + 1;
}

}  // namespace

std::string HtmlToText(TextCodec& codec, std::string_view html) {
  TextSink sink;
  std::vector<std::uint32_t> marked;  // characters behind the kEntityMark bytes, in order
  bool pre = false;
  const std::size_t n = html.size();
  for (std::size_t i = 0; i < n;) {
    const char c = html[i];
    if (c == '<' && i + 1 < n && (html[i + 1] == '!' || html[i + 1] == '?' || html[i + 1] == '/' ||
                                  (AsciiLower(html[i + 1]) >= 'a' && AsciiLower(html[i + 1]) <= 'z'))) {
      if (html.compare(i, 4, "<!--") == 0) {
        const std::size_t end = html.find("-->", i + 4);
        i = end == std::string_view::npos ? n : end + 3;
        continue;
      }
      const std::size_t end = TagEnd(html, i);
      const bool closing = html[i + 1] == '/';
      std::size_t p = i + (closing ? 2 : 1);
      std::string name;
      while (p < end && IsAlnum(html[p]) && name.size() < 16) name.push_back(AsciiLower(html[p++]));
      i = end;
      switch (KindOf(name)) {
        case TagKind::kBreak:
          sink.Break();
          break;
        case TagKind::kBlock:
          if (name == "p" || name == "blockquote" || name == "table" || name == "ul" || name == "ol" ||
              (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6'))
            sink.Paragraph();
          else
            sink.EndLine();
          break;
        case TagKind::kCell:
          if (!closing) sink.Space();
          break;
        case TagKind::kPre:
          sink.EndLine();
          pre = !closing;
          break;
        case TagKind::kSkip:
          if (!closing && html[end - 2] != '/') i = SkipElement(html, end, name);
          break;
        case TagKind::kOther:
          break;
      }
      continue;
    }
    if (c == '&') {
      std::uint32_t cp = 0;
      std::size_t length = 0;
      if (ReadEntity(html, i, cp, length)) {
        i += length;
        if (cp == 0) continue;
        if (cp == ' ' || cp == '\t') {
          sink.Char(' ');
        } else if (cp == '\r' || cp == '\n') {
          pre ? sink.Break() : sink.Space();
        } else if (cp < 0x20 || cp == 0x7F) {
          // control characters are left out
        } else if (cp < 0x80) {
          sink.Char(static_cast<char>(cp));
        } else {
          marked.push_back(cp);
          sink.Char(kEntityMark);
        }
        continue;
      }
    }
    ++i;
    if (c == kEntityMark || c == '\0') continue;
    if (pre) {
      if (c == '\n' || c == '\r') {
        if (c == '\r' && i < n && html[i] == '\n') ++i;
        sink.Break();
      } else {
        sink.PreChar(c);
      }
    } else if (IsHtmlSpace(c)) {
      sink.Space();
    } else {
      sink.Char(c);
    }
  }
  std::string text = sink.Take();
  if (marked.empty()) return text;

  // One conversion for every referenced character, one per line.
  std::string utf8;
  for (std::uint32_t cp : marked) {
    AppendUtf8(cp, utf8);
    utf8.push_back('\n');
  }
  std::string converted;
  std::vector<std::string> chars;
  if (codec.CodeConv(utf8, 6, converted)) {
    std::size_t from = 0;
    for (std::size_t nl = converted.find('\n'); nl != std::string::npos; nl = converted.find('\n', from)) {
      chars.push_back(converted.substr(from, nl - from));
      from = nl + 1;
    }
  }
  std::string out;
  out.reserve(text.size() + marked.size());
  std::size_t k = 0;
  for (char ch : text) {
    if (ch != kEntityMark) {
      out.push_back(ch);
      continue;
    }
    out += k < chars.size() && !chars[k].empty() ? chars[k] : std::string("?");
    ++k;
  }
  return out;
}

}  // namespace tidewell
