// The Account.dat reader on arbitrary bytes: no crash, no read past the
// image, and nothing longer than the caller's buffers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "inkwell2/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  inkwell2::AccountQuery q;
  q.index = static_cast<signed char>(data[0]) % 6;
  const std::size_t name_len = data[1] % 8;
  if (size < 2 + name_len) return 0;
  q.name = std::string_view(reinterpret_cast<const char*>(data + 2), name_len);
  std::string file("Tidewellv");
  // Half of the inputs get a valid header so the records are reached.
  std::string_view rest(reinterpret_cast<const char*>(data + 2 + name_len), size - 2 - name_len);
  if (data[1] & 0x80) file.assign(rest);
  else file.append(rest);
  const inkwell2::AccountAnswer a = inkwell2::read_account(file, q);
  if (a.name.size() >= inkwell2::kAccountNameBuffer || a.user.size() >= inkwell2::kAccountUserBuffer ||
      a.password.size() >= inkwell2::kAccountPasswordBuffer || a.server.size() >= inkwell2::kAccountServerBuffer)
    std::abort();
  if (a.found && a.enumerated) std::abort();
  if (a.port < 0 || a.port > 0xFFFF || a.apop < 0 || a.apop > 0xFF) std::abort();
  return 0;
}
