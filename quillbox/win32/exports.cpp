// The exports of Quillbox.dll. ListShow is the one the tray program calls;
// fnQuillbox, nQuillbox and CQuillbox are kept for outside callers of the
// library and used by nothing here.
#include <windows.h>

#include "quillbox/win32/list_window.h"

namespace {
HINSTANCE g_module = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

#define QUILLBOX_API extern "C" __declspec(dllexport)

// ListShow(owner window, account count, data folder): the list window, or
// null when it cannot be created. Called as __stdcall (the callee removes
// the arguments).
QUILLBOX_API HWND WINAPI ListShow(HWND parent, int account_count, char* data_folder) {
  return tidewell::OpenListWindow(g_module, parent, account_count, data_folder);
}

QUILLBOX_API int fnQuillbox() { return 42; }

extern "C" {
__declspec(dllexport) int nQuillbox = 0;
}

class __declspec(dllexport) CQuillbox {
 public:
  CQuillbox();
  CQuillbox& operator=(const CQuillbox&);
};

CQuillbox::CQuillbox() {}
CQuillbox& CQuillbox::operator=(const CQuillbox&) { return *this; }
