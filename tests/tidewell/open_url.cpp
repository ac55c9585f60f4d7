// Test helper run under Wine: opens a URL the way the program does for a
// sign-in (ShellExecuteA "open"), so a test can see which handler the prefix
// starts for it.
//   open_url URL    exit 0 when the shell took the URL, 1 otherwise
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: open_url URL\n");
    return 64;
  }
  const auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", argv[1], nullptr, nullptr, SW_SHOWNORMAL));
  if (result <= 32) {
    std::fprintf(stderr, "ShellExecuteA: %d\n", static_cast<int>(result));
    return 1;
  }
  return 0;
}
