// What the tray window takes from the settings code and the codec library:
// the profile functions, the account file, MD5Calc, the hash file and the
// excluded-program test, bound to their Win32 implementations.
#pragma once

#include <windows.h>

#include <string>

#include "tidewell/engine/pop3_session.h"
#include "tidewell/settings/account.h"
#include "tidewell/settings/profile.h"
#include "tidewell/settings/settings_file.h"

namespace tidewell {

// The real profile functions.
Profile& TheProfile();

// MD5Calc of Inkwell2.dll, loaded by name at every use; "" without it.
Md5Function InkwellMd5Function();

// Account.dat by the engine's rules (legacy Tidewell.dat converted when
// needed).
AccountList LoadAccounts(const std::string& data_folder);

// \Mail\hash.dat whole; empty when it cannot be read.
std::string ReadHashList(const std::string& data_folder);

// The settings sheet, shown modally (no owner window). True when it was
// closed with changes that the engine must reload. While a sheet is open,
// another call brings it to the front and returns false.
bool ShowSettingsSheet(const std::string& data_folder);

// Whether a program named in except.dat is running.
bool ExcludedProgramRunning(const std::string& data_folder);

}  // namespace tidewell
