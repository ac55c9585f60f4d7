// The five states of the tray icon: which built-in icon, which user-icon keys
// of Tidewell.ini, which tooltip, and what each does to MailShown.
#pragma once

#include <cstdint>
#include <string>

#include "tidewell/settings/settings_file.h"

namespace tidewell {

enum class TrayState { kNormal, kMail, kChecking, kError, kErrorWithMail };

// Resource id of the built-in icon of a state (131 to 135).
int TrayIconResource(TrayState state);

// The icon of the user's choice for a state, read anew from Tidewell.ini by
// the one rule of the settings (ReadIconChoice: used only when the state's
// check key is exactly 1). The two error states have none: use_own is false.
IconChoice TrayUserIcon(Profile& profile, const std::string& data_folder, TrayState state);

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
