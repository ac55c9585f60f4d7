// Opens the list window of Quillbox.dll (beside this program) over a data
// folder, for screenshots:
//   list_shot DATA COUNT [header|delete|widths]
// The program is per-monitor DPI aware (v2) as Tidewell.exe is through its
// manifest. The window is placed at (40, 40), 900 x 320 pixels at 96 DPI
// (scaled with the screen's DPI, at most 1200 pixels wide). With "header" the first
// mail row is selected and the header dialog opened; with "delete" every mail
// row is selected and the delete command given (the confirmation dialog opens
// when DeleteCheck is on); with "widths" the DPI and the widths of the first
// five columns are printed and the list closed (Quillbox.ini written). Runs
// until the list closes
// or 120 seconds have passed.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr UINT kWmListClosed = WM_USER + 100;
bool g_closed = false;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kWmListClosed) {
    g_closed = true;
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  if (auto set_context = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDpiAwarenessContext"))))
    set_context(reinterpret_cast<HANDLE>(-4));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  HMODULE library = LoadLibraryA("Quillbox.dll");
  if (!library) return 3;
  using ListShowFn = HWND(WINAPI*)(HWND, int, char*);
  auto list_show = reinterpret_cast<ListShowFn>(reinterpret_cast<void*>(GetProcAddress(library, "ListShow")));
  if (!list_show) return 3;
  WNDCLASSA wc{};
  wc.lpfnWndProc = OwnerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "ListShotOwner";
  RegisterClassA(&wc);
  HWND owner = CreateWindowExA(WS_EX_TOOLWINDOW, "ListShotOwner", "owner", 0, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  std::string folder = argv[1];
  folder.resize(260, '\0');
  HWND list = list_show(owner, std::atoi(argv[2]), folder.data());
  if (!list) return 4;
  SetWindowPos(list, HWND_TOP, 40, 40, std::min(MulDiv(900, dpi, 96), 1200), MulDiv(320, dpi, 96), SWP_SHOWWINDOW);
  SetForegroundWindow(list);
  if (argc >= 4 && std::strcmp(argv[3], "widths") == 0) {
    const HWND view = GetDlgItem(list, 1001);
    std::printf("dpi %d widths", dpi);
    for (int i = 0; i < 5; ++i) std::printf(" %d", static_cast<int>(SendMessageA(view, LVM_GETCOLUMNWIDTH, i, 0)));
    std::printf("\n");
    std::fflush(stdout);
    PostMessageA(list, WM_CLOSE, 0, 0);
  }
  if (argc >= 4 && std::strcmp(argv[3], "delete") == 0) {
    const HWND view = GetDlgItem(list, 1001);
    const int count = static_cast<int>(SendMessageA(view, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      LVITEMA item{};
      item.stateMask = LVIS_SELECTED;
      item.state = LVIS_SELECTED;
      SendMessageA(view, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
    }
    PostMessageA(list, WM_COMMAND, 1004, 0);
  }
  if (argc >= 4 && std::strcmp(argv[3], "header") == 0) {
    // The first row of a mail (error rows have no Number_Old).
    const HWND view = GetDlgItem(list, 1001);
    const int count = static_cast<int>(SendMessageA(view, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      char number[16] = {};
      LVITEMA text{};
      text.iSubItem = 6;
      text.pszText = number;
      text.cchTextMax = sizeof number;
      SendMessageA(view, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&text));
      if (!number[0]) continue;
      LVITEMA item{};
      item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      item.state = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessageA(view, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
      break;
    }
    PostMessageA(list, WM_COMMAND, 40014, 0);
  }
  SetTimer(owner, 1, 120000, nullptr);
  MSG msg;
  while (!g_closed && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == owner) break;
    if (IsDialogMessageA(list, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
