// Screenshot helper: posts WM_COMMAND id to the top-level dialog whose
// caption is CAPTION (Shift_JIS), or to the first message window when CAPTION
// is "*".
//   viewer_poke.exe CAPTION ID
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {
const char* g_caption = "";
HWND g_found = nullptr;

BOOL CALLBACK Visit(HWND window, LPARAM) {
  char cls[64] = "";
  char text[256] = "";
  GetClassNameA(window, cls, sizeof cls);
  GetWindowTextA(window, text, sizeof text);
  if (std::strcmp(cls, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  if (std::strcmp(g_caption, "*") == 0 ? GetDlgItem(window, 1015) != nullptr : std::strcmp(text, g_caption) == 0) {
    g_found = window;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  g_caption = argv[1];
  for (int i = 0; i < 100 && !g_found; ++i) {
    EnumWindows(Visit, 0);
    if (!g_found) Sleep(100);
  }
  if (!g_found) return 1;
  PostMessageA(g_found, WM_COMMAND, std::atoi(argv[2]), 0);
  return 0;
}
