// Profile on the platform's own functions: GetPrivateProfileIntA,
// GetPrivateProfileStringA and WritePrivateProfileStringA.
#pragma once

#include "tidewell/settings/profile.h"

namespace tidewell {

class Win32Profile : public Profile {
 public:
  int GetInt(const std::string& path, const char* section, const char* key, int default_value) override;
  std::string GetString(const std::string& path, const char* section, const char* key, const char* default_value,
                        std::size_t buffer_size = kTextBufferSize) override;
  bool WriteString(const std::string& path, const char* section, const char* key, const std::string& value) override;
};

// One shared instance for the program (the class has no state).
Profile& SystemProfile();

}  // namespace tidewell
