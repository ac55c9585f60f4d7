// Libraries of our own are loaded by full path from the folder of the module
// that loads them (the program, or the library whose code asks), and only
// from there: a bare name would let the loader search the current folder
// (the folder of a message file opened from Explorer) and the PATH, and run
// whatever DLL of that name it finds there.
#pragma once

#include <windows.h>

#include <string>

namespace tidewell {

// The module this code is linked into (a program or a library of ours).
HMODULE OwnModule();

// The folder of module's file, with its trailing backslash; "" when the
// file name cannot be had.
std::string ModuleFolderOf(HMODULE module);

// LoadLibraryExA of folder-of-OwnModule() + name. Null when the file is not
// there (no other folder is searched) or cannot be loaded.
HMODULE LoadBesideOwnModule(const char* name);

// For a program's start: every later load by bare name (system libraries)
// searches the program's folder and the system folder only, not the current
// folder nor the PATH (SetDefaultDllDirectories where the system has it,
// otherwise at least SetDllDirectoryA("") for the current folder).
void RestrictDllSearch();

}  // namespace tidewell
