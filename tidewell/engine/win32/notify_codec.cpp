#include "tidewell/engine/win32/notify_codec.h"

#include <string>
#include <vector>

#include "common/win32/inkwell_dll.h"

namespace tidewell {
namespace {

using GetHeaderFn = int(__stdcall*)(const char* text, const char* name, char* dst, int max);

}  // namespace

Win32NotifyCodec::Win32NotifyCodec() : held_(LoadInkwellLibrary()) {}

Win32NotifyCodec::~Win32NotifyCodec() {
  if (held_) FreeLibrary(held_);
}

std::string Win32NotifyCodec::GetHeader(std::string_view text, std::string_view name, int max) {
  if (max < 1) return std::string();
  HMODULE library = LoadInkwellLibrary();
  if (!library) return std::string();
  std::string value;
  auto get_header =
      reinterpret_cast<GetHeaderFn>(reinterpret_cast<void*>(GetProcAddress(library, "GetHeader")));
  if (get_header) {
    const std::string text_z(text);
    const std::string name_z(name);
    // One byte more than promised to the export, so the value always ends
    // inside the buffer even when the export fills all `max` bytes.
    std::vector<char> buffer(static_cast<std::size_t>(max) + 1, '\0');
    get_header(text_z.c_str(), name_z.c_str(), buffer.data(), max);
    std::size_t n = 0;
    while (n < static_cast<std::size_t>(max) - 1 && buffer[n]) ++n;
    value.assign(buffer.data(), n);
  }
  FreeLibrary(library);
  return value;
}

std::string Win32NotifyCodec::CodeConv(std::string_view text, int code) {
  std::string out;
  return InkwellCodeConv(std::string(text), code, out) ? out : std::string(text);
}

std::string Win32NotifyCodec::Base64Coding(std::string_view text, int op) {
  std::string out;
  return InkwellBase64(std::string(text), op, out) ? out : std::string(text);
}

std::string Win32NotifyCodec::QuotedCoding(std::string_view text, int op) {
  std::string out;
  return InkwellQuoted(std::string(text), op, out) ? out : std::string(text);
}

std::string Win32NotifyCodec::Md5Hex(std::string_view text) { return InkwellMd5(std::string(text)); }

}  // namespace tidewell
