#include "quillbox/win32/header_dialog.h"

#include "quillbox_res.h"

namespace tidewell {

namespace {

struct HeaderDialogData {
  HINSTANCE module;
  const std::string* title;
  const std::string* header;
};

constexpr int kHeaderWidth = 400;
constexpr int kHeaderHeight = 300;

void LayOut(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  const HWND button = GetDlgItem(dialog, IDCANCEL);
  RECT b;
  GetWindowRect(button, &b);
  const int bw = b.right - b.left, bh = b.bottom - b.top;
  SetWindowPos(button, nullptr, (client.right - bw) / 2, client.bottom - 4 - bh, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  const int edit_height = client.bottom - bh - 8;
  SetWindowPos(GetDlgItem(dialog, IDC_HEADER_TEXT), nullptr, 0, 0, client.right, edit_height > 0 ? edit_height : 0,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL OnInit(HWND dialog, const HeaderDialogData& data) {
  const HICON icon = static_cast<HICON>(
      LoadImageA(data.module, MAKEINTRESOURCEA(IDI_LIST), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                 GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  SetWindowTextA(dialog, data.title->c_str());
  SetDlgItemTextA(dialog, IDC_HEADER_TEXT, data.header->c_str());
  SetWindowPos(dialog, nullptr, 0, 0, kHeaderWidth, kHeaderHeight, SWP_NOMOVE | SWP_NOZORDER);
  LayOut(dialog);
  // Focus on the close button, so that the header is not shown all selected.
  SetFocus(GetDlgItem(dialog, IDCANCEL));
  PostMessageA(GetDlgItem(dialog, IDC_HEADER_TEXT), EM_SETSEL, 0, 0);
  return FALSE;
}

INT_PTR CALLBACK HeaderProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      return OnInit(dialog, *reinterpret_cast<const HeaderDialogData*>(lp));
    case WM_SIZE:
      LayOut(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wp));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

void ShowHeaderDialog(HINSTANCE module, HWND owner, const std::string& title, const std::string& header) {
  HeaderDialogData data{module, &title, &header};
  DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_HEADER), owner, HeaderProc, reinterpret_cast<LPARAM>(&data));
}

}  // namespace tidewell
