#include "common/win32/inkwell_dll.h"

#include <windows.h>

#include <vector>

#include "common/win32/own_module.h"

namespace tidewell {

namespace {

using Md5CalcFn = int(__stdcall*)(const char* text, char* out);
using CodingFn = int(__stdcall*)(const char* src, char* dst, const char* file, int op);
using CodeConvFn = int(__stdcall*)(const char* src, char* dst, int code);

// Inkwell2.dll for the length of one call.
class InkwellLibrary {
 public:
  InkwellLibrary() : module_(LoadInkwellLibrary()) {}
  ~InkwellLibrary() {
    if (module_) FreeLibrary(module_);
  }
  InkwellLibrary(const InkwellLibrary&) = delete;
  InkwellLibrary& operator=(const InkwellLibrary&) = delete;

  bool loaded() const { return module_ != nullptr; }

  template <typename Fn>
  Fn Bind(const char* name) const {
    if (!module_) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

// A zeroed buffer of factor * n + 1000 bytes for an input of n bytes.
std::vector<char> OutputBuffer(std::size_t n, std::size_t factor) { return std::vector<char>(factor * n + 1000, '\0'); }

// The text the export wrote: up to its NUL, never past the buffer.
std::string TakeText(const std::vector<char>& buffer) {
  std::size_t n = 0;
  while (n < buffer.size() && buffer[n]) ++n;
  return std::string(buffer.data(), n);
}

bool CallCoding(const char* export_name, std::size_t factor, const std::string& src, int op, std::string& out,
                const char* file) {
  out.clear();
  InkwellLibrary lib;
  const CodingFn fn = lib.Bind<CodingFn>(export_name);
  if (!fn) return false;
  std::vector<char> buffer = OutputBuffer(src.size(), factor);
  fn(src.c_str(), buffer.data(), file, op);
  out = TakeText(buffer);
  return true;
}

}  // namespace

HMODULE LoadInkwellLibrary() { return LoadBesideOwnModule(kInkwellDllName); }

bool InkwellAvailable() { return InkwellLibrary().loaded(); }

std::string InkwellMd5(const std::string& text) {
  InkwellLibrary lib;
  const Md5CalcFn fn = lib.Bind<Md5CalcFn>("MD5Calc");
  if (!fn) return std::string();
  std::vector<char> buffer(33, '\0');
  fn(text.c_str(), buffer.data());
  return TakeText(buffer);
}

bool InkwellBase64(const std::string& src, int op, std::string& out, const char* file) {
  return CallCoding("Base64_Coding", 2, src, op, out, file);
}

bool InkwellQuoted(const std::string& src, int op, std::string& out, const char* file) {
  return CallCoding("Quoted_Coding", 4, src, op, out, file);
}

bool InkwellCodeConv(const std::string& src, int code, std::string& out) {
  out.clear();
  InkwellLibrary lib;
  const CodeConvFn fn = lib.Bind<CodeConvFn>("Code_Conv");
  if (!fn) return false;
  std::vector<char> buffer = OutputBuffer(src.size(), 2);
  fn(src.c_str(), buffer.data(), code);
  out = TakeText(buffer);
  return true;
}

}  // namespace tidewell
