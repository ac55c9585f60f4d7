#include "viewer/message_window_settings.h"

#include <cmath>
#include <cstdint>

namespace tidewell {

const std::string& DefaultFaceName() {
  // "ＭＳ ゴシック" as Shift_JIS bytes.
  static const std::string name = "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e";
  return name;
}

MessageWindowSettings ReadMessageWindowSettings(ProfileSection& profile, int desktop_right, int desktop_bottom) {
  MessageWindowSettings s;
  s.rect.top = profile.GetInt("Top", 50);
  s.rect.bottom = profile.GetInt("Bottom", 350);
  s.rect.right = profile.GetInt("Right", 450);
  s.rect.left = profile.GetInt("Left", 50);
  const WindowRect& r = s.rect;
  if (r.top < 0 || r.left < 0 || r.right > desktop_right || r.bottom > desktop_bottom || r.right <= r.left ||
      r.bottom <= r.top) {
    s.rect = WindowRect{50, 50, 350, 200};
  }
  s.wrap = (profile.GetInt("AutoWordWrap", 0) & 1) != 0;
  s.font_name = profile.GetString("FontName", DefaultFaceName(), kFaceNameBuffer);
  s.font_size = profile.GetInt("FontSize", 110);
  s.font_weight = profile.GetInt("FontWeight", 0);
  s.font_italic = profile.GetInt("FontItalic", 0);
  s.font_charset = profile.GetInt("FontCharSet", 128);
  return s;
}

void WriteMessageWindowSettings(ProfileSection& profile, const MessageWindowSettings& s) {
  profile.WriteString("Top", std::to_string(s.rect.top));
  profile.WriteString("Bottom", std::to_string(s.rect.bottom));
  profile.WriteString("Right", std::to_string(s.rect.right));
  profile.WriteString("Left", std::to_string(s.rect.left));
  profile.WriteString("AutoWordWrap", s.wrap ? "1" : "0");
  profile.WriteString("FontName", s.font_name);
  profile.WriteString("FontSize", std::to_string(s.font_size));
  profile.WriteString("FontItalic", std::to_string(s.font_italic));
  profile.WriteString("FontWeight", std::to_string(s.font_weight));
  profile.WriteString("FontCharSet", std::to_string(s.font_charset));
}

int FontHeight(int font_size_tenths, int dpi) {
  // MulDiv: the product in 64 bits, rounded half away from zero.
  const std::int64_t product = static_cast<std::int64_t>(font_size_tenths / 10) * dpi;
  const std::int64_t scaled = product >= 0 ? (product + 36) / 72 : -((-product + 36) / 72);
  return static_cast<int>(-scaled);
}

WindowRect UsablePlacement(const WindowRect& r) {
  if (r.top < 0 || r.left < 0 || r.right - r.left < kMinWindowWidth || r.bottom - r.top < kMinWindowHeight) {
    return WindowRect{0, 0, 400, 300};
  }
  return r;
}

}  // namespace tidewell
