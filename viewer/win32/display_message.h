// Showing one message from the mail list: in the list library's own message
// window (viewer mode 0), with the program associated with .eml files
// (mode 1) or in Peekglass.exe (mode 2).
//
// The list library calls DisplayMessage once the message's cache file exists
// (data folder + "\Mail\" + header hash), with its own module as resources
// (dialog 110 and menus 113, 118 are compiled into it, see
// tidewell_use_message_window in viewer/CMakeLists.txt) and the value of
// Quillbox.ini [Message] Viewer as mode.
#pragma once

#include <windows.h>

#include <string>

namespace tidewell {

struct DisplayRequest {
  int mode = 2;                  // 0 own window, 1 associated program, 2 Peekglass.exe
  HWND list_window = nullptr;    // owner of the window and of the message boxes
  HINSTANCE resources = nullptr; // the list library's module
  std::string cache_path;        // the message's cache file, full path
  std::string data_folder;       // holds Quillbox.ini and \Mail
  std::string library_folder;    // folder of the list library, where Peekglass.exe is
};

// Mode 0: the window's closing command, or 0 when the message could not be
// shown (a message box told the user why). Modes 1 and 2: the ShellExecuteA
// result (0 when mode 1 could not copy the message). Other modes: 0.
INT_PTR DisplayMessage(const DisplayRequest& request);

}  // namespace tidewell
