// A message-only window that belongs to one object: its procedure finds the
// object again. For the drivers that run sockets, requests and timers by
// window messages on the thread that made them.
#pragma once

#include <windows.h>

namespace tidewell {

// Registers class_name with proc (once; later calls find it registered) and
// makes a message-only window whose owner is `owner`. nullptr on failure.
HWND CreateOwnedMessageWindow(HINSTANCE instance, const char* class_name, WNDPROC proc, void* owner);

// For the procedure of such a window: keeps the owner at WM_NCCREATE and
// gives it for every later message (nullptr before).
void* MessageWindowOwner(HWND hwnd, UINT msg, LPARAM lp);

}  // namespace tidewell
