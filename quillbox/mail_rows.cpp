#include "quillbox/mail_rows.h"

#include <climits>
#include <cstdio>

#include "common/atomic_file.h"
#include "common/header_hash.h"
#include "common/paths.h"
#include "viewer/header_text.h"

namespace tidewell {

namespace {

constexpr std::string_view kTerminator = "\r\n.\r\n";

bool IsScanSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

void SkipSpace(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && IsScanSpace(text[pos])) ++pos;
}

// "%s" as sscanf reads it.
std::string_view ScanWord(std::string_view text, std::size_t& pos) {
  SkipSpace(text, pos);
  const std::size_t start = pos;
  while (pos < text.size() && !IsScanSpace(text[pos])) ++pos;
  return text.substr(start, pos - start);
}

// "%d" as sscanf reads it; values past int's range saturate.
bool ScanInt(std::string_view text, std::size_t& pos, long long& value) {
  SkipSpace(text, pos);
  std::size_t p = pos;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  const std::size_t digits = p;
  long long v = 0;
  while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
    if (v < INT_MAX) v = v * 10 + (text[p] - '0');
    ++p;
  }
  if (p == digits) return false;
  if (v > INT_MAX) v = INT_MAX;
  value = negative ? -v : v;
  pos = p;
  return true;
}

// Whether text at pos starts with what, ASCII letter case ignored.
bool StartsWithNoCase(std::string_view text, std::size_t pos, std::string_view what) {
  if (pos > text.size() || text.size() - pos < what.size()) return false;
  for (std::size_t i = 0; i < what.size(); ++i)
    if (AsciiLower(text[pos + i]) != AsciiLower(what[i])) return false;
  return true;
}

// The error text of an error block: what follows "*ERR" and its line end,
// without the block terminator and trailing line ends.
std::string ErrorText(std::string_view block) {
  std::string_view text = block.size() > 6 ? block.substr(6) : std::string_view();
  if (text.size() >= kTerminator.size() && text.substr(text.size() - kTerminator.size()) == kTerminator)
    text.remove_suffix(kTerminator.size());
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  return std::string(text);
}

// Start of the block's third line (npos when it has fewer than three lines).
std::size_t ThirdLine(std::string_view block) {
  const std::size_t a = block.find("\r\n");
  if (a == std::string_view::npos) return a;
  const std::size_t b = block.find("\r\n", a + 2);
  return b == std::string_view::npos ? b : b + 2;
}

std::string Field(std::string_view text, std::string_view name) {
  return GetFieldValue(text, name, kRowFieldBuffer - 1);
}

}  // namespace

std::string AccountMailPath(ListCodec& codec, const std::string& data_folder, std::string_view account) {
  const std::string digest = codec.Md5Hex(std::string(account));
  if (digest.empty()) return std::string();
  return AccountMailFilePath(data_folder, digest);
}

std::string BlockHeaderHash(ListCodec& codec, std::string_view block) {
  std::string header;
  HeaderHashText(block, header);
  return codec.Md5Hex(header);
}

std::vector<MailRow> BuildAccountRows(ListCodec& codec, std::string_view file, std::string_view account,
                                      int first_item) {
  std::vector<MailRow> rows;
  int item = first_item;
  int position = 1;
  std::size_t from = 0;
  for (std::size_t end = file.find(kTerminator); end != std::string_view::npos;
       from = end + kTerminator.size(), end = file.find(kTerminator, from)) {
    const std::string_view block = file.substr(from, end + kTerminator.size() - from);
    const std::string_view first_line = block.substr(0, block.find("\r\n"));
    std::size_t pos = 0;
    const std::string_view token = ScanWord(first_line, pos);
    long long old_number = 0, size = 0;
    if (ScanInt(first_line, pos, old_number)) ScanInt(first_line, pos, size);
    if (!token.empty() && token[0] == '-') continue;  // deleted from the server

    MailRow row;
    row.item = item;
    row.columns[kColName] = std::string(account);
    if (block[0] == '*') {
      row.image = kImageError;
      row.columns[kColSubject] = ErrorText(block);
    } else {
      const std::string decoded = DecodeEncodedWords(codec, block, block.size(), false);
      row.columns[kColSubject] = Field(decoded, "subject");
      const std::string type = GetFieldValue(decoded, "content-type", 99);
      row.image = (type.empty() || StartsWithNoCase(type, 0, "text/")) ? kImageText : kImageOther;
      row.columns[kColFrom] = Field(decoded, "from");
      row.columns[kColDate] = FormatMailDate(Field(decoded, "date"));
      const long long kb = size > 0 ? (size + 1023) / 1024 : 0;
      row.columns[kColSize] = std::to_string(kb) + " KB";
      row.columns[kColNumber] = std::to_string(position);
      row.columns[kColNumberOld] = std::to_string(old_number);
      row.columns[kColUidl] = Field(decoded, "x-uidl");
      row.columns[kColMsgId] = Field(decoded, "message-id");
      row.columns[kColHash] = BlockHeaderHash(codec, block);
    }
    rows.push_back(std::move(row));
    ++item;
    ++position;
  }
  return rows;
}

std::vector<MailRow> BuildAllRows(ListCodec& codec, const std::string& data_folder,
                                  const std::vector<std::string>& accounts) {
  std::vector<MailRow> rows;
  for (const std::string& account : accounts) {
    const std::string path = AccountMailPath(codec, data_folder, account);
    std::string file;
    if (path.empty() || !ReadWholeFile(path, file)) continue;
    std::vector<MailRow> more = BuildAccountRows(codec, file, account, static_cast<int>(rows.size()));
    for (MailRow& row : more) rows.push_back(std::move(row));
  }
  return rows;
}

std::size_t FindMessageBlock(std::string_view file, int number, bool ignore_case) {
  const std::string key = "+OK " + std::to_string(number) + " ";
  std::size_t from = 0;
  while (from < file.size()) {
    const bool hit = ignore_case ? StartsWithNoCase(file, from, key) : file.compare(from, key.size(), key) == 0;
    if (hit) return from;
    const std::size_t end = file.find(kTerminator, from);
    if (end == std::string_view::npos) break;
    from = end + kTerminator.size();
  }
  return std::string_view::npos;
}

MessageBlockIndex::MessageBlockIndex(std::string_view file, bool ignore_case) {
  std::size_t from = 0;
  while (from < file.size()) {
    const bool hit = ignore_case ? StartsWithNoCase(file, from, "+OK ") : file.compare(from, 4, "+OK ") == 0;
    if (hit) {
      // "+OK n " with n written as std::to_string writes it.
      std::size_t p = from + 4;
      const std::size_t digits = p;
      long long value = 0;
      while (p < file.size() && p - digits < 11 && file[p] >= '0' && file[p] <= '9') value = value * 10 + (file[p++] - '0');
      const std::size_t length = p - digits;
      if (length > 0 && value <= INT_MAX && p < file.size() && file[p] == ' ' && (file[digits] != '0' || length == 1))
        starts_.try_emplace(static_cast<int>(value), from);
    }
    const std::size_t end = file.find(kTerminator, from);
    if (end == std::string_view::npos) break;
    from = end + kTerminator.size();
  }
}

std::size_t MessageBlockIndex::Find(int number) const {
  const auto it = starts_.find(number);
  return it == starts_.end() ? std::string_view::npos : it->second;
}

std::string StoredHeaderAt(std::string_view file, std::size_t start) {
  if (start == std::string_view::npos || start >= file.size()) return std::string();
  const std::size_t end = file.find(kTerminator, start);
  if (end == std::string_view::npos) return std::string();
  const std::string_view block = file.substr(start, end + kTerminator.size() - start);
  const std::size_t third = ThirdLine(block);
  if (third == std::string_view::npos) return std::string();
  return std::string(block.substr(third));
}

std::string StoredHeader(std::string_view file, int number) {
  return StoredHeaderAt(file, FindMessageBlock(file, number, false));
}

std::string ConvertForCommand(TextCodec& codec, const std::string& decoded, int command) {
  int code = 0;
  std::string text = decoded;
  switch (command) {
    case 40008: code = 2; break;
    case 40009: return text;
    case 40010: code = 4; break;
    case 40011: code = 5; break;
    case 40012: code = 6; break;
    case 40013: {
      // The decoded text ends at its first zero byte (that is all the codec
      // hands back); a byte-order mark is dropped, a big-endian one swaps
      // every byte pair after it.
      code = 7;
      const bool little = text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE';
      const bool big = text.size() >= 2 && text[0] == '\xFE' && text[1] == '\xFF';
      if (little || big) text.erase(0, 2);
      if (big)
        for (std::size_t i = 0; i + 1 < text.size(); i += 2) std::swap(text[i], text[i + 1]);
      if (text.size() % 2) text.pop_back();  // half a code unit cannot be converted
      break;
    }
    default: return text;
  }
  std::string out;
  if (!codec.CodeConv(text, code, out)) out.clear();
  return out;
}

namespace {

bool RedecodeAt(TextCodec& codec, std::string_view file, std::size_t start, int number, int command,
                std::pair<std::string, std::string>& out) {
  if (start == std::string_view::npos) return false;
  const std::string key = "+OK " + std::to_string(number) + " ";
  const std::size_t after = start + key.size();
  const std::size_t end = file.find(kTerminator, after);
  const std::string_view block =
      file.substr(after, end == std::string_view::npos ? std::string_view::npos : end - after);
  const std::size_t max = 2000 - 1;
  const std::string subject = DecodeEncodedWords(codec, GetFieldValue(block, "subject", max), max, true);
  const std::string from = DecodeEncodedWords(codec, GetFieldValue(block, "from", max), max, true);
  out.first = ConvertForCommand(codec, subject, command);
  out.second = ConvertForCommand(codec, from, command);
  return true;
}

}  // namespace

bool RedecodeRow(TextCodec& codec, std::string_view file, int number, int command,
                 std::pair<std::string, std::string>& out) {
  return RedecodeAt(codec, file, FindMessageBlock(file, number, true), number, command, out);
}

bool RedecodeRow(TextCodec& codec, std::string_view file, const MessageBlockIndex& index, int number, int command,
                 std::pair<std::string, std::string>& out) {
  return RedecodeAt(codec, file, index.Find(number), number, command, out);
}

std::string SortKey(int column, std::string_view text) {
  std::size_t pos = 0;
  long long v[6] = {0, 0, 0, 0, 0, 0};
  char buffer[96];
  if (column == kColDate) {
    // "%d/%d/%d %d:%d:%d"
    static constexpr char kSeparators[] = {'/', '/', ' ', ':', ':'};
    int read = 0;
    for (; read < 6; ++read) {
      if (read > 0) {
        const char sep = kSeparators[read - 1];
        if (sep == ' ') {
          // a blank in a format matches any run of white space, also none
          SkipSpace(text, pos);
        } else if (pos < text.size() && text[pos] == sep) {
          ++pos;
        } else {
          break;
        }
      }
      if (!ScanInt(text, pos, v[read])) break;
    }
    if (read < 3) return std::string(text);
    std::snprintf(buffer, sizeof buffer, "%04lld/%02lld/%02lld %02lld:%02lld:%02lld", v[0], v[1], v[2], v[3], v[4],
                  v[5]);
    return buffer;
  }
  if (column == kColSize) {
    if (!ScanInt(text, pos, v[0])) return std::string(text);
    std::snprintf(buffer, sizeof buffer, "%06lld", v[0]);
    return buffer;
  }
  return std::string(text);
}

int CompareRowTexts(int column, std::string_view a, std::string_view b, bool descending) {
  const std::string ka = SortKey(column, a);
  const std::string kb = SortKey(column, b);
  const int c = ka.compare(kb) < 0 ? -1 : (ka == kb ? 0 : 1);  // std::string compares as unsigned char
  return descending ? -c : c;
}

}  // namespace tidewell
