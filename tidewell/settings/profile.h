// Access to a profile (ini) file, one call per value, as the platform's
// profile functions give it. Windows uses the real functions
// (win32/win32_profile.h); the unit tests use MemoryProfile
// (memory_profile.h), which reads values back the way they do.
//
// Every call names the file; nothing keeps a file open between calls.
#pragma once

#include <cstddef>
#include <string>

namespace tidewell {

class Profile {
 public:
  // Buffer of every text read of the tray program: a text value is at most
  // 9,999 bytes.
  static constexpr std::size_t kTextBufferSize = 10000;

  virtual ~Profile() = default;

  // GetPrivateProfileIntA: default_value when the file, the section or the key
  // is missing or the value is empty; otherwise the leading number of the
  // value (a value that does not start with a number reads as 0).
  virtual int GetInt(const std::string& path, const char* section, const char* key, int default_value) = 0;

  // GetPrivateProfileStringA with a buffer of buffer_size bytes: the value (or
  // default_value when the key is missing), cut to buffer_size - 1 bytes.
  virtual std::string GetString(const std::string& path, const char* section, const char* key,
                                const char* default_value, std::size_t buffer_size = kTextBufferSize) = 0;

  // WritePrivateProfileStringA: sets the key, creating the file and the
  // section when needed. Returns false when the write failed (callers of the
  // tray program ignore it).
  virtual bool WriteString(const std::string& path, const char* section, const char* key,
                           const std::string& value) = 0;
};

}  // namespace tidewell
