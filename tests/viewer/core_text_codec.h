// TextCodec for the native tests: the codec library's core (the same code as
// Inkwell2.dll), and stand-ins for a missing library or a missing coder.
#pragma once

#include <string>

#include "common/text_codec.h"
#include "inkwell2/codec.h"

namespace tidewell::testing {

class CoreTextCodec : public TextCodec {
 public:
  bool CodeConv(const std::string& src, int code, std::string& out) override {
    out = inkwell2::code_conv(src, code);
    return true;
  }
  bool Base64Coding(const std::string& src, int op, std::string& out) override {
    out = inkwell2::base64_coding(src, op);
    return true;
  }
  bool QuotedCoding(const std::string& src, int op, std::string& out) override {
    out = inkwell2::quoted_coding(src, op);
    return true;
  }
};

// Inkwell2.dll cannot be loaded: every call fails.
class MissingTextCodec : public TextCodec {
 public:
  bool CodeConv(const std::string&, int, std::string& out) override { return Fail(out); }
  bool Base64Coding(const std::string&, int, std::string& out) override { return Fail(out); }
  bool QuotedCoding(const std::string&, int, std::string& out) override { return Fail(out); }

 private:
  static bool Fail(std::string& out) {
    out.clear();
    return false;
  }
};

// The library loads but has no Quoted_Coding export.
class NoQuotedTextCodec : public CoreTextCodec {
 public:
  bool QuotedCoding(const std::string&, int, std::string& out) override {
    out.clear();
    return false;
  }
};

}  // namespace tidewell::testing
