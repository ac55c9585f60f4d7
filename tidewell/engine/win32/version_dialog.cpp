#include "tidewell/engine/win32/version_dialog.h"

#include "notify_res.h"
#include "tidewell_version.h"

namespace tidewell {
namespace {

INT_PTR CALLBACK VersionProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // The number comes from the build's one version number.
      SetDlgItemTextA(dialog, IDC_VERSION_TEXT, "Tidewell ver" TIDEWELL_VERSION_TEXT);
      MessageBeep(MB_OK);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void ShowVersionDialog(HINSTANCE instance, HWND owner) {
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_VERSION), owner, VersionProc, 0);
}

}  // namespace tidewell
