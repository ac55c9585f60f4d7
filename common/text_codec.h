// The codec calls that turn header text into display text: character-code
// conversion, Base64 and quoted-printable decoding, each with the operation
// code of the codec library. Injected, so that the portable text functions
// never load a library: Windows binds them to Inkwell2.dll loaded by name at
// each call (win32/inkwell_dll.h, InkwellDllTextCodec); the unit tests bind
// them to the codec library's core.
#pragma once

#include <string>

namespace tidewell {

class TextCodec {
 public:
  virtual ~TextCodec() = default;

  // Code_Conv(src, dst, code): out receives the converted text (up to its
  // first zero byte). False when the library or the export is missing.
  virtual bool CodeConv(const std::string& src, int code, std::string& out) = 0;

  // Base64_Coding / Quoted_Coding(src, dst, NULL, op), as above.
  virtual bool Base64Coding(const std::string& src, int op, std::string& out) = 0;
  virtual bool QuotedCoding(const std::string& src, int op, std::string& out) = 0;
};

}  // namespace tidewell
