#include "tidewell/settings/win32/win32_profile.h"

#include <windows.h>

#include <vector>

namespace tidewell {

int Win32Profile::GetInt(const std::string& path, const char* section, const char* key, int default_value) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, default_value, path.c_str()));
}

std::string Win32Profile::GetString(const std::string& path, const char* section, const char* key,
                                    const char* default_value, std::size_t buffer_size) {
  if (buffer_size == 0) return std::string();
  std::vector<char> buffer(buffer_size, '\0');
  const DWORD n = GetPrivateProfileStringA(section, key, default_value ? default_value : "", buffer.data(),
                                           static_cast<DWORD>(buffer_size), path.c_str());
  return std::string(buffer.data(), n < buffer_size ? n : buffer_size - 1);
}

bool Win32Profile::WriteString(const std::string& path, const char* section, const char* key,
                               const std::string& value) {
  return WritePrivateProfileStringA(section, key, value.c_str(), path.c_str()) != FALSE;
}

Profile& SystemProfile() {
  static Win32Profile profile;
  return profile;
}

}  // namespace tidewell
