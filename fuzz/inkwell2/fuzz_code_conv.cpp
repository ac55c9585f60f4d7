// Code_Conv over every code: never a crash or sanitizer report, never more
// output than the caller's buffer bound, and the JIS codes agree with each
// other where the rules say they must.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "inkwell2/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int kCodes[] = {0, 1, 2, 3, 4, 5, 6, 7, 51, 61, 71, 8, 50};
  if (size == 0) return 0;
  const int code = kCodes[data[0] % (sizeof kCodes / sizeof kCodes[0])];
  const std::string_view in(reinterpret_cast<const char*>(data + 1), size - 1);
  int result = -12345;
  const std::string out = inkwell2::code_conv(in, code, &result);
  if (out.size() + 1 > inkwell2::output_limit(in.size())) std::abort();
  if (result == -12345) std::abort();
  // Code 4 is code 3 followed by code 2.
  if (code == 4 && inkwell2::code_conv(in, 3).size() + 1 < inkwell2::output_limit(in.size()) &&
      out != inkwell2::code_conv(inkwell2::code_conv(in, 3), 2))
    std::abort();
  return 0;
}
