// Texts of fixed-size record fields. A field of Size bytes holds a text of at
// most Size - 1 bytes (the original record kept a terminating NUL). Whatever
// is assigned is cut: at its first NUL byte, then at the field size, never in
// the middle of a Shift_JIS two-byte character.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace tidewell {

// Length of the longest prefix of text that ends before its first NUL, holds
// at most max_bytes bytes and does not end inside a Shift_JIS two-byte
// character.
std::size_t CutTextLength(std::string_view text, std::size_t max_bytes);

inline std::string CutText(std::string_view text, std::size_t max_bytes) {
  return std::string(text.substr(0, CutTextLength(text, max_bytes)));
}

// Copies text into a caller's buffer of dst_size bytes (NUL included), cut as
// above. Returns the number of bytes copied before the NUL.
std::size_t CopyTextOut(std::string_view text, char* dst, std::size_t dst_size);

template <std::size_t Size>
class FieldText {
 public:
  static constexpr std::size_t kSize = Size;          // bytes, NUL included
  static constexpr std::size_t kMaxBytes = Size - 1;  // longest text

  FieldText() = default;
  FieldText(std::string_view text) : text_(CutText(text, kMaxBytes)) {}  // NOLINT: implicit on purpose
  FieldText(const char* text) : FieldText(std::string_view(text ? text : "")) {}  // NOLINT
  FieldText(const std::string& text) : FieldText(std::string_view(text)) {}  // NOLINT

  FieldText& operator=(std::string_view text) {
    text_ = CutText(text, kMaxBytes);
    return *this;
  }
  FieldText& operator=(const char* text) { return *this = std::string_view(text ? text : ""); }
  FieldText& operator=(const std::string& text) { return *this = std::string_view(text); }

  const std::string& str() const { return text_; }
  std::string_view view() const { return text_; }
  const char* c_str() const { return text_.c_str(); }
  std::size_t size() const { return text_.size(); }
  bool empty() const { return text_.empty(); }

  friend bool operator==(const FieldText& a, const FieldText& b) { return a.text_ == b.text_; }
  friend bool operator!=(const FieldText& a, const FieldText& b) { return a.text_ != b.text_; }
  friend bool operator==(const FieldText& a, std::string_view b) { return a.text_ == b; }
  friend bool operator!=(const FieldText& a, std::string_view b) { return a.text_ != b; }
  friend bool operator==(const FieldText& a, const char* b) { return a.text_ == std::string_view(b ? b : ""); }
  friend bool operator!=(const FieldText& a, const char* b) { return !(a == b); }
  friend bool operator==(const FieldText& a, const std::string& b) { return a.text_ == b; }
  friend bool operator!=(const FieldText& a, const std::string& b) { return a.text_ != b; }
  friend std::ostream& operator<<(std::ostream& os, const FieldText& t) { return os << t.text_; }

 private:
  std::string text_;
};

}  // namespace tidewell
