// NotifyCodec on Inkwell2.dll. Every call still binds the library by name
// and releases it afterwards; the object keeps one reference to the library
// for its lifetime, so that those per-call loads only count a reference
// instead of mapping the file again. Create one around the summary files and
// the clean-up.
#pragma once

#include <windows.h>

#include "tidewell/engine/notify_support.h"

namespace tidewell {

class Win32NotifyCodec : public NotifyCodec {
 public:
  Win32NotifyCodec();
  ~Win32NotifyCodec() override;
  Win32NotifyCodec(const Win32NotifyCodec&) = delete;
  Win32NotifyCodec& operator=(const Win32NotifyCodec&) = delete;

  std::string GetHeader(std::string_view text, std::string_view name, int max) override;
  std::string CodeConv(std::string_view text, int code) override;
  std::string Base64Coding(std::string_view text, int op) override;
  std::string QuotedCoding(std::string_view text, int op) override;
  std::string Md5Hex(std::string_view text) override;

 private:
  HMODULE held_;
};

}  // namespace tidewell
