#include "tidewell/engine/win32/module_folder.h"

#include <vector>

#include "tidewell/engine/notify_support.h"

namespace tidewell {

std::string BesideProgram(const char* name, HMODULE module) {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return name;
    if (n < buffer.size()) {
      std::string path(buffer.data(), n);
      std::size_t slash = LastBackslash(path);
      path.resize(slash == std::string::npos ? 0 : slash + 1);
      return path + name;
    }
    if (buffer.size() >= 32768) return name;
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace tidewell
