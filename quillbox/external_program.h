// The external program of the list window (command 40028): which program
// runs with what parameters in which folder, taken from Quillbox.ini or
// adopted from the new-mail program of Tidewell.ini, and whether the list
// closes afterwards.
#pragma once

#include <string>

namespace tidewell {

// Profile access as GetPrivateProfileStringA / IntA / WritePrivateProfileStringA
// give it; the Win32 side binds the real functions, the tests a map.
class ListProfile {
 public:
  virtual ~ListProfile() = default;
  // At most size - 1 characters of the value, def when the key is missing.
  virtual std::string GetString(const std::string& file, const char* section, const char* key,
                                std::size_t size) = 0;
  virtual int GetInt(const std::string& file, const char* section, const char* key, int def) = 0;
  virtual void WriteString(const std::string& file, const char* section, const char* key,
                           const std::string& value) = 0;
};

struct ExternalLaunch {
  enum class Outcome {
    kNothing,   // no program configured anywhere: nothing happens
    kNoFile,    // "ファイルが指定されていません。" (no owner, caption "Tidewell")
    kRun,       // ShellExecuteA(nullptr, "open", program, parameters, folder, SW_SHOW)
  };
  Outcome outcome = Outcome::kNothing;
  std::string program;
  std::string parameters;
  std::string folder;
};

// Reads [Setting] Exec, ExecCmdline and ExecWorkFolder of Quillbox.ini; when
// Exec is empty adopts the three keys of [Receive] in Tidewell.ini and keeps
// a copy in Quillbox.ini. A bare file name runs from the data folder; the
// working folder defaults to the program's folder.
ExternalLaunch PlanExternalProgram(ListProfile& profile, const std::string& data_folder);

// After the program was started: true when the list window closes now
// (ExecEndCheck=1). The first use (ExecEndCheck missing) writes
// ExecEndCheck=1 and keeps the window open.
bool CloseListAfterLaunch(ListProfile& profile, const std::string& data_folder);

}  // namespace tidewell
