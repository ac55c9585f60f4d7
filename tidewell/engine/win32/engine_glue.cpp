#include "tidewell/engine/win32/engine_glue.h"

#include "tidewell/engine/except_list.h"
#include "tidewell/engine/win32/process_list.h"
#include "tidewell/settings/account_file.h"
#include "common/atomic_file.h"
#include "common/win32/inkwell_dll.h"
#include "tidewell/settings/win32/win32_profile.h"

namespace tidewell {

Profile& TheProfile() { return SystemProfile(); }

Md5Function InkwellMd5Function() {
  return [](std::string_view text) { return tidewell::InkwellMd5(std::string(text)); };
}

AccountList LoadAccounts(const std::string& data_folder) {
  InkwellDllCodec codec;
  return LoadEngineAccounts(data_folder, codec);
}

std::string ReadHashList(const std::string& data_folder) {
  std::string text;
  if (!ReadWholeFile(HashFilePath(data_folder), text)) text.clear();
  return text;
}

// The settings sheet is not part of the program yet: nothing is shown and
// nothing changes.
bool ShowSettingsSheet(HWND /*owner*/, const std::string& /*data_folder*/) { return false; }

// except.dat against the names of the running processes; the process list is
// only built when the file has entries.
bool ExcludedProgramRunning(const std::string& data_folder) {
  return tidewell::ExcludedProgramRunning(data_folder, BuildProcessList);
}

}  // namespace tidewell
