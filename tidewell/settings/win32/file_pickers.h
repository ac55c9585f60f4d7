// The platform's pickers used by the settings sheet and the account dialog:
// the open-file dialog for a sound or a program, the shell's icon-selection
// dialog, and extracting an icon of a file for a preview.
#pragma once

#include <windows.h>

#include <string>

#include "common/win32/handles.h"

namespace tidewell {

enum class BrowseKind { kWave, kProgram, kIcon };

// Open-file dialog starting from the edit's text (folder and file name split
// at its last backslash), default extension "wav" or "exe", read-only box
// hidden, existing files only. True with the chosen full path in text when the
// user confirmed; text unchanged otherwise.
bool BrowseForFile(HWND owner, BrowseKind kind, std::string& text);

// The shell's icon-selection dialog (SHELL32.DLL ordinal 62, loaded for this
// call only) on a path buffer of 260 characters. A path that does not fit
// starts the dialog without a path. True with the chosen path and index when
// the user confirmed; false (nothing changed) on cancel or when SHELL32.DLL
// or the export cannot be loaded. Where the export is there but cannot show
// its dialog (it answers -1), the open-file dialog for icon files stands in:
// the chosen file with index 0, or the old index when the file is the same.
bool PickIcon(HWND owner, std::string& path, int& index);

// The icon at index of file (ExtractIconExA), large (32 x 32) or small
// (16 x 16); empty when the file holds none.
UniqueIcon ExtractFileIcon(const std::string& file, int index, bool large);

// One of the program's own icons at size x size pixels.
UniqueIcon LoadOwnIcon(HINSTANCE instance, int id, int size);

}  // namespace tidewell
