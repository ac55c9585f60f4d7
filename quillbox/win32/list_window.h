// The list window: the modeless dialog 101 over every mail of the last check.
#pragma once

#include <windows.h>

namespace tidewell {

// ListShow: creates the list window owned by parent over account_count
// accounts whose data live in data_folder (the library's own folder when that
// is not an existing folder). Returns the window, or null after telling the
// user that the dialog could not be created. While a list window exists it is
// returned again.
HWND OpenListWindow(HINSTANCE module, HWND parent, int account_count, const char* data_folder);

}  // namespace tidewell
