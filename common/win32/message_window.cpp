#include "common/win32/message_window.h"

namespace tidewell {

HWND CreateOwnedMessageWindow(HINSTANCE instance, const char* class_name, WNDPROC proc, void* owner) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.lpszClassName = class_name;
  RegisterClassA(&wc);  // fails harmlessly when already registered
  return CreateWindowExA(0, class_name, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, owner);
}

void* MessageWindowOwner(HWND hwnd, UINT msg, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    void* owner = reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    return nullptr;  // nothing of the owner runs before the window exists
  }
  return reinterpret_cast<void*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

}  // namespace tidewell
