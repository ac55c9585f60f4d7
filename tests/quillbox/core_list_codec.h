// ListCodec for the native tests: the codec library's core.
#pragma once

#include "inkwell2/codec.h"
#include "quillbox/list_codec.h"
#include "tests/viewer/core_text_codec.h"

namespace tidewell::testing {

class CoreListCodec : public ListCodec {
 public:
  bool CodeConv(const std::string& src, int code, std::string& out) override {
    ++calls;
    return core_.CodeConv(src, code, out);
  }
  bool Base64Coding(const std::string& src, int op, std::string& out) override {
    ++calls;
    return core_.Base64Coding(src, op, out);
  }
  bool QuotedCoding(const std::string& src, int op, std::string& out) override {
    ++calls;
    return core_.QuotedCoding(src, op, out);
  }
  std::string Md5Hex(const std::string& text) override { return inkwell2::md5_hex(text); }
  int calls = 0;

 private:
  CoreTextCodec core_;
};

}  // namespace tidewell::testing
