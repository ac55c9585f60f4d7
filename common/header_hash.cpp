#include "common/header_hash.h"

namespace tidewell {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kTerminator = "\r\n.\r\n";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Whether the line at pos is a Status field: "status", blanks, ':'.
bool StatusLineAt(std::string_view text, std::size_t pos) {
  static constexpr std::string_view kName = "status";
  if (text.size() - pos < kName.size()) return false;
  for (std::size_t i = 0; i < kName.size(); ++i)
    if (Lower(text[pos + i]) != kName[i]) return false;
  std::size_t p = pos + kName.size();
  while (p < text.size() && IsBlank(text[p])) ++p;
  return p < text.size() && text[p] == ':';
}

}  // namespace

std::string HeaderWithoutStatus(std::string_view header) {
  std::size_t line = 0;
  while (line < header.size()) {
    const std::size_t end = header.find(kCrLf, line);
    if (end == line) break;  // the empty line: the header is over
    if (StatusLineAt(header, line)) {
      // The field runs on over every folded line (CR LF then a blank).
      std::size_t stop = end;
      while (stop != std::string_view::npos && stop + 2 < header.size() && IsBlank(header[stop + 2]))
        stop = header.find(kCrLf, stop + 2);
      stop = stop == std::string_view::npos ? header.size() : stop + kCrLf.size();
      std::string out;
      out.reserve(header.size() - (stop - line));
      out.append(header.substr(0, line));
      out.append(header.substr(stop));
      return out;
    }
    if (end == std::string_view::npos) break;
    line = end + kCrLf.size();
  }
  return std::string(header);
}

bool HeaderHashText(std::string_view buffer, std::string& out) {
  out.clear();
  const std::size_t a = buffer.find(kCrLf);
  if (a == std::string_view::npos) return false;
  const std::size_t b = buffer.find(kCrLf, a + 2);
  if (b == std::string_view::npos) return false;
  out = HeaderWithoutStatus(buffer.substr(b + 2));
  return true;
}

bool ReplyHeaderHashText(std::string_view reply, std::string& out) {
  out.clear();
  const std::size_t a = reply.find(kCrLf);
  if (a == std::string_view::npos) return false;
  // "\r\n" kept in front, so an empty header (the terminator right after the
  // status line) and an empty line right away are found as well.
  const std::string_view from_break = reply.substr(a);
  const std::size_t blank = from_break.find("\r\n\r\n");
  const std::size_t end = from_break.find(kTerminator);
  std::string header;
  if (end != std::string_view::npos && (blank == std::string_view::npos || end < blank)) {
    header.assign(from_break.substr(2, end + kTerminator.size() - 2));  // no body: the reply is its header
  } else if (blank != std::string_view::npos) {
    header.assign(from_break.substr(2, blank + 4 - 2));
    header.append(".\r\n");
  } else {
    return false;
  }
  out = HeaderWithoutStatus(header);
  return true;
}

}  // namespace tidewell
