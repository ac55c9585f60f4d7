// Test helper run under Wine beside Tidewell.exe: finds the hidden windows
// titled "Tidewell" and posts messages to them, as another program would.
//   tray_helper count                 prints the number of such windows
//   tray_helper wait N SECONDS        waits until there are N of them (exit 1 on time-out)
//   tray_helper post MESSAGE          posts MESSAGE (decimal) to each of them; exit 2 when none
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

BOOL CALLBACK Collect(HWND hwnd, LPARAM lp) {
  char title[64] = "";
  GetWindowTextA(hwnd, title, sizeof title);
  if (std::strcmp(title, "Tidewell") == 0) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> TrayWindows() {
  std::vector<HWND> found;
  EnumWindows(&Collect, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "count") == 0) {
    std::printf("%u\n", static_cast<unsigned>(TrayWindows().size()));
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "wait") == 0) {
    const size_t want = std::strtoul(argv[2], nullptr, 10);
    const DWORD until = GetTickCount() + std::strtoul(argv[3], nullptr, 10) * 1000;
    while (TrayWindows().size() != want) {
      if (static_cast<LONG>(GetTickCount() - until) > 0) return 1;
      Sleep(50);
    }
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "post") == 0) {
    const UINT msg = static_cast<UINT>(std::strtoul(argv[2], nullptr, 10));
    std::vector<HWND> windows = TrayWindows();
    for (HWND w : windows) PostMessageA(w, msg, 0, 0);
    return windows.empty() ? 2 : 0;
  }
  std::fprintf(stderr, "usage: tray_helper count | wait N SECONDS | post MESSAGE\n");
  return 64;
}
