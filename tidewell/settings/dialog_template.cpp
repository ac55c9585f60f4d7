#include "tidewell/settings/dialog_template.h"

#include <cstddef>

namespace tidewell {

namespace {

constexpr std::uint32_t kDsSetFont = 0x40;
constexpr std::size_t kExHeader = 26;     // dlgVer .. cy of DLGTEMPLATEEX
constexpr std::size_t kPlainHeader = 18;  // style .. cy of DLGTEMPLATE

class Reader {
 public:
  explicit Reader(std::string_view bytes) : b_(bytes) {}
  bool ok() const { return ok_; }
  std::size_t pos() const { return pos_; }
  void Seek(std::size_t p) {
    if (p > b_.size()) ok_ = false;
    pos_ = p;
  }
  std::uint16_t Word() {
    if (pos_ + 2 > b_.size()) {
      ok_ = false;
      return 0;
    }
    const auto v = static_cast<std::uint16_t>(static_cast<unsigned char>(b_[pos_]) |
                                              static_cast<unsigned char>(b_[pos_ + 1]) << 8);
    pos_ += 2;
    return v;
  }
  std::uint8_t Byte() {
    if (pos_ + 1 > b_.size()) {
      ok_ = false;
      return 0;
    }
    return static_cast<std::uint8_t>(b_[pos_++]);
  }
  std::uint32_t Dword() {
    const std::uint32_t lo = Word();
    return lo | static_cast<std::uint32_t>(Word()) << 16;
  }
  std::u16string String() {
    std::u16string s;
    for (;;) {
      const std::uint16_t c = Word();
      if (!ok_ || c == 0) return s;
      s.push_back(static_cast<char16_t>(c));
    }
  }
  // A name or an ordinal: 0 (none), 0xFFFF followed by a number, or a string.
  void SkipNameOrOrdinal() {
    const std::size_t start = pos_;
    const std::uint16_t first = Word();
    if (first == 0xFFFF) {
      Word();
    } else if (first != 0) {
      Seek(start);
      String();
    }
  }

 private:
  std::string_view b_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

bool IsEx(std::string_view t) {
  return t.size() >= 4 && static_cast<unsigned char>(t[0]) == 1 && t[1] == 0 &&
         static_cast<unsigned char>(t[2]) == 0xFF && static_cast<unsigned char>(t[3]) == 0xFF;
}

// Reads the header up to the font; returns the style, with r at the font.
std::uint32_t ReadToFont(Reader& r, bool ex) {
  std::uint32_t style = 0;
  if (ex) {
    r.Seek(12);
    style = r.Dword();
    r.Seek(kExHeader);
  } else {
    style = r.Dword();
    r.Seek(kPlainHeader);
  }
  r.SkipNameOrOrdinal();  // menu
  r.SkipNameOrOrdinal();  // window class
  r.String();             // title
  return style;
}

void PutWord(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

}  // namespace

bool ReadDialogFont(std::string_view t, DialogFont& font) {
  const bool ex = IsEx(t);
  Reader r(t);
  const std::uint32_t style = ReadToFont(r, ex);
  if (!r.ok() || !(style & kDsSetFont)) return false;
  DialogFont f;
  f.point = r.Word();
  if (ex) {
    f.weight = r.Word();
    f.italic = r.Byte();
    f.charset = r.Byte();
  }
  f.face = r.String();
  if (!r.ok()) return false;
  font = f;
  return true;
}

bool ReplaceDialogFont(std::string_view t, const DialogFont& font, std::string& out) {
  if (!IsEx(t)) return false;
  Reader r(t);
  const std::uint32_t style = ReadToFont(r, true);
  if (!r.ok() || !(style & kDsSetFont)) return false;
  const std::size_t font_at = r.pos();
  r.Word();
  r.Word();
  r.Byte();
  r.Byte();
  r.String();
  if (!r.ok()) return false;
  const std::size_t items_at = (r.pos() + 3) & ~static_cast<std::size_t>(3);
  if (items_at > t.size()) return false;

  std::string copy(t.substr(0, font_at));
  PutWord(copy, font.point);
  PutWord(copy, font.weight);
  copy.push_back(static_cast<char>(font.italic));
  copy.push_back(static_cast<char>(font.charset));
  for (char16_t c : font.face) PutWord(copy, static_cast<std::uint16_t>(c));
  PutWord(copy, 0);
  while (copy.size() % 4 != 0) copy.push_back('\0');
  copy.append(t.substr(items_at));
  out = std::move(copy);
  return true;
}

}  // namespace tidewell
