// The character-set backend on Windows: MultiByteToWideChar and
// WideCharToMultiByte with explicit code pages, so the library gives Shift_JIS
// also on a system whose ANSI code page is not 932. The work area is sized
// from the input (the platform is asked for the length first), so no input
// length can run past it.
#include <windows.h>

#include "inkwell2/unicode_backend.h"

namespace inkwell2::backend {

bool to_utf16(int cp, std::string_view src, std::u16string& out) {
  out.clear();
  if (src.empty()) return true;
  if (src.size() > 0x7FFFFFFF) return false;
  const int len = static_cast<int>(src.size());
  const int units = MultiByteToWideChar(static_cast<UINT>(cp), 0, src.data(), len, nullptr, 0);
  if (units <= 0) return false;
  out.resize(static_cast<std::size_t>(units));
  const int done = MultiByteToWideChar(static_cast<UINT>(cp), 0, src.data(), len,
                                       reinterpret_cast<wchar_t*>(out.data()), units);
  if (done <= 0) return false;
  out.resize(static_cast<std::size_t>(done));
  return true;
}

bool from_utf16(int cp, std::u16string_view src, std::string& out) {
  out.clear();
  if (src.empty()) return true;
  if (src.size() > 0x7FFFFFFF) return false;
  const int len = static_cast<int>(src.size());
  const auto* w = reinterpret_cast<const wchar_t*>(src.data());
  const int bytes = WideCharToMultiByte(static_cast<UINT>(cp), 0, w, len, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  out.resize(static_cast<std::size_t>(bytes));
  const int done = WideCharToMultiByte(static_cast<UINT>(cp), 0, w, len, out.data(), bytes, nullptr, nullptr);
  if (done <= 0) return false;
  out.resize(static_cast<std::size_t>(done));
  return true;
}

}  // namespace inkwell2::backend
