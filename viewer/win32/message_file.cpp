#include "viewer/win32/message_file.h"

#include "common/win32/handles.h"

namespace tidewell {

bool ReadMessageFile(const std::string& path, DWORD share, std::string& text) {
  text.clear();
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart > 0x7FFFFFFF) return false;
  text.resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < text.size()) {
    DWORD got = 0;
    if (!ReadFile(file.get(), &text[done], static_cast<DWORD>(text.size() - done), &got, nullptr)) return false;
    if (got == 0) break;
    done += got;
  }
  text.resize(done);
  return true;
}

}  // namespace tidewell
