// The two codec services that the account store needs, injected so that the
// portable code never loads a library. Windows binds them to Inkwell2.dll,
// loaded by name at each use (win32/inkwell_dll.h, InkwellDllCodec); the unit
// tests bind them to the codec library's core.
#pragma once

#include <string>

namespace tidewell {

class CodecCalls {
 public:
  virtual ~CodecCalls() = default;

  // Whether the codec library can be loaded at all.
  virtual bool Available() = 0;

  // Base64_Coding operation 11: the decoded text (up to its first zero byte).
  // Returns false when the library or the export is missing.
  virtual bool Base64Decode(const std::string& src, std::string& out) = 0;

  // MD5Calc: 32 lower-case hexadecimal digits; "" when the library or the
  // export is missing.
  virtual std::string Md5Hex(const std::string& text) = 0;
};

}  // namespace tidewell
