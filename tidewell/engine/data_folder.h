// The data folder: the process's current directory at start-up. Every file of
// the tray program is addressed from it.
#pragma once

#include <string>

namespace tidewell {

// Longest data folder accepted: a file name of up to 40 characters must still
// fit in a 260-character path.
constexpr std::size_t kMaxDataFolder = 220;

// The current-directory text as the data folder: a trailing backslash is
// dropped unless the text is a drive root ("C:\", three characters).
std::string DataFolderFromCurrentDirectory(std::string dir);

// Whether the folder is short enough (at most 220 characters).
bool IsDataFolderAccepted(const std::string& folder);

// The message shown when the folder is too long (Shift_JIS).
std::string DataFolderTooLongMessage();

// folder + "\" + name, without doubling the backslash of a drive root.
std::string DataPath(const std::string& folder, const std::string& name);

}  // namespace tidewell
