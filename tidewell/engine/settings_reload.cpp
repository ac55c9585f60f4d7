#include "tidewell/engine/settings_reload.h"

#include "tidewell/engine/engine_state.h"

namespace tidewell {

bool SettingsReloadMayRun(std::uint32_t flags, bool sound_sequence_running) {
  return (flags & kChecking) == 0 && !sound_sequence_running;
}

bool SameAccountNames(const AccountList& before, const AccountList& after) {
  if (before.size() != after.size()) return false;
  for (std::size_t i = 0; i < before.size(); ++i)
    if (before[i].display_name != after[i].display_name) return false;
  return true;
}

}  // namespace tidewell
