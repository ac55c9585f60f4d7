#include "viewer/mime_reader.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "viewer/header_text.h"

namespace tidewell {

namespace {

constexpr std::string_view kCrLf = "\r\n";
// Longest field value read from a part header; a header of megabytes costs
// one pass and no more.
constexpr std::size_t kMaxFieldValue = 16 * 1024;
constexpr std::size_t kMaxParameters = 64;
constexpr std::size_t kMaxAttachmentLines = 200;
constexpr std::size_t kNameLimit = 255;

// Texts of the window (Shift_JIS in the build).
constexpr std::string_view kFromLabel = "送信者：";
constexpr std::string_view kDateLabel = "日時：";
constexpr std::string_view kSubjectLabel = "件名：";
constexpr std::string_view kMessageRule = "-------- 添付されたメッセージ --------";
constexpr std::string_view kAttachmentLabel = "添付ファイル：";
constexpr std::string_view kBytes = " バイト";
constexpr std::string_view kEndedEarly = "（メッセージはここで途切れています。続きは受信していません）";
constexpr std::string_view kCutShort = "（長すぎるため、ここから先は表示していません）";

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r' || text.front() == '\n'))
    text.remove_prefix(1);
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  return text;
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  return true;
}

// ---- the file --------------------------------------------------------------

struct Normalized {
  std::string text;
  bool unterminated = false;  // a POP3 reply without its terminating line
};

// The message with CR LF line ends: the status line dropped and, in a POP3
// reply, dot-stuffing undone and the text ended at the terminating line.
Normalized Normalize(std::string_view file, bool first_line_is_status) {
  Normalized n;
  const bool reply = StartsNoCase(file, "+OK");
  std::size_t pos = 0;
  if (first_line_is_status || reply) {
    const std::size_t nl = file.find('\n');
    pos = nl == std::string_view::npos ? file.size() : nl + 1;
  }
  n.text.reserve(file.size() - pos + (file.size() - pos) / 16 + 2);
  n.unterminated = reply;
  while (pos < file.size()) {
    const char* start = file.data() + pos;
    const void* hit = std::memchr(start, '\n', file.size() - pos);
    const std::size_t nl = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - file.data()) : file.size();
    std::string_view line = file.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = nl + 1;
    if (reply && !line.empty() && line[0] == '.') {
      if (line.size() == 1) {
        n.unterminated = false;
        break;
      }
      line.remove_prefix(1);
    }
    n.text.append(line);
    if (hit) n.text.append(kCrLf);
  }
  return n;
}

// ---- headers and parameters ------------------------------------------------

struct Entity {
  std::string_view header;  // field lines, each ended by CR LF
  std::string_view body;
  bool header_ended = true;  // a blank line ends the header
};

Entity SplitEntity(std::string_view text) {
  if (text.substr(0, 2) == kCrLf) return {std::string_view(), text.substr(2), true};
  const std::size_t blank = text.find("\r\n\r\n");
  if (blank == std::string_view::npos) return {text, std::string_view(), false};
  return {text.substr(0, blank + 2), text.substr(blank + 4), true};
}

// The value of the first field called name, folded lines joined (their line
// ends dropped, the blanks kept), at most kMaxFieldValue bytes.
std::string Field(std::string_view header, std::string_view name) {
  std::size_t pos = 0;
  while (pos < header.size()) {
    std::size_t eol = header.find(kCrLf, pos);
    if (eol == std::string_view::npos) eol = header.size();
    const std::string_view line = header.substr(pos, eol - pos);
    pos = eol + 2;
    if (!StartsNoCase(line, name)) continue;
    std::size_t p = name.size();
    while (p < line.size() && IsBlank(line[p])) ++p;
    if (p >= line.size() || line[p] != ':') continue;
    std::string value(line.substr(p + 1, std::min(line.size() - p - 1, kMaxFieldValue)));
    while (pos < header.size() && IsBlank(header[pos])) {
      std::size_t next = header.find(kCrLf, pos);
      if (next == std::string_view::npos) next = header.size();
      if (value.size() < kMaxFieldValue)
        value.append(header.substr(pos, std::min(next - pos, kMaxFieldValue - value.size())));
      pos = next + 2;
    }
    return std::string(Trim(value));
  }
  return std::string();
}

struct Parameter {
  std::string name;   // lower case
  std::string value;  // quotes and escapes undone
};

// "type/subtype; a=b; c="d"": the lower-case type and the parameters.
std::string ParseValue(std::string_view value, std::vector<Parameter>* params) {
  std::size_t semi = value.find(';');
  const std::string type = Lower(Trim(value.substr(0, semi)));
  if (!params) return type;
  std::size_t pos = semi == std::string_view::npos ? value.size() : semi + 1;
  while (pos < value.size() && params->size() < kMaxParameters) {
    while (pos < value.size() && (IsBlank(value[pos]) || value[pos] == ';' || value[pos] == '\r' || value[pos] == '\n'))
      ++pos;
    const std::size_t name_start = pos;
    while (pos < value.size() && value[pos] != '=' && value[pos] != ';') ++pos;
    Parameter p;
    p.name = Lower(Trim(value.substr(name_start, pos - name_start)));
    if (pos >= value.size() || value[pos] == ';') {
      continue;
    }
    ++pos;  // '='
    while (pos < value.size() && IsBlank(value[pos])) ++pos;
    if (pos < value.size() && value[pos] == '"') {
      ++pos;
      while (pos < value.size() && value[pos] != '"') {
        if (value[pos] == '\\' && pos + 1 < value.size()) ++pos;
        p.value.push_back(value[pos++]);
      }
      ++pos;  // closing quote
      while (pos < value.size() && value[pos] != ';') ++pos;
    } else {
      const std::size_t start = pos;
      while (pos < value.size() && value[pos] != ';') ++pos;
      p.value = std::string(Trim(value.substr(start, pos - start)));
    }
    if (!p.name.empty()) params->push_back(std::move(p));
  }
  return type;
}

const Parameter* FindParameter(const std::vector<Parameter>& params, std::string_view name) {
  for (const Parameter& p : params)
    if (p.name == name) return &p;
  return nullptr;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(text[i + 1]) << 4 | HexDigit(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// A file name in an RFC 2231 form, or "" when there is none: name* or the
// continuations name*0, name*1 (each with or without its own '*').
bool Rfc2231Name(TextCodec& codec, const std::vector<Parameter>& params, std::string_view name, std::string& out) {
  struct Piece {
    int index;
    bool encoded;
    std::string_view value;
  };
  std::vector<Piece> pieces;
  const std::string prefix = std::string(name) + "*";
  for (const Parameter& p : params) {
    if (p.name.compare(0, prefix.size(), prefix) != 0) continue;
    // "name*" alone: one encoded value; "name*N" and "name*N*": piece N,
    // plain or encoded.
    std::string_view rest = std::string_view(p.name).substr(prefix.size());
    if (rest.empty()) {
      pieces.push_back({-1, true, p.value});
      continue;
    }
    const bool encoded = rest.back() == '*';
    if (encoded) rest.remove_suffix(1);
    if (rest.empty() || rest.size() > 4) continue;
    int index = 0;
    bool digits = true;
    for (char c : rest) {
      digits = digits && c >= '0' && c <= '9';
      index = index * 10 + (c - '0');
    }
    if (digits) pieces.push_back({index, encoded, p.value});
  }
  if (pieces.empty()) return false;
  std::stable_sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.index < b.index; });
  std::string charset_name;
  std::string bytes;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    std::string_view v = pieces[i].value;
    if (pieces[i].encoded) {
      if (i == 0) {
        const std::size_t q1 = v.find('\'');
        const std::size_t q2 = q1 == std::string_view::npos ? q1 : v.find('\'', q1 + 1);
        if (q2 != std::string_view::npos) {
          charset_name = std::string(v.substr(0, q1));
          v.remove_prefix(q2 + 1);
        }
      }
      bytes += PercentDecoded(v);
    } else {
      bytes.append(v);
    }
  }
  return ConvertToSjis(codec, bytes, CharsetOf(charset_name), out);
}

std::string DecodedName(TextCodec& codec, const std::vector<Parameter>& params, std::string_view name) {
  std::string out;
  if (Rfc2231Name(codec, params, name, out)) return out;
  const Parameter* p = FindParameter(params, name);
  if (!p) return std::string();
  if (p->value.find("=?") != std::string::npos) return DecodeEncodedWords(codec, p->value, p->value.size(), false);
  if (!ConvertToSjis(codec, p->value, Charset::kNone, out)) out = p->value;
  return out;
}

// ---- multipart -------------------------------------------------------------

// The parts of a multipart body between its delimiter lines ("--" boundary,
// then "--" on the closing one, then blanks). Each line is looked at once.
// closed: the closing delimiter was found.
std::vector<std::string_view> SplitParts(std::string_view body, std::string_view boundary, bool& found,
                                         bool& closed) {
  std::vector<std::string_view> parts;
  found = false;
  closed = false;
  std::size_t part_start = std::string_view::npos;
  std::size_t pos = 0;
  while (pos < body.size()) {
    const void* hit = std::memchr(body.data() + pos, '\n', body.size() - pos);
    const std::size_t nl = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - body.data()) : body.size();
    std::string_view line = body.substr(pos, nl - pos);
    const std::size_t line_start = pos;
    pos = nl + 1;
    // The boundary in any letter case, as the list has always matched it.
    if (line.size() < boundary.size() + 2 || line[0] != '-' || line[1] != '-' ||
        !StartsNoCase(line.substr(2), boundary))
      continue;
    std::string_view rest = line.substr(2 + boundary.size());
    const bool closing = rest.substr(0, 2) == "--";
    if (closing) rest.remove_prefix(2);
    if (!Trim(rest).empty()) continue;
    found = true;
    if (part_start != std::string_view::npos) {
      // The line end before a delimiter belongs to it.
      std::size_t end = line_start;
      if (end >= part_start + 2 && body.compare(end - 2, 2, kCrLf) == 0) end -= 2;
      else if (end > part_start && body[end - 1] == '\n') end -= 1;
      parts.push_back(body.substr(part_start, std::max(end, part_start) - part_start));
      if (parts.size() >= kMaxMimeParts) return parts;
    }
    if (closing) {
      closed = true;
      return parts;
    }
    part_start = std::min(pos, body.size());
  }
  if (part_start != std::string_view::npos) parts.push_back(body.substr(part_start));
  return parts;
}

// ---- the walk --------------------------------------------------------------

struct PartInfo {
  std::string type;  // lower case; text/plain when missing
  std::vector<Parameter> params;
  std::string disposition;
  std::vector<Parameter> disposition_params;
  std::string encoding;
  bool named = false;
};

PartInfo InfoOf(std::string_view header, bool digest) {
  PartInfo info;
  info.type = ParseValue(Field(header, "content-type"), &info.params);
  if (info.type.empty() || info.type.find('/') == std::string::npos)
    info.type = digest ? "message/rfc822" : "text/plain";
  info.disposition = ParseValue(Field(header, "content-disposition"), &info.disposition_params);
  info.encoding = Lower(Field(header, "content-transfer-encoding"));
  for (const std::vector<Parameter>* list : {&info.params, &info.disposition_params}) {
    for (const Parameter& p : *list) {
      const std::string_view n = p.name;
      if (n.substr(0, 4) == "name" || n.substr(0, 8) == "filename") info.named = true;
    }
  }
  return info;
}

bool IsMultipart(const PartInfo& info) { return info.type.compare(0, 10, "multipart/") == 0; }
bool IsMessage(const PartInfo& info) { return info.type == "message/rfc822" || info.type == "message/global"; }
bool IsAttachment(const PartInfo& info) { return info.disposition == "attachment" || info.named; }
bool IsText(const PartInfo& info) { return info.type.compare(0, 5, "text/") == 0; }
bool IsHtml(const PartInfo& info) { return info.type == "text/html"; }

std::string SizeText(std::size_t bytes) {
  std::string digits = std::to_string(bytes);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits + std::string(kBytes);
}

class Walker {
 public:
  explicit Walker(TextCodec& codec, std::size_t text_limit) : codec_(codec), text_limit_(text_limit) {}

  // One entity (a message or a part): its header and body already split.
  void Walk(const Entity& e, int depth, bool digest) {
    if (++parts_ > kMaxMimeParts || depth > kMaxMimeDepth) return;
    const PartInfo info = InfoOf(e.header, digest);
    if (IsMultipart(info)) {
      Multipart(e, info, depth);
    } else if (IsMessage(info)) {
      Message(e, info, depth);
    } else if (IsAttachment(info) || !IsText(info)) {
      Attachment(e, info);
    } else {
      Text(e, info);
    }
  }

  void Multipart(const Entity& e, const PartInfo& info, int depth) {
    const Parameter* boundary = FindParameter(info.params, "boundary");
    if (!boundary || boundary->value.empty()) {
      // Unreadable as parts: shown as it stands.
      Text(e, PartInfo());
      return;
    }
    bool found = false, closed = false;
    const std::vector<std::string_view> parts = SplitParts(e.body, boundary->value, found, closed);
    if (!closed) ended_early_ = true;
    const bool digest = info.type == "multipart/digest";
    if (info.type == "multipart/alternative") {
      // The plain text part, else the richest other readable one.
      int best = -1, best_score = 0;
      for (std::size_t i = 0; i < parts.size(); ++i) {
        const int score = Readability(SplitEntity(parts[i]));
        if (score > best_score) {
          best = static_cast<int>(i);
          best_score = score;
        }
      }
      if (best >= 0) Walk(SplitEntity(parts[static_cast<std::size_t>(best)]), depth + 1, false);
      return;
    }
    for (std::string_view part : parts) Walk(SplitEntity(part), depth + 1, digest);
  }

  // 3 plain text, 2 HTML, 1 anything else: what an alternative prefers. A
  // multipart is judged by its parts, and a multipart among those by its
  // being one: the look-ahead reads two levels, never the whole tree.
  int Readability(const Entity& e, int levels = 2) {
    const PartInfo info = InfoOf(e.header, false);
    if (IsMultipart(info)) {
      if (levels <= 1) return 2;
      const Parameter* boundary = FindParameter(info.params, "boundary");
      if (!boundary || boundary->value.empty()) return 1;
      bool found = false, closed = false;
      int best = 1;
      for (std::string_view part : SplitParts(e.body, boundary->value, found, closed)) {
        best = std::max(best, Readability(SplitEntity(part), levels - 1));
        if (best == 3 || info.type != "multipart/alternative") break;
      }
      return best;
    }
    if (IsAttachment(info) || !IsText(info)) return 1;
    return IsHtml(info) ? 2 : 3;
  }

  void Message(const Entity& e, const PartInfo& info, int depth) {
    const std::string& inner = Keep(DecodeTransfer(e.body, info.encoding));
    const Entity m = SplitEntity(inner);
    const std::string header = "\r\n" + std::string(m.header);
    std::string lines(kMessageRule);
    lines += "\r\n";
    auto add = [&](std::string_view label, const std::string& value) {
      lines.append(label).append(value).append(kCrLf);
    };
    const std::string from = GetFieldValue(header, "from", kMaxEncodedWord);
    const std::string subject = GetFieldValue(header, "subject", kMaxEncodedWord);
    add(kFromLabel, DecodeEncodedWords(codec_, from, from.size(), false));
    add(kDateLabel, FormatMailDate(GetFieldValue(header, "date", kMaxEncodedWord)));
    add(kSubjectLabel, DecodeEncodedWords(codec_, subject, subject.size(), false));
    AddBlock(lines);
    Walk(m, depth + 1, false);
  }

  void Attachment(const Entity& e, const PartInfo& info) {
    if (attachments_.size() >= kMaxAttachmentLines) return;
    std::string name = DecodedName(codec_, info.disposition_params, "filename");
    if (name.empty()) name = DecodedName(codec_, info.params, "name");
    for (char& c : name)
      if (c == '\r' || c == '\n' || c == '\t' || c == '\0') c = ' ';
    name.resize(SjisPrefix(name, kNameLimit));
    if (name.empty()) name = info.type;
    std::string line(kAttachmentLabel);
    line += name + " (" + SizeText(DecodedSize(e.body, info.encoding)) + ")\r\n";
    attachments_.push_back(std::move(line));
  }

  void Text(const Entity& e, const PartInfo& info) {
    if (shown_ >= text_limit_) return;
    std::string bytes = DecodeTransfer(e.body, info.encoding, kPartByteLimit);
    // Quoted-printable ISO-2022-JP sent without saying so: its escapes show.
    if (info.encoding.empty() && bytes.find("=1B$") != std::string::npos) bytes = DecodeQuotedPrintable(bytes);
    const Parameter* charset = FindParameter(info.params, "charset");
    std::string text;
    if (!ConvertToSjis(codec_, bytes, CharsetOf(charset ? std::string_view(charset->value) : std::string_view()),
                       text))
      text.clear();
    if (IsHtml(info)) text = HtmlToText(codec_, text);
    if (!have_part_) {
      have_part_ = true;
      part_ = std::move(bytes);
      part_html_ = IsHtml(info);
    }
    AddBlock(text);
  }

  void AddBlock(std::string text) {
    if (text.empty()) return;
    if (!text_.empty()) {
      if (text_.size() < 2 || text_.compare(text_.size() - 2, 2, kCrLf) != 0) text_ += kCrLf;
      text_ += kCrLf;
    }
    text_ += text;
    shown_ = text_.size();
  }

  const std::string& Keep(std::string s) {
    storage_.push_back(std::move(s));
    return storage_.back();
  }

  // The shown text: the blocks, the attachment lines, the notes.
  std::string Finish(bool ended_early) {
    ended_early = ended_early || ended_early_;
    std::string trailer;
    if (!attachments_.empty()) {
      trailer += kCrLf;
      for (const std::string& a : attachments_) trailer += a;
    }
    std::string ending;
    if (ended_early) ending = std::string(kCrLf) + std::string(kEndedEarly) + "\r\n";
    std::string text = std::move(text_);
    if (!text.empty() && (text.size() < 2 || text.compare(text.size() - 2, 2, kCrLf) != 0) &&
        (!trailer.empty() || !ending.empty()))
      text += kCrLf;
    const std::size_t room = text_limit_ > trailer.size() + ending.size() + kCutShort.size() + 4
                                 ? text_limit_ - trailer.size() - ending.size() - kCutShort.size() - 4
                                 : 0;
    if (text.size() + trailer.size() + ending.size() > text_limit_) {
      text.resize(SjisPrefix(text, room));
      text += "\r\n";
      text += kCutShort;
      text += "\r\n";
    }
    text += trailer;
    text += ending;
    text.resize(SjisPrefix(text, text_limit_));
    return text;
  }

  std::string part_;
  bool part_html_ = false;

 private:
  TextCodec& codec_;
  std::size_t text_limit_;
  std::size_t parts_ = 0;
  std::size_t shown_ = 0;
  bool have_part_ = false;
  bool ended_early_ = false;
  std::string text_;
  std::vector<std::string> attachments_;
  std::deque<std::string> storage_;
};

}  // namespace

std::string MimeParameter(std::string_view value, std::string_view name) {
  std::vector<Parameter> params;
  ParseValue(value, &params);
  const Parameter* p = FindParameter(params, Lower(name));
  return p ? p->value : std::string();
}

std::string MimeFileName(TextCodec& codec, std::string_view value, std::string_view name) {
  std::vector<Parameter> params;
  ParseValue(value, &params);
  return DecodedName(codec, params, Lower(name));
}

MessageRead ReadMessage(TextCodec& codec, std::string_view file, const ReadOptions& options) {
  MessageRead read;
  const Normalized n = Normalize(file, options.first_line_is_status);
  const Entity top = SplitEntity(n.text);
  read.header = "\r\n" + std::string(top.header);

  const PartInfo info = InfoOf(top.header, false);
  if (IsMultipart(info)) {
    // The faults the window reports, as the list has always reported them.
    const Parameter* boundary = FindParameter(info.params, "boundary");
    if (!boundary || boundary->value.empty()) {
      read.error = ReadError::kNoBoundary;
      return read;
    }
    if (!top.header_ended) {
      read.error = ReadError::kNoHeaderEnd;
      return read;
    }
    bool found = false, closed = false;
    const std::vector<std::string_view> parts = SplitParts(top.body, boundary->value, found, closed);
    if (parts.empty() || !SplitEntity(parts[0]).header_ended) {
      read.error = ReadError::kNoPartHeaderEnd;
      return read;
    }
  }
  Walker walker(codec, options.text_limit);
  walker.Walk(top, 0, false);
  read.text = walker.Finish(n.unterminated);
  read.part = std::move(walker.part_);
  read.part_html = walker.part_html_;
  return read;
}

}  // namespace tidewell
