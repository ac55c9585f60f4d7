// Base64 and quoted-printable, encode and decode: no crash, output within the
// bound, and decoding an encoding gives the text back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "inkwell2/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const int kOps[] = {1, 2, 11, 12, 13, 14, 0, 3};
  const int op = kOps[data[0] % 8];
  const bool quoted = data[0] & 0x80;
  std::string_view in(reinterpret_cast<const char*>(data + 1), size - 1);
  in = in.substr(0, in.find('\0'));  // the exports see a NUL-terminated text
  int result = 0;
  // Ops that name a file get none here (the unit tests cover files).
  const std::string out = quoted ? inkwell2::quoted_coding(in, op == 13 ? 11 : op, nullptr, &result)
                                 : inkwell2::base64_coding(in, op, nullptr, &result);
  if (out.size() + 1 > inkwell2::output_limit(in.size(), quoted ? 4 : 2)) std::abort();
  if (result < 0 || static_cast<std::size_t>(result) > inkwell2::output_limit(in.size(), 4)) std::abort();

  if (inkwell2::base64_coding(inkwell2::base64_coding(in, 1), 11) != in) std::abort();
  // Quoted-printable keeps text whose line ends are CR LF and that has no
  // blank before a line end (the encoder writes those as =20 and the decoder
  // keeps them).
  const std::string qp = inkwell2::quoted_coding(in, 1);
  const std::string back = inkwell2::quoted_coding(qp, 11);
  if (in.find('\r') == std::string_view::npos && in.find('\n') == std::string_view::npos && back != in) std::abort();
  std::string crlf = inkwell2::to_crlf(in);
  if (crlf.size() > 2 * in.size()) std::abort();
  return 0;
}
