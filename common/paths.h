// File names and paths under the data folder.
//
// The data folder is a narrow Shift_JIS text. Windows builds join with "\",
// the native build (unit tests on a temporary folder) joins with "/"; nothing
// else in the code spells a separator.
#pragma once

#include <string>
#include <string_view>

namespace tidewell {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

constexpr const char kSettingsFileName[] = "Tidewell.ini";
constexpr const char kAccountFileName[] = "Account.dat";
constexpr const char kLegacyAccountFileName[] = "Tidewell.dat";
constexpr const char kMailFolderName[] = "Mail";
constexpr const char kDelFolderName[] = "Del";

// folder + separator + name. No second separator is added when folder already
// ends with one (a drive root such as "C:\" keeps its backslash).
std::string JoinPath(std::string_view folder, std::string_view name);

// <folder>\Tidewell.ini
std::string SettingsFilePath(std::string_view data_folder);
// <folder>\Account.dat
std::string AccountFilePath(std::string_view data_folder);
// <folder>\Tidewell.dat
std::string LegacyAccountFilePath(std::string_view data_folder);
// <folder>\Mail
std::string MailFolderPath(std::string_view data_folder);
// <folder>\Mail\<digest>: the account mail file of an account whose display
// name has the MD5 text digest.
std::string AccountMailFilePath(std::string_view data_folder, std::string_view digest);

}  // namespace tidewell
