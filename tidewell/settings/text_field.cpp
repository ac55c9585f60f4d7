#include "tidewell/settings/text_field.h"

#include <cstring>

#include "common/sjis.h"

namespace tidewell {

std::size_t CutTextLength(std::string_view text, std::size_t max_bytes) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  if (text.size() <= max_bytes) return text.size();
  std::size_t i = 0;
  while (i < max_bytes) {
    const std::size_t step = IsSjisLead(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (i + step > max_bytes) break;
    i += step;
  }
  return i;
}

std::size_t CopyTextOut(std::string_view text, char* dst, std::size_t dst_size) {
  if (!dst || dst_size == 0) return 0;
  const std::size_t n = CutTextLength(text, dst_size - 1);
  if (n) std::memcpy(dst, text.data(), n);
  dst[n] = '\0';
  return n;
}

}  // namespace tidewell
