// Test helper: appends its current directory and a line break to the file
// named by its first argument, then stays alive for the number of
// milliseconds given as the second argument.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 2) return 2;
  char folder[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof(folder), folder);
  if (FILE* f = std::fopen(__argv[1], "ab")) {
    std::fprintf(f, "%s\n", folder);
    std::fclose(f);
  }
  if (__argc > 2) Sleep(static_cast<DWORD>(std::atoi(__argv[2])));
  return 0;
}
