// Starts an external program on new mail or on a left click: optionally not
// when it already runs, from the data folder when only a file name is given.
#pragma once

#include <functional>
#include <string>

namespace tidewell {

// Shows a message to the user; the default is a modal box, OK button, no
// caption text.
using ShowMessageFn = std::function<void(const std::string& text)>;
void ShowMessageBox(const std::string& text);

// 1 started, 0 not started because it already runs (no_duplicate), -1 failed
// (the user is told "<path>が起動できませんでした。"). An empty path counts as
// a failure instead of opening the data folder.
int StartExternalProgram(const std::string& program_path, const std::string& parameters,
                         const std::string& work_folder, bool no_duplicate, const std::string& data_folder,
                         const ShowMessageFn& tell = ShowMessageBox);

}  // namespace tidewell
