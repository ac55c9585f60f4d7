#include "tidewell/engine/win32/engine_glue.h"

#include "tidewell/engine/except_list.h"
#include "tidewell/engine/win32/process_list.h"
#include "tidewell/settings/account_file.h"
#include "common/atomic_file.h"
#include "common/win32/dpapi_protector.h"
#include "common/win32/inkwell_dll.h"
#include "tidewell/settings/win32/settings_sheet.h"
#include "tidewell/settings/win32/win32_profile.h"

namespace tidewell {

Profile& TheProfile() { return SystemProfile(); }

Md5Function InkwellMd5Function() {
  return [](std::string_view text) { return tidewell::InkwellMd5(std::string(text)); };
}

AccountList LoadAccounts(const std::string& data_folder) {
  InkwellDllCodec codec;
  return LoadEngineAccounts(data_folder, codec, SystemPasswordProtector());
}

std::string ReadHashList(const std::string& data_folder) {
  std::string text;
  if (!ReadWholeFile(HashFilePath(data_folder), text)) text.clear();
  return text;
}

// The sheet edits Tidewell.ini through the real profile functions and
// releases account mail files through Inkwell2.dll; its resources are the
// program's own.
bool ShowSettingsSheet(const std::string& data_folder) {
  InkwellDllCodec codec;
  CSetDlg sheet(GetModuleHandleA(nullptr), data_folder, SystemProfile(), codec);
  if (!sheet.DoModal()) return false;
  return EngineReloadsAfterSheet(sheet.flags());
}

// except.dat against the names of the running processes; the process list is
// only built when the file has entries.
bool ExcludedProgramRunning(const std::string& data_folder) {
  return tidewell::ExcludedProgramRunning(data_folder, BuildProcessList);
}

}  // namespace tidewell
