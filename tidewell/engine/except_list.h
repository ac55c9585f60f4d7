// The excluded-program list "except.dat": while a program named in it runs,
// no mail check is made. One entry per line, each ending with "\r\n" (a last
// line without a line break is not read); only the file name part of an entry
// (after its last backslash) is compared, without regard to letter case, and
// it matches wherever it occurs in the process name list.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tidewell {

// The process name list is built in a 100,000-byte buffer whose last byte
// stays a terminator: a name that does not fit with its line break is left
// out. An empty name is skipped.
constexpr std::size_t kProcessListBuffer = 100000;
void AppendProcessName(std::string& list, std::string_view name);

// Whether an entry of the except.dat text occurs in the process name list
// (names each followed by "\r\n").
bool ExceptListMatches(std::string_view except_text, std::string_view process_list);

// Reads data folder + "\except.dat"; when it is missing or empty the answer is
// no and the process list is not built. Otherwise builds the process list
// with `build_process_list` and tests it.
bool ExcludedProgramRunning(const std::string& data_folder,
                            const std::function<std::string()>& build_process_list);

}  // namespace tidewell
