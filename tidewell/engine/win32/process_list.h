// The names of the running processes, each followed by "\r\n": full paths of
// the main modules on the NT family (PSAPI), the snapshot's file names on the
// 95/98/Me family (Toolhelp). Every function is looked up by name at run time
// so that the program starts on both. Failures shorten the list silently.
#pragma once

#include <string>

namespace tidewell {

std::string BuildProcessList();

}  // namespace tidewell
