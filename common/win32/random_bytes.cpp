#include "common/win32/random_bytes.h"

#include <windows.h>

#include <bcrypt.h>

namespace tidewell {

bool RandomBytes(std::size_t n, std::string& out) {
  out.assign(n, '\0');
  if (n == 0) return true;
  if (n > 0xFFFFFFFFu ||
      !BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&out[0]), static_cast<ULONG>(n),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace tidewell
