// When the engine reloads Tidewell.ini and Account.dat after the settings
// sheet, and what of the accounts' run-time state survives a reload.
#pragma once

#include <cstdint>

#include "tidewell/settings/account.h"

namespace tidewell {

// A reload asked for while a check ran, or while the sound sequence of the
// last new-mail actions was still playing, waits until both are over: the
// running session keeps the account it was started with, and the
// per-account sounds still find their accounts and counts.
bool SettingsReloadMayRun(std::uint32_t flags, bool sound_sequence_running);

// Whether the accounts' run-time state (their own tray icons, the server mail
// counts of the last check, both indexed by position) still belongs to the
// reloaded list: the same display names in the same order.
bool SameAccountNames(const AccountList& before, const AccountList& after);

}  // namespace tidewell
