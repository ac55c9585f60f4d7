// A stranger's Inkwell2.dll, planted in a current folder or on the PATH by
// the tests: when any program loads it, it leaves the file
// "planted-inkwell-loaded.txt" in the current folder, so the test sees that
// it ran.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    HANDLE h = CreateFileA("planted-inkwell-loaded.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  return TRUE;
}

// The export every program looks for first; the planted copy answers nothing.
extern "C" __declspec(dllexport) int WINAPI MD5Calc(const char*, char* out) {
  if (out) out[0] = '\0';
  return 0;
}
