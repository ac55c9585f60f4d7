#include "tidewell/engine/win32/mail_folder.h"

#include <windows.h>

namespace tidewell {

std::vector<std::string> Win32MailFolder::Names() {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((folder_ + "*.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    found.cFileName[sizeof(found.cFileName) - 1] = '\0';
    names.emplace_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

void Win32MailFolder::Delete(const std::string& name) { DeleteFileA((folder_ + name).c_str()); }

}  // namespace tidewell
