// Shift_JIS byte rules shared by every piece of the tray program that walks
// text or paths: a lead byte starts a two-byte character whose second byte may
// look like an ASCII letter or a backslash (the "表" of a folder name ends in
// 0x5C), so a backslash is only a separator when it is a character of its own.
#pragma once

#include <cstddef>
#include <string_view>

namespace tidewell {

inline bool IsSjisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Position of the last '\' that is a character of its own (not the second
// byte of a two-byte character), or npos.
inline std::size_t LastBackslash(std::string_view text) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsSjisLead(c) && i + 1 < text.size()) {
      ++i;
      continue;
    }
    if (c == '\\') last = i;
  }
  return last;
}

// Whether the last character of text is a backslash of its own.
inline bool EndsWithBackslash(std::string_view text) {
  const std::size_t p = LastBackslash(text);
  return p != std::string_view::npos && p + 1 == text.size();
}

}  // namespace tidewell
