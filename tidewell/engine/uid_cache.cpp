#include "tidewell/engine/uid_cache.h"

#include <climits>
#include <cstdint>
#include <unordered_set>

#include "tidewell/engine/data_folder.h"

namespace tidewell {

namespace {

constexpr std::string_view kMagic = "TidewellUidCache 2\n";

// Reads a decimal number up to `end_char` at `pos`; advances past it.
bool ReadNumber(std::string_view text, std::size_t& pos, char end_char, std::size_t limit, std::size_t& value) {
  const std::size_t start = pos;
  value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + static_cast<std::size_t>(text[pos] - '0');
    if (value > limit) return false;
    ++pos;
  }
  if (pos == start || pos - start > 10 || pos >= text.size() || text[pos] != end_char) return false;
  ++pos;
  return true;
}

bool IsMd5Text(std::string_view s) {
  if (s.size() != 32) return false;
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

}  // namespace

std::string UidCachePath(const std::string& data_folder, const std::string& name_md5) {
  return DataPath(data_folder, "Mail\\" + name_md5 + ".uid");
}

std::string UidCacheKey(const std::string& server, int port, const std::string& user, int security) {
  return server + '\n' + std::to_string(port & 0xFFFF) + '\n' + user + '\n' + std::to_string(security);
}

std::uint64_t EntryChecksum(std::string_view list_line, std::string_view top_reply) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (std::string_view part : {list_line, top_reply}) {
    for (char c : part) {
      h ^= static_cast<unsigned char>(c);
      h *= 0x100000001b3ull;
    }
  }
  return h;
}

namespace {

void AppendHex64(std::string& out, std::uint64_t v) {
  static const char kDigits[] = "0123456789abcdef";
  for (int shift = 60; shift >= 0; shift -= 4) out += kDigits[(v >> shift) & 15];
}

bool ReadHex64(std::string_view text, std::uint64_t& v) {
  if (text.size() != 16) return false;
  v = 0;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else return false;
    v = (v << 4) | static_cast<std::uint64_t>(d);
  }
  return true;
}

}  // namespace

std::string SerializeUidCache(const std::string& key, const std::vector<UidCacheView>& records) {
  std::size_t size = kMagic.size() + key.size() + 32;
  for (const UidCacheView& r : records) size += r.uid.size() + r.list_line.size() + r.top_reply.size() + 120;
  std::string out;
  out.reserve(size);
  out += kMagic;
  out += std::to_string(key.size());
  out += '\n';
  out += key;
  out += '\n';
  out += std::to_string(records.size());
  out += '\n';
  for (const UidCacheView& r : records) {
    out += r.uid;
    out += ' ';
    out += std::to_string(r.number);
    out += ' ';
    out += std::to_string(r.size);
    out += ' ';
    out += std::to_string(r.list_line.size());
    out += ' ';
    out += std::to_string(r.top_reply.size());
    out += ' ';
    out += r.hash.empty() ? std::string_view("-") : r.hash;
    out += ' ';
    AppendHex64(out, EntryChecksum(r.list_line, r.top_reply));
    out += '\n';
    out += r.list_line;
    out += r.top_reply;
  }
  return out;
}

std::string SerializeUidCache(const std::string& key, const std::vector<UidCacheRecord>& records) {
  std::vector<UidCacheView> views;
  views.reserve(records.size());
  for (const UidCacheRecord& r : records)
    views.push_back(UidCacheView{r.uid, r.entry.number, r.entry.size, r.entry.list_line, r.entry.top_reply,
                                 r.entry.hash});
  return SerializeUidCache(key, views);
}

bool ParseUidCache(std::string_view text, const std::string& key, UidCacheMap& out) {
  out.clear();
  auto fail = [&out] {
    out.clear();
    return false;
  };
  if (text.substr(0, kMagic.size()) != kMagic) return fail();
  std::size_t pos = kMagic.size();
  std::size_t n = 0;
  if (!ReadNumber(text, pos, '\n', text.size(), n) || text.size() - pos < n + 1) return fail();
  if (text.substr(pos, n) != key || text[pos + n] != '\n') return fail();
  pos += n + 1;
  std::size_t count = 0;
  if (!ReadNumber(text, pos, '\n', text.size(), count)) return fail();
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t space = text.find(' ', pos);
    if (space == std::string_view::npos) return fail();
    const std::string_view uid = text.substr(pos, space - pos);
    if (!ValidUid(uid)) return fail();
    pos = space + 1;
    std::size_t number = 0, mail_size = 0, list_size = 0, top_size = 0;
    if (!ReadNumber(text, pos, ' ', INT_MAX, number) || number < 1 ||
        !ReadNumber(text, pos, ' ', SIZE_MAX / 10 - 1, mail_size) ||
        !ReadNumber(text, pos, ' ', text.size(), list_size) ||
        !ReadNumber(text, pos, ' ', text.size(), top_size))
      return fail();
    const std::size_t line_end = text.find('\n', pos);
    if (line_end == std::string_view::npos) return fail();
    const std::string_view fields = text.substr(pos, line_end - pos);
    const std::size_t gap = fields.find(' ');
    if (gap == std::string_view::npos) return fail();
    const std::string_view hash = fields.substr(0, gap);
    if (hash != "-" && !IsMd5Text(hash)) return fail();
    std::uint64_t check = 0;
    if (!ReadHex64(fields.substr(gap + 1), check)) return fail();
    pos = line_end + 1;
    if (text.size() - pos < list_size || text.size() - pos - list_size < top_size) return fail();
    UidCacheEntry entry;
    if (hash != "-") entry.hash.assign(hash);
    entry.number = static_cast<int>(number);
    entry.size = mail_size;
    entry.check = check;
    entry.list_line.assign(text.substr(pos, list_size));
    entry.top_reply.assign(text.substr(pos + list_size, top_size));
    pos += list_size + top_size;
    if (!out.emplace(std::string(uid), std::move(entry)).second) return fail();
  }
  if (pos != text.size()) return fail();
  return true;
}

bool ValidUid(std::string_view uid) {
  if (uid.empty() || uid.size() > 70) return false;
  for (char c : uid)
    if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) return false;
  return true;
}

bool ParseUidlListing(std::string_view reply, int count, std::vector<std::string>& ids) {
  ids.clear();
  if (count < 0) return false;
  std::size_t pos = reply.find("\r\n");
  if (reply.empty() || reply[0] == '-' || pos == std::string_view::npos) return false;
  pos += 2;
  std::unordered_set<std::string_view> seen;
  for (;;) {
    const std::size_t end = reply.find("\r\n", pos);
    if (end == std::string_view::npos) return false;
    const std::string_view line = reply.substr(pos, end - pos);
    pos = end + 2;
    if (line == ".") break;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return false;
    std::size_t p = 0, number = 0;
    const std::string_view digits = line.substr(0, space + 1);
    if (!ReadNumber(digits, p, ' ', INT_MAX, number)) return false;
    const std::string_view uid = line.substr(space + 1);
    if (static_cast<int>(number) != static_cast<int>(ids.size()) + 1 || !ValidUid(uid)) return false;
    if (static_cast<int>(ids.size()) >= count) return false;
    if (!seen.insert(uid).second) return false;
    ids.emplace_back(uid);
  }
  if (pos != reply.size() || static_cast<int>(ids.size()) != count) {
    ids.clear();
    return false;
  }
  return true;
}

bool ParseSizeListing(std::string_view reply, int count, std::vector<std::uint64_t>& sizes) {
  sizes.clear();
  if (count < 0) return false;
  std::size_t pos = reply.find("\r\n");
  if (reply.empty() || reply[0] == '-' || pos == std::string_view::npos) return false;
  pos += 2;
  for (;;) {
    const std::size_t end = reply.find("\r\n", pos);
    if (end == std::string_view::npos) break;
    std::string_view line = reply.substr(pos, end - pos);
    pos = end + 2;
    if (line == ".") {
      if (pos == reply.size() && static_cast<int>(sizes.size()) == count) return true;
      break;
    }
    // "<n> <size>", and whatever a server adds after another space.
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) break;
    std::size_t p = 0, number = 0, size = 0;
    if (!ReadNumber(line.substr(0, space + 1), p, ' ', INT_MAX, number)) break;
    if (static_cast<int>(number) != static_cast<int>(sizes.size()) + 1 ||
        static_cast<int>(sizes.size()) >= count)
      break;
    std::string_view rest = line.substr(space + 1);
    const std::size_t after = rest.find(' ');
    std::string digits(rest.substr(0, after));
    digits += ' ';
    p = 0;
    if (!ReadNumber(digits, p, ' ', SIZE_MAX / 10 - 1, size)) break;
    sizes.push_back(size);
  }
  sizes.clear();
  return false;
}

bool IdsFollowNumbers(const std::vector<std::string>& ids) {
  if (ids.empty()) return false;
  for (std::size_t i = 0; i < ids.size(); ++i)
    if (ids[i] != std::to_string(i + 1)) return false;
  return true;
}

Capabilities ParseCapabilities(std::string_view reply) {
  Capabilities caps;
  if (reply.empty() || reply[0] == '-') return caps;
  std::size_t pos = reply.find("\r\n");
  if (pos == std::string_view::npos) return caps;
  pos += 2;
  while (pos < reply.size()) {
    std::size_t end = reply.find("\r\n", pos);
    if (end == std::string_view::npos) end = reply.size();
    const std::string_view line = reply.substr(pos, end - pos);
    pos = end + 2;
    if (line == ".") break;
    const std::string_view word = line.substr(0, line.find(' '));
    if (SameWord(word, "PIPELINING")) caps.pipelining = true;
    if (SameWord(word, "UIDL")) caps.uidl = true;
  }
  return caps;
}

}  // namespace tidewell
