// Files looked up beside the program file rather than in the data folder.
#pragma once

#include <windows.h>

#include <string>

namespace tidewell {

// The program file's own path cut after its last backslash, plus `name`.
// `module` null means the program file.
std::string BesideProgram(const char* name, HMODULE module = nullptr);

}  // namespace tidewell
