#include "common/paths.h"

#include "common/sjis.h"

namespace tidewell {

namespace {

// True when the last character of text is "\" or "/". The second byte of a
// Shift_JIS character may be 0x5C (the "表" of a folder name), which is not a
// separator, so the text is walked character by character.
bool EndsWithSeparator(std::string_view text) {
  bool last_is_separator = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsSjisLead(c) && i + 1 < text.size()) {
      ++i;
      last_is_separator = false;
    } else {
      last_is_separator = c == '\\' || c == '/';
    }
  }
  return last_is_separator;
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && !EndsWithSeparator(path)) path += kPathSeparator;
  path += name;
  return path;
}

std::string SettingsFilePath(std::string_view data_folder) { return JoinPath(data_folder, kSettingsFileName); }

std::string AccountFilePath(std::string_view data_folder) { return JoinPath(data_folder, kAccountFileName); }

std::string LegacyAccountFilePath(std::string_view data_folder) {
  return JoinPath(data_folder, kLegacyAccountFileName);
}

std::string MailFolderPath(std::string_view data_folder) { return JoinPath(data_folder, kMailFolderName); }

std::string AccountMailFilePath(std::string_view data_folder, std::string_view digest) {
  return JoinPath(MailFolderPath(data_folder), digest);
}

}  // namespace tidewell
