#include "tidewell/engine/except_list.h"

#include "tidewell/engine/notify_support.h"
#include "common/atomic_file.h"

namespace tidewell {

void AppendProcessName(std::string& list, std::string_view name) {
  if (name.empty()) return;
  if (list.size() + name.size() + 2 > kProcessListBuffer - 1) return;
  list += name;
  list += "\r\n";
}

bool ExceptListMatches(std::string_view except_text, std::string_view process_list) {
  const std::string text = LowerSjis(except_text);
  const std::string list = LowerSjis(process_list);
  std::size_t p = 0;
  while (p + 1 < text.size()) {
    std::size_t line_break = text.find("\r\n", p + 1);
    if (line_break == std::string::npos) break;
    std::string_view entry = std::string_view(text).substr(p, line_break - p);
    // A blank line's break becomes the start of the next entry, so such an
    // entry only matches a name that starts a line of the list.
    std::string_view name = AfterLastBackslash(entry);
    if (!name.empty() && name != "\r\n" && list.find(name) != std::string::npos) return true;
    p = line_break + 2;
  }
  return false;
}

bool ExcludedProgramRunning(const std::string& data_folder,
                            const std::function<std::string()>& build_process_list) {
  std::string text;
  if (!ReadWholeFile(NotifyPath(data_folder, "except.dat"), text) || text.empty()) return false;
  return ExceptListMatches(text, build_process_list());
}

}  // namespace tidewell
