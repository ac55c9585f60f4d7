// The header dialog 109: a stored header in a read-only edit control.
#pragma once

#include <windows.h>

#include <string>

namespace tidewell {

// Shows the dialog modally over owner, titled title, holding header.
void ShowHeaderDialog(HINSTANCE module, HWND owner, const std::string& title, const std::string& header);

}  // namespace tidewell
