// Command 32771: the modal version dialog (resource 148) with the program
// icon and "Tidewell ver" and the version number; the default beep sounds when it opens.
#pragma once

#include <windows.h>

namespace tidewell {

void ShowVersionDialog(HINSTANCE instance, HWND owner);

}  // namespace tidewell
