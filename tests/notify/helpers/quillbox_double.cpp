// Stand-in for the list library Quillbox.dll: ListShow opens a plain window
// whose title records the arguments ("<count>|<data folder>"); when that
// window is destroyed it posts WM_LIST_CLOSED (1124) to the owner, as the
// real list does. Like the real list it closes on WM_COMMAND IDCANCEL, which
// the tray program sends at exit. For a data folder holding "no-window" it
// returns no window, as the real list does when its dialog cannot be created.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr UINT kWmListClosed = WM_USER + 100;
HWND g_owner = nullptr;
HINSTANCE g_instance = nullptr;

LRESULT CALLBACK ListProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) PostMessageA(g_owner, kWmListClosed, 0, 0);
  if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
    DestroyWindow(window);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

extern "C" __declspec(dllexport) HWND WINAPI ListShow(HWND owner, int count, char* folder) {
  // A data folder named "no-window" stands for a list whose dialog cannot be
  // created: no window comes back.
  if (folder && std::strstr(folder, "no-window")) return nullptr;
  g_owner = owner;
  WNDCLASSA wc{};
  wc.lpfnWndProc = ListProc;
  wc.hInstance = g_instance;
  wc.lpszClassName = "QuillboxDoubleList";
  RegisterClassA(&wc);
  char title[400];
  std::snprintf(title, sizeof(title), "%d|%s", count, folder);
  return CreateWindowA("QuillboxDoubleList", title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                       g_instance, nullptr);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_instance = instance;
  if (reason == DLL_PROCESS_DETACH) UnregisterClassA("QuillboxDoubleList", instance);
  return TRUE;
}
