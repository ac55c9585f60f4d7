// Codec calls for the native tests: the codec library's core (the same code
// as Inkwell2.dll) and a stand-in for a missing library.
#pragma once

#include <string>

#include "common/codec_calls.h"

#ifdef TIDEWELL_HAVE_INKWELL2
#include "inkwell2/codec.h"

class CoreCodec : public tidewell::CodecCalls {
 public:
  bool Available() override { return true; }
  bool Base64Decode(const std::string& src, std::string& out) override {
    ++base64_calls;
    out = inkwell2::base64_coding(src, 11);
    return true;
  }
  std::string Md5Hex(const std::string& text) override { return inkwell2::md5_hex(text); }
  int base64_calls = 0;
};
#endif

// Inkwell2.dll cannot be loaded.
class MissingCodec : public tidewell::CodecCalls {
 public:
  bool Available() override { return false; }
  bool Base64Decode(const std::string&, std::string& out) override {
    out.clear();
    return false;
  }
  std::string Md5Hex(const std::string&) override { return std::string(); }
};
