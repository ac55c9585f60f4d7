#include "tidewell/engine/win32/program_launcher.h"

#include <windows.h>
#include <shellapi.h>

#include "tidewell/engine/notify_rules.h"
#include "tidewell/engine/win32/process_list.h"

namespace tidewell {

void ShowMessageBox(const std::string& text) { MessageBoxA(nullptr, text.c_str(), "", MB_OK); }

int StartExternalProgram(const std::string& program_path, const std::string& parameters,
                         const std::string& work_folder, bool no_duplicate, const std::string& data_folder,
                         const ShowMessageFn& tell) {
  if (no_duplicate && ProgramAlreadyRunning(BuildProcessList(), program_path)) return 0;
  if (!program_path.empty()) {
    LaunchTarget target = ResolveLaunchTarget(program_path, work_folder, data_folder);
    HINSTANCE result = ShellExecuteA(nullptr, "open", target.file.c_str(), parameters.c_str(),
                                     target.folder.c_str(), SW_SHOW);
    if (reinterpret_cast<INT_PTR>(result) > 32) return 1;
  }
  if (tell) tell(ProgramStartFailedMessage(program_path));
  return -1;
}

}  // namespace tidewell
