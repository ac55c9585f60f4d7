// Token.dat fed any bytes: the reader never reads past its input and takes a
// file only whole; what it took is written back byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "common/oauth/token_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tidewell::oauth;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<TokenEntry> entries;
  if (!ParseTokenFile(bytes, entries)) {
    if (!entries.empty()) std::abort();
    return 0;
  }
  if (entries.size() > 255 || EncodeTokenFile(entries) != bytes) std::abort();
  for (const TokenEntry& e : entries) {
    if (e.origin.size() != 32 || e.account.size() > 255) std::abort();
  }
  return 0;
}
