// NotifyCodec bound to the codec library's portable core, for the native
// tests of the summary file and the clean-up.
#pragma once

#include "inkwell2/codec.h"
#include "tidewell/engine/notify_support.h"

namespace tidewell::testing {

class CoreNotifyCodec : public NotifyCodec {
 public:
  std::string GetHeader(std::string_view text, std::string_view name, int max) override {
    return inkwell2::get_header(text, name, max);
  }
  std::string CodeConv(std::string_view text, int code) override { return inkwell2::code_conv(text, code); }
  std::string Base64Coding(std::string_view text, int op) override { return inkwell2::base64_coding(text, op); }
  std::string QuotedCoding(std::string_view text, int op) override { return inkwell2::quoted_coding(text, op); }
  std::string Md5Hex(std::string_view text) override { return inkwell2::md5_hex(text); }
};

// The same codec without the library: what the Windows side does when
// Inkwell2.dll cannot be loaded.
class MissingNotifyCodec : public NotifyCodec {
 public:
  std::string GetHeader(std::string_view, std::string_view, int) override { return ""; }
  std::string CodeConv(std::string_view text, int) override { return std::string(text); }
  std::string Base64Coding(std::string_view text, int) override { return std::string(text); }
  std::string QuotedCoding(std::string_view text, int) override { return std::string(text); }
  std::string Md5Hex(std::string_view) override { return ""; }
};

}  // namespace tidewell::testing
