// Reading a whole message file for display.
#pragma once

#include <windows.h>

#include <string>

namespace tidewell {

// Reads path whole into text; false when it cannot be opened or read. share
// is the sharing mode of CreateFileA.
bool ReadMessageFile(const std::string& path, DWORD share, std::string& text);

}  // namespace tidewell
