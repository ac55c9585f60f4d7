// Names shared by every part of the tray program: the private window
// messages, the timers and the popup-menu commands.
// Portable: no windows.h here, the numbers are fixed by other processes and
// by the list library that post some of these messages.
#pragma once

#include <cstdint>

#include "tidewell/settings/flag_word.h"

namespace tidewell {

// Private window messages of the hidden main window (WM_USER is 0x400).
enum EngineMessage : unsigned {
  kWmTrayHostFound = 0x400 + 1,     // 1025: host name lookup finished
  kWmTraySocket = 0x400 + 2,        // 1026: socket event of the session
  kWmTrayContinue = 0x400 + 3,      // 1027: feed "+OK" into the session
  kWmTrayAccountDone = 0x400 + 4,   // 1028: one account is finished
  kWmTrayError = 0x400 + 5,         // 1029: wParam = phase, lParam = code
  kWmTrayToken = 0x400 + 6,         // 1030: the token endpoint answered (wParam = request id)
  kWmListClosed = 0x400 + 100,      // 1124: posted by the list window
  kWmTrayRestoreIcon = 0x400 + 102, // 1126: any process: add the tray icon again
  kWmTrayQuit = 0x400 + 104,        // 1128: any process: exit
  kWmTrayNotify = 0x400 + 600,      // 1624: tray icon callback
  kMmMciNotify = 953,               // MM_MCINOTIFY
};

// Timers of the main window.
enum EngineTimer : unsigned {
  kMinuteTimer = 1,    // 60000 ms, counts minutes towards a timed check
  kEndTimer = 2,       // 100 ms, ends the program after a check-once run
  kWatchdogTimer = 3,  // 60000 ms, session time-out
  kDeadlineTimer = 4,  // 60000 ms, overall deadline of a session
};

// Popup menu (resource 129) commands.
enum EngineCommand : unsigned {
  kCmdVersion = 32771,
  kCmdExit = 32772,
  kCmdMailCheck = 32773,
  kCmdSettings = 32774,
  kCmdDisconnect = 32775,
  kCmdList = 32776,
  kCmdHelp = 32780,
};

constexpr int kMenuPopup = 129;
constexpr int kStringSocketInitFailed = 103;

}  // namespace tidewell
