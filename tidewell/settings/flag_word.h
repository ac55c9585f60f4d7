// Bits of the tray program's flag word. The settings load fills the option
// bits and the engine keeps its state bits in the same word, so both sides
// include this header; it depends on nothing.
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
  kFastCheck = 1u << 20,         // pipelined commands and the unique-id cache
  kErrorDisregard = 1u << 22,    // with End: end even after an error
  kBalloon = 1u << 23,           // balloon notice on new mail
};

}  // namespace tidewell
