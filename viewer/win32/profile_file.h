// ProfileSection on one section of an ini file, through the platform's
// profile functions.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "viewer/message_window_settings.h"

namespace tidewell {

class ProfileFileSection : public ProfileSection {
 public:
  ProfileFileSection(std::string path, std::string section) : path_(std::move(path)), section_(std::move(section)) {}
  int GetInt(const char* key, int fallback) override {
    return static_cast<int>(GetPrivateProfileIntA(section_.c_str(), key, fallback, path_.c_str()));
  }
  std::string GetString(const char* key, const std::string& fallback, int size) override {
    std::vector<char> buffer(size > 0 ? size : 1, '\0');
    GetPrivateProfileStringA(section_.c_str(), key, fallback.c_str(), buffer.data(),
                             static_cast<DWORD>(buffer.size()), path_.c_str());
    buffer.back() = '\0';
    return std::string(buffer.data());
  }
  void WriteString(const char* key, const std::string& value) override {
    WritePrivateProfileStringA(section_.c_str(), key, value.c_str(), path_.c_str());
  }

 private:
  std::string path_;
  std::string section_;
};

}  // namespace tidewell
