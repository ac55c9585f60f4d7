// The codec calls of the mail list: the text codec of the header functions
// plus MD5 for the header hash and the account mail file names. Windows binds
// them to Inkwell2.dll (win32/inkwell_list_codec.h); the unit tests to the
// codec library's core.
#pragma once

#include <string>

#include "common/text_codec.h"

namespace tidewell {

class ListCodec : public TextCodec {
 public:
  // MD5Calc: 32 lower-case hexadecimal digits, "" when unavailable.
  virtual std::string Md5Hex(const std::string& text) = 0;
};

}  // namespace tidewell
