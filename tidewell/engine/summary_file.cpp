#include "tidewell/engine/summary_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/atomic_file.h"
#include "viewer/header_text.h"

namespace tidewell {
namespace {

constexpr std::string_view kTerminator = "\r\n.\r\n";
constexpr int kHeaderBuffer = 1024;

// The notification's codec calls as the header decoder takes them.
class NotifyTextCodec : public TextCodec {
 public:
  explicit NotifyTextCodec(NotifyCodec& codec) : codec_(codec) {}
  bool CodeConv(const std::string& src, int code, std::string& out) override {
    out = codec_.CodeConv(src, code);
    return true;
  }
  bool Base64Coding(const std::string& src, int op, std::string& out) override {
    out = codec_.Base64Coding(src, op);
    return true;
  }
  bool QuotedCoding(const std::string& src, int op, std::string& out) override {
    out = codec_.QuotedCoding(src, op);
    return true;
  }

 private:
  NotifyCodec& codec_;
};

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads one "%d" as sscanf would: optional white space, sign, digits.
// Returns false when there is no number; out-of-range numbers give false too.
bool ReadInt(const char*& p, long long& value) {
  while (IsSpace(*p)) ++p;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(p, &end, 10);
  if (end == p) return false;
  if (errno == ERANGE || v > INT_MAX || v < INT_MIN) return false;
  p = end;
  value = v;
  return true;
}

std::string QuoteDoubled(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    out += c;
    if (c == '"') out += '"';
  }
  out += '"';
  return out;
}

}  // namespace

std::vector<std::string_view> SplitMailEntries(std::string_view file) {
  std::vector<std::string_view> entries;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = file.find(kTerminator, start);
    if (end == std::string_view::npos) break;
    entries.push_back(file.substr(start, end - start));
    start = end + kTerminator.size();
  }
  return entries;
}

int MailEntrySize(std::string_view entry) {
  std::size_t line_end = entry.find("\r\n");
  if (line_end == std::string_view::npos || line_end == 0) return -1;
  // "%*s %*d %d" over the first line, which ends at its first zero byte too.
  std::string line(entry.substr(0, line_end));
  const char* p = line.c_str();
  while (IsSpace(*p)) ++p;
  if (*p == '\0') return -1;
  while (*p != '\0' && !IsSpace(*p)) ++p;
  long long number = 0;
  if (!ReadInt(p, number)) return -1;
  long long size = 0;
  if (!ReadInt(p, size)) return -1;
  return size < 0 ? -1 : static_cast<int>(size);
}

std::string SummaryHeaderValue(NotifyCodec& codec, std::string_view entry, std::string_view name) {
  std::string value = codec.GetHeader(entry, name, kHeaderBuffer);
  if (value.size() > kHeaderBuffer - 1) value.resize(kHeaderBuffer - 1);
  // The list's decoder: raw ISO-2022-JP converted, then every encoded word in
  // ISO-2022-JP, Shift_JIS, UTF-8, EUC-JP or a Latin charset decoded by its
  // own letter.
  NotifyTextCodec text_codec(codec);
  return DecodeEncodedWords(text_codec, value, kHeaderBuffer - 1, false);
}

std::string SummaryLines(NotifyCodec& codec, std::string_view mail_file, std::string_view display_name) {
  std::string out;
  const std::string account = QuoteDoubled(display_name);
  for (std::string_view entry : SplitMailEntries(mail_file)) {
    if (entry.substr(0, 6) == "*ERR\r\n") {
      // A failed session: no mail, just the account.
      out += "\"\",\"\",\"\",-1,";
    } else {
      out += QuoteDoubled(SummaryHeaderValue(codec, entry, "subject"));
      out += ',';
      out += QuoteDoubled(SummaryHeaderValue(codec, entry, "from"));
      out += ",\"";
      out += SummaryHeaderValue(codec, entry, "date");
      out += "\",";
      out += std::to_string(MailEntrySize(entry));
      out += ',';
    }
    out += account;
    out += "\r\n";
  }
  return out;
}

std::string AccountMailFilePath(NotifyCodec& codec, const std::string& data_folder,
                                std::string_view display_name) {
  return NotifyPath(data_folder, "Mail\\" + codec.Md5Hex(display_name));
}

void WriteSummaryFiles(NotifyCodec& codec, const std::string& data_folder,
                       const std::vector<std::string>& display_names, int total_count) {
  std::string summary;
  for (const std::string& name : display_names) {
    std::string file;
    if (!ReadWholeFile(AccountMailFilePath(codec, data_folder, name), file)) continue;
    summary += SummaryLines(codec, file, name);
  }
  WriteFileAtomically(NotifyPath(data_folder, "Tidewell.tmp"), summary);
  WriteFileAtomically(NotifyPath(data_folder, "Tidewl_cnt.tmp"), std::to_string(total_count));
}

}  // namespace tidewell
