// Names shared by every part of the tray program: the flag word bits, the
// private window messages, the timers and the popup-menu commands.
// Portable: no windows.h here, the numbers are fixed by other processes and
// by the list library that post some of these messages.
#pragma once

#include <cstdint>

namespace tidewell {

// Bits of the engine's flag word (bit n is 1u << (n - 1)).
enum EngineFlag : std::uint32_t {
  kMailShown = 1u << 0,          // the icon shows a new-mail state
  kCheckError = 1u << 1,         // an error happened in the current check
  kPrioritySoundDone = 1u << 2,  // the prioritised account's sound step is done
  kMsgCheck = 1u << 3,           // only count the mails
  kStart = 1u << 4,              // check once right after start-up
  kTimeCheck = 1u << 5,          // timed checks on
  kListWindowOpen = 1u << 6,     // the mail list window is open
  kListAutoOpened = 1u << 7,     // the list was opened by the new-mail action
  kChecking = 1u << 8,           // a check is running
  kExceptProgram = 1u << 9,      // skip a check while an excluded program runs
  kSoundPlaying = 1u << 10,      // the sound device is open
  kSoundCheck = 1u << 11,        // play the new-mail sound
  kExecCheck = 1u << 12,         // start the external program
  kExecDuplicate = 1u << 13,     // do not start the external program twice
  kExecIconChange = 1u << 14,    // normal icon after the external program started
  kEnd = 1u << 15,               // end the program after one check
  kListLibraryPresent = 1u << 16,// Quillbox.dll exists beside the program
  kListOpen = 1u << 17,          // open the mail list on new mail
  kNewMessage = 1u << 18,        // count only mails not seen in the previous check
  kExiting = 1u << 19,           // program exit has begun
  kErrorDisregard = 1u << 22,    // with End: end even after an error
};

// Private window messages of the hidden main window (WM_USER is 0x400).
enum EngineMessage : unsigned {
  kWmTrayHostFound = 0x400 + 1,     // 1025: host name lookup finished
  kWmTraySocket = 0x400 + 2,        // 1026: socket event of the session
  kWmTrayContinue = 0x400 + 3,      // 1027: feed "+OK" into the session
  kWmTrayAccountDone = 0x400 + 4,   // 1028: one account is finished
  kWmTrayError = 0x400 + 5,         // 1029: wParam = phase, lParam = code
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
