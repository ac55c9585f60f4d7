// An in-memory profile for unit tests of code that reads and writes
// Tidewell.ini (and other profile files). It keeps one set of sections per
// path and reads values back the way the platform's profile functions do:
//   - section and key names match in any letter case;
//   - a value loses its leading and trailing white space, and one pair of
//     matching quotes ('...' or "...") around it;
//   - GetInt parses like GetPrivateProfileIntA: empty value -> default,
//     optional sign, "0x"/"0o"/"0b" prefixes, the leading digits, anything
//     else -> 0, 32-bit wrap-around; only the first 29 characters count.
// The Windows tests run the same table of cases against the real functions.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tidewell/settings/profile.h"

namespace tidewell {

class MemoryProfile : public Profile {
 public:
  int GetInt(const std::string& path, const char* section, const char* key, int default_value) override;
  std::string GetString(const std::string& path, const char* section, const char* key, const char* default_value,
                        std::size_t buffer_size = kTextBufferSize) override;
  bool WriteString(const std::string& path, const char* section, const char* key, const std::string& value) override;

  // Test helpers.
  bool HasFile(const std::string& path) const { return files_.count(path) != 0; }
  // (section, key, raw value) of a file, in the order of first writing.
  std::vector<std::vector<std::string>> Entries(const std::string& path) const;
  // Every (section, key) read through GetInt or GetString, in call order.
  const std::vector<std::pair<std::string, std::string>>& Reads() const { return reads_; }
  // Makes every later write fail (a read-only or full disk).
  void FailWrites(bool fail) { fail_writes_ = fail; }

 private:
  struct Entry {
    std::string section, key, value;
  };
  const Entry* Find(const std::string& path, const char* section, const char* key) const;

  std::map<std::string, std::vector<Entry>> files_;
  std::vector<std::pair<std::string, std::string>> reads_;
  bool fail_writes_ = false;
};

// The value text as GetPrivateProfileStringA delivers it (trimmed, quotes
// removed, not yet cut to a buffer).
std::string ProfileValueAsRead(const std::string& raw);

// GetPrivateProfileIntA's reading of a value text (as delivered above).
int ProfileIntFromText(const std::string& text, int default_value);

}  // namespace tidewell
