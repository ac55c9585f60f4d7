#include "viewer/header_text.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "common/sjis.h"
#include "viewer/mime_text.h"

namespace tidewell {

namespace {

constexpr std::string_view kCrLf = "\r\n";

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// Whether text at pos starts with what (ASCII letter case ignored).
bool StartsWithNoCase(std::string_view text, std::size_t pos, std::string_view what) {
  return pos <= text.size() && text.size() - pos >= what.size() && EqualNoCase(text.substr(pos, what.size()), what);
}

std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from) {
  if (what.empty()) return from <= text.size() ? from : std::string_view::npos;
  for (std::size_t i = from; i < text.size() && text.size() - i >= what.size(); ++i)
    if (StartsWithNoCase(text, i, what)) return i;
  return std::string_view::npos;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Cut(std::string text, std::size_t max) {
  if (text.size() > max) text.resize(max);
  return text;
}

// Start of the first line after the first line of text that holds field name
// (name, any case, then a space, a tab or ':'), or npos.
std::size_t FindField(std::string_view text, std::string_view name) {
  for (std::size_t hit = text.find(kCrLf); hit != std::string_view::npos; hit = text.find(kCrLf, hit + 2)) {
    const std::size_t line = hit + 2;
    if (!StartsWithNoCase(text, line, name)) continue;
    const std::size_t after = line + name.size();
    if (after < text.size() && (IsBlank(text[after]) || text[after] == ':')) return line;
  }
  return std::string_view::npos;
}

// Length of the run of spaces and tabs at pos.
std::size_t BlankRun(std::string_view text, std::size_t pos) {
  std::size_t n = 0;
  while (pos + n < text.size() && IsBlank(text[pos + n])) ++n;
  return n;
}

bool FoldedAt(std::string_view text, std::size_t pos) {
  return text.compare(pos, 2, kCrLf) == 0 && pos + 2 < text.size() && IsBlank(text[pos + 2]);
}

// sscanf-like pieces for FormatMailDate.
bool IsScanSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

void SkipSpace(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && IsScanSpace(text[pos])) ++pos;
}

// "%d": optional sign and at least one digit; values past int's range fail.
bool ScanInt(std::string_view text, std::size_t& pos, int& value) {
  SkipSpace(text, pos);
  std::size_t p = pos;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  const std::size_t digits = p;
  long long v = 0;
  while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
    v = v * 10 + (text[p] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
    ++p;
  }
  if (p == digits) return false;
  if (negative) v = -v;
  if (v > INT_MAX || v < INT_MIN) return false;
  value = static_cast<int>(v);
  pos = p;
  return true;
}

// "%s": a run of non-space bytes.
bool ScanWord(std::string_view text, std::size_t& pos, std::string_view& word) {
  SkipSpace(text, pos);
  const std::size_t start = pos;
  while (pos < text.size() && !IsScanSpace(text[pos])) ++pos;
  word = text.substr(start, pos - start);
  return pos > start;
}

// What follows the Base64 or quoted-printable decoding of a word in the
// charset it names: nothing (ISO-2022-JP, Shift_JIS and US-ASCII: the
// decoding's own conversion), a Code_Conv code, or a single-byte charset
// read through UTF-8. False for charsets that are left alone.
struct WordCharset {
  int conversion = 0;                 // Code_Conv code after decoding, 0 for none
  Charset single_byte = Charset::kNone;  // ISO-8859-1 or Windows-1252
};

bool WordCharsetOf(std::string_view name, WordCharset& out) {
  // RFC 2231 puts a language after '*': "=?utf-8*ja?B?...?=".
  name = name.substr(0, name.find('*'));
  switch (CharsetOf(name)) {
    case Charset::kJis:
    case Charset::kSjis:
    case Charset::kAscii:
      out = WordCharset{};
      return true;
    case Charset::kUtf8:
      out = WordCharset{6, Charset::kNone};
      return true;
    case Charset::kEuc:
      out = WordCharset{4, Charset::kNone};
      return true;
    case Charset::kLatin1:
    case Charset::kWindows1252:
      out = WordCharset{0, CharsetOf(name)};
      return true;
    default:
      return false;
  }
}

// Longest charset name looked at in a word.
constexpr std::size_t kMaxCharsetName = 40;

}  // namespace

std::size_t SjisPrefix(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t i = 0;
  while (i < limit) {
    const std::size_t step = IsSjisLead(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (i + step > limit) break;
    i += step;
  }
  return i;
}

void CopyToBuffer(std::string_view text, char* dst, std::size_t size) {
  if (size == 0) return;
  const std::size_t n = SjisPrefix(text, size - 1);
  std::memcpy(dst, text.data(), n);
  dst[n] = '\0';
}

std::string GetFieldValue(std::string_view text, std::string_view name, std::size_t max) {
  const std::size_t line = FindField(text, name);
  if (line == std::string_view::npos) return std::string();
  // Unfold: a CR LF followed by a space or tab goes away with the whole run
  // of blanks; a CR LF followed by anything else ends the field.
  std::string field;
  std::size_t pos = line;
  while (pos < text.size()) {
    if (text.compare(pos, 2, kCrLf) == 0) {
      if (!FoldedAt(text, pos)) break;
      pos += 2;
      pos += BlankRun(text, pos);
      continue;
    }
    field += text[pos++];
  }
  // Step over the name and its separator.
  std::size_t v = std::min(name.size(), field.size());
  bool blank_seen = false;
  while (v < field.size()) {
    if (field[v] == ':') {
      ++v;
    } else if (IsBlank(field[v]) && !blank_seen) {
      blank_seen = true;
      ++v;
    } else {
      break;
    }
  }
  return Cut(field.substr(v), max);
}

std::string GetFieldRaw(std::string_view text, std::string_view name, std::size_t max) {
  const std::size_t line = FindField(text, name);
  if (line == std::string_view::npos) return std::string();
  std::size_t end = line;
  while (end < text.size()) {
    if (text.compare(end, 2, kCrLf) == 0) {
      if (!FoldedAt(text, end)) break;
      end += 2;
      end += BlankRun(text, end);
      continue;
    }
    ++end;
  }
  return Cut(std::string(text.substr(line, end - line)), max);
}

std::string ReplaceFirst(std::string_view text, std::size_t max, std::string_view key,
                         std::string_view replacement) {
  const std::size_t at = key.empty() ? std::string_view::npos : text.find(key);
  if (at == std::string_view::npos) return Cut(std::string(text), max);
  std::string out;
  out.reserve(text.size() - key.size() + replacement.size());
  out.append(text.substr(0, at));
  out.append(replacement);
  out.append(text.substr(at + key.size()));
  return Cut(std::move(out), max);
}

std::string ExtractBetween(std::string_view text, std::size_t max, std::string_view start,
                           std::string_view end, bool exact, bool inner) {
  auto find = [&](std::string_view what, std::size_t from) {
    return exact ? text.find(what, from) : FindNoCase(text, what, from);
  };
  const std::size_t s = find(start, 0);
  if (s == std::string_view::npos) return std::string();
  std::size_t e = find(end, s + 1);
  std::size_t end_len = end.size();
  if (e == std::string_view::npos) {
    e = text.size();
    end_len = 0;
  }
  // The piece is [from, to); with inner set both markers are left out.
  const std::size_t from = inner ? s + start.size() : s;
  const std::size_t to = inner ? e : std::min(text.size(), e + end_len);
  if (to <= from || to - from > max) return std::string();
  return std::string(text.substr(from, to - from));
}

namespace {

// The encoded word at pos ("=?" there) decoded: true with its decoded text
// and the position after the word; false when it stays as it is.
bool DecodeWordAt(TextCodec& codec, const std::string& work, std::size_t pos, int op, std::string& decoded,
                  std::size_t& end) {
  const std::size_t name_start = pos + 2;
  const std::size_t name_end =
      std::string_view(work).substr(0, std::min(work.size(), name_start + kMaxCharsetName + 1)).find('?', name_start);
  if (name_end == std::string::npos || name_end == name_start || name_end - name_start > kMaxCharsetName) return false;
  const std::string_view name = std::string_view(work).substr(name_start, name_end - name_start);
  if (name.find_first_of(" \t\r\n=") != std::string_view::npos) return false;
  WordCharset charset;
  if (!WordCharsetOf(name, charset)) return false;
  // The encoded part: the letter, its "?", the text up to the next "?="
  // (searched past the letter and its "?", so a Q text starting with "="
  // is not taken for the end). Only a word shorter than kMaxEncodedWord is
  // decoded, so the search never looks further than that.
  const std::size_t letter = name_end + 1;
  if (letter + 2 > work.size()) return false;
  const std::size_t window_end = std::min(work.size(), pos + kMaxEncodedWord + 1);
  const std::size_t close = std::string_view(work).substr(0, window_end).find("?=", letter + 2);
  if (close == std::string_view::npos) return false;
  const std::size_t word_len = close + 2 - pos;
  if (word_len >= kMaxEncodedWord) return false;
  // A word broken by a line end is taken only up to it.
  std::size_t stop = close + 2;
  std::string encoded = work.substr(letter, close - letter);
  const std::size_t line_end = std::string_view(work).substr(0, stop).find_first_of("\r\n", pos);
  if (line_end < stop) {
    stop = line_end;
    encoded = line_end > letter ? work.substr(letter, line_end - letter) : std::string();
  }
  const std::string body = encoded.size() > 2 ? encoded.substr(2) : std::string();
  const char kind = encoded.empty() ? '\0' : encoded[0];
  // Single-byte charsets are decoded without the ISO-2022-JP conversion.
  const int word_op = charset.single_byte != Charset::kNone ? 11 : op;
  bool ok = true;
  if (kind == 'B' || kind == 'b') {
    ok = codec.Base64Coding(body, word_op, decoded);
  } else if (kind == 'Q' || kind == 'q') {
    ok = codec.QuotedCoding(body, word_op, decoded);
  } else {
    decoded = body;
  }
  if (ok && charset.conversion) {
    std::string converted;
    ok = codec.CodeConv(decoded, charset.conversion, converted);
    decoded.swap(converted);
  } else if (ok && charset.single_byte != Charset::kNone) {
    std::string converted;
    ok = ConvertToSjis(codec, decoded, charset.single_byte, converted);
    decoded.swap(converted);
  }
  if (!ok) return false;
  end = stop;
  return true;
}

}  // namespace

std::string DecodeEncodedWords(TextCodec& codec, std::string_view text, std::size_t max, bool raw) {
  std::string work;
  if (raw) {
    work.assign(text);
  } else if (!codec.CodeConv(std::string(text), 2, work)) {
    work.clear();
  }
  const int op = raw ? 11 : 12;
  // One pass: each word is decoded into the output and the search goes on
  // after it, so decoded text is never searched again.
  std::string out;
  out.reserve(work.size());
  std::size_t from = 0;
  for (std::size_t pos = work.find("=?"); pos != std::string::npos && out.size() < max;
       pos = work.find("=?", from)) {
    out.append(work, from, pos - from);
    std::string decoded;
    std::size_t end = 0;
    if (DecodeWordAt(codec, work, pos, op, decoded, end)) {
      out += decoded;
      from = end;
    } else {
      out += "=?";
      from = pos + 2;
    }
  }
  if (from < work.size() && out.size() < max) out.append(work, from, std::string::npos);
  // Decoding never makes the text longer than the working copy.
  return Cut(Cut(std::move(out), work.size()), max);
}

std::string FormatMailDate(std::string_view text) {
  const std::size_t fits = kMailDateBuffer - 1;
  const auto unchanged = [&] { return std::string(text.substr(0, SjisPrefix(text, fits))); };
  std::size_t pos = 0;
  const std::size_t comma = text.find(',');
  if (comma != std::string_view::npos) pos = std::min(text.size(), comma + 2);

  int day = 0, year = 0;
  std::string_view month_name, time;
  if (!ScanInt(text, pos, day) || day < 1 || day > 31) return unchanged();
  if (!ScanWord(text, pos, month_name) || !ScanInt(text, pos, year)) return unchanged();
  ScanWord(text, pos, time);

  static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int month = 1;
  for (int i = 0; i < 12; ++i) {
    if (EqualNoCase(month_name, kMonths[i])) {
      month = i + 1;
      break;
    }
  }
  std::string out = std::to_string(year) + "/" + std::to_string(month) + "/" + std::to_string(day) + " ";
  out.append(time);
  out.resize(SjisPrefix(out, fits));
  return out;
}

}  // namespace tidewell
