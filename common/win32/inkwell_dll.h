// Calls into the codec library Inkwell2.dll. Every call loads the library
// from the folder of the module making the call (see own_module.h), looks
// the export up by name, calls it with a
// buffer of its own and unloads the library again; nothing is kept between
// calls. Output buffers follow the library's conventions: 2 * n + 1000 bytes
// (4 * n + 1000 for Quoted_Coding), n being the input length; 33 bytes for
// MD5Calc. When the library or the export is missing, the call reports
// failure (MD5: an empty digest) and the caller carries on.
#pragma once

#include <windows.h>

#include <string>

#include "common/codec_calls.h"
#include "common/text_codec.h"

namespace tidewell {

constexpr const char kInkwellDllName[] = "Inkwell2.dll";

// Inkwell2.dll from the calling module's folder (null when it is not there);
// the caller frees it.
HMODULE LoadInkwellLibrary();

// Whether Inkwell2.dll can be loaded.
bool InkwellAvailable();

// MD5Calc: 32 lower-case hex digits of text, or "" on failure.
std::string InkwellMd5(const std::string& text);

// Base64_Coding(src, dst, file, op). out receives the text the export wrote.
// Returns false when the library or export is missing. file may be null.
bool InkwellBase64(const std::string& src, int op, std::string& out, const char* file = nullptr);

// Quoted_Coding(src, dst, file, op), as above.
bool InkwellQuoted(const std::string& src, int op, std::string& out, const char* file = nullptr);

// Code_Conv(src, dst, code), as above.
bool InkwellCodeConv(const std::string& src, int code, std::string& out);

// CodecCalls on Inkwell2.dll (Base64 op 11, MD5Calc).
class InkwellDllCodec : public CodecCalls {
 public:
  bool Available() override { return InkwellAvailable(); }
  bool Base64Decode(const std::string& src, std::string& out) override { return InkwellBase64(src, 11, out); }
  std::string Md5Hex(const std::string& text) override { return InkwellMd5(text); }
};

// TextCodec on Inkwell2.dll (Code_Conv, Base64_Coding, Quoted_Coding).
class InkwellDllTextCodec : public TextCodec {
 public:
  bool CodeConv(const std::string& src, int code, std::string& out) override {
    return InkwellCodeConv(src, code, out);
  }
  bool Base64Coding(const std::string& src, int op, std::string& out) override {
    return InkwellBase64(src, op, out);
  }
  bool QuotedCoding(const std::string& src, int op, std::string& out) override {
    return InkwellQuoted(src, op, out);
  }
};

}  // namespace tidewell
