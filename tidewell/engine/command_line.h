// The tray program's command line: the second-instance switch read at
// start-up, and the option switches that override Tidewell.ini for one run.
#pragma once

#include <cstdint>
#include <string_view>

namespace tidewell {

// Only the first "-x" (or, when there is none, the first "-X") is examined:
// a second instance is allowed when the character right after it is '1'.
bool AllowsSecondInstance(std::string_view command_line);

// The flag word with the command-line options applied (nothing is written
// back to the settings):
//   exactly -s -S /s /S        End off
//   exactly -n -N /n /N        Start, End, ListOpen on; NewMessage off
//   up to 100 characters       pieces split at spaces; "-L0"/"-L1" (or "/")
//                              switch the option of letter L off/on
//   longer                     ignored
std::uint32_t ApplyCommandLine(std::string_view command_line, std::uint32_t flags);

}  // namespace tidewell
