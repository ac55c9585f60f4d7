// Holds a file open without sharing, as a backup or sync program does:
//   hold_file.exe NAME PATH
// opens PATH with share mode 0, sets the event NAME-held, waits (at most a
// minute) for the event NAME-release, then closes the file.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string name = argv[1];
  HANDLE file = CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  HANDLE held = CreateEventA(nullptr, TRUE, FALSE, (name + "-held").c_str());
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, (name + "-release").c_str());
  SetEvent(held);
  WaitForSingleObject(release, 60000);
  CloseHandle(file);
  CloseHandle(held);
  CloseHandle(release);
  return 0;
}
