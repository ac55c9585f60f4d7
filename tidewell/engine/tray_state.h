// The five states of the tray icon: which built-in icon, which user-icon keys
// of Tidewell.ini, which tooltip, and what each does to MailShown.
#pragma once

#include <cstdint>
#include <string>

namespace tidewell {

enum class TrayState { kNormal, kMail, kChecking, kError, kErrorWithMail };

// Resource id of the built-in icon of a state (131 to 135).
int TrayIconResource(TrayState state);

// The Icon keys of a user icon: check key, file key, index key. States
// without a user icon (the two error states) give null pointers.
struct TrayIconKeys {
  const char* check;
  const char* file;
  const char* index;
};
TrayIconKeys TrayUserIconKeys(TrayState state);

// Size of the tip field of NOTIFYICONDATAA, terminator included.
constexpr std::size_t kTrayTipSize = 64;

// The tooltip of a state (Shift_JIS); total is new count + seen count. The
// text never exceeds kTrayTipSize - 1 bytes and is never cut inside a
// double-byte character.
std::string TrayTooltip(TrayState state, int total);

// The flag word after showing a state: MailShown is set by the mail states,
// cleared by normal and error, left alone by checking.
std::uint32_t FlagsAfterTrayState(TrayState state, std::uint32_t flags);

// Cuts Shift_JIS text to at most max_bytes bytes without splitting a
// double-byte character.
std::string CutShiftJis(const std::string& text, std::size_t max_bytes);

}  // namespace tidewell
