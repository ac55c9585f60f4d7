// GetHeader and Source_Split on arbitrary text, names and boundaries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "inkwell2/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int max = data[0] * 4 - 10;
  const int n = static_cast<signed char>(data[1]) % 8;
  const int mode = data[2] % 4;
  std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
  // name, boundary and text separated by a NUL each
  const std::size_t a = rest.find('\0');
  const std::string_view name = rest.substr(0, a);
  rest = a == std::string_view::npos ? std::string_view() : rest.substr(a + 1);
  const std::size_t b = rest.find('\0');
  const std::string_view boundary = rest.substr(0, b);
  std::string text(b == std::string_view::npos ? std::string_view() : rest.substr(b + 1));
  if (text.empty()) text = std::string(rest);
  text = text.substr(0, text.find('\0'));

  const std::string value = inkwell2::get_header(text, name, max);
  if (value.size() > static_cast<std::size_t>(max < 0 ? 0 : max) || value.size() > text.size()) std::abort();
  int result = 0;
  bool touched = false;
  const std::string part = inkwell2::source_split(text, boundary, n, mode, &result, &touched);
  if (part.size() > text.size()) std::abort();
  if (!touched && !part.empty()) std::abort();
  return 0;
}
