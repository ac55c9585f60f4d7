#include "tidewell/settings/memory_profile.h"

#include <cstdint>

namespace tidewell {

namespace {

bool SameName(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && !b[i];
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string ProfileValueAsRead(const std::string& raw) {
  std::size_t b = 0, e = raw.size();
  while (b < e && IsBlank(raw[b])) ++b;
  while (e > b && IsBlank(raw[e - 1])) --e;
  std::string value = raw.substr(b, e - b);
  if (value.size() >= 2 && (value[0] == '\'' || value[0] == '"') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  return value;
}

int ProfileIntFromText(const std::string& full_text, int default_value) {
  if (full_text.empty()) return default_value;
  // The platform reads the value into a 30-character buffer first.
  const std::string text = full_text.substr(0, 29);
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  bool minus = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) minus = text[i++] == '-';
  unsigned base = 10;
  if (i + 1 < text.size() && text[i] == '0') {
    if (text[i + 1] == 'x') base = 16;
    else if (text[i + 1] == 'o') base = 8;
    else if (text[i + 1] == 'b') base = 2;
    if (base != 10) i += 2;
  }
  std::uint32_t total = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i]);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
    total = total * base + static_cast<unsigned>(digit);
  }
  if (minus) total = 0u - total;
  return static_cast<int>(total);
}

const MemoryProfile::Entry* MemoryProfile::Find(const std::string& path, const char* section, const char* key) const {
  auto file = files_.find(path);
  if (file == files_.end()) return nullptr;
  for (const Entry& e : file->second)
    if (SameName(e.section, section) && SameName(e.key, key)) return &e;
  return nullptr;
}

int MemoryProfile::GetInt(const std::string& path, const char* section, const char* key, int default_value) {
  reads_.emplace_back(section, key);
  const Entry* e = Find(path, section, key);
  if (!e) return default_value;
  return ProfileIntFromText(ProfileValueAsRead(e->value), default_value);
}

std::string MemoryProfile::GetString(const std::string& path, const char* section, const char* key,
                                     const char* default_value, std::size_t buffer_size) {
  reads_.emplace_back(section, key);
  if (buffer_size == 0) return std::string();
  const Entry* e = Find(path, section, key);
  std::string value = e ? ProfileValueAsRead(e->value) : std::string(default_value ? default_value : "");
  if (value.size() > buffer_size - 1) value.resize(buffer_size - 1);
  return value;
}

bool MemoryProfile::WriteString(const std::string& path, const char* section, const char* key,
                                const std::string& value) {
  if (fail_writes_) return false;
  auto& entries = files_[path];
  for (Entry& e : entries) {
    if (SameName(e.section, section) && SameName(e.key, key)) {
      e.value = value;
      return true;
    }
  }
  entries.push_back(Entry{section, key, value});
  return true;
}

std::vector<std::vector<std::string>> MemoryProfile::Entries(const std::string& path) const {
  std::vector<std::vector<std::string>> out;
  auto file = files_.find(path);
  if (file == files_.end()) return out;
  for (const Entry& e : file->second) out.push_back({e.section, e.key, e.value});
  return out;
}

}  // namespace tidewell
