#include "quillbox/external_program.h"

#include "common/paths.h"
#include "common/sjis.h"

namespace tidewell {

namespace {

constexpr std::size_t kPathSize = 260;
constexpr std::size_t kCmdlineSize = 10000;

std::string QuillboxIni(const std::string& data_folder) { return JoinPath(data_folder, "Quillbox.ini"); }
std::string TidewellIni(const std::string& data_folder) { return JoinPath(data_folder, "Tidewell.ini"); }

}  // namespace

ExternalLaunch PlanExternalProgram(ListProfile& profile, const std::string& data_folder) {
  ExternalLaunch launch;
  const std::string quillbox = QuillboxIni(data_folder);
  std::string exec = profile.GetString(quillbox, "Setting", "Exec", kPathSize);
  std::string cmdline = profile.GetString(quillbox, "Setting", "ExecCmdline", kCmdlineSize);
  std::string folder = profile.GetString(quillbox, "Setting", "ExecWorkFolder", kPathSize);
  if (exec.empty()) {
    const std::string tidewell = TidewellIni(data_folder);
    exec = profile.GetString(tidewell, "Receive", "Exec", kPathSize);
    cmdline = profile.GetString(tidewell, "Receive", "ExecCmdline", kCmdlineSize);
    folder = profile.GetString(tidewell, "Receive", "ExecWorkFolder", kPathSize);
    if (exec.empty()) return launch;
    profile.WriteString(quillbox, "Setting", "Exec", exec);
    profile.WriteString(quillbox, "Setting", "ExecCmdline", cmdline);
    profile.WriteString(quillbox, "Setting", "ExecWorkFolder", folder);
  }
  const std::size_t slash = LastBackslash(exec);
  if (slash == std::string::npos) {
    launch.program = JoinPath(data_folder, exec);
    if (folder.empty()) folder = data_folder;
  } else {
    if (slash == 0) {
      launch.outcome = ExternalLaunch::Outcome::kNoFile;
      return launch;
    }
    launch.program = exec;
    if (folder.empty()) folder = exec.substr(0, slash);
  }
  launch.outcome = ExternalLaunch::Outcome::kRun;
  launch.parameters = cmdline;
  launch.folder = folder;
  return launch;
}

bool CloseListAfterLaunch(ListProfile& profile, const std::string& data_folder) {
  const std::string quillbox = QuillboxIni(data_folder);
  const int end_check = profile.GetInt(quillbox, "Setting", "ExecEndCheck", -1);
  if (end_check == 1) return true;
  if (end_check == -1) profile.WriteString(quillbox, "Setting", "ExecEndCheck", "1");
  return false;
}

}  // namespace tidewell
